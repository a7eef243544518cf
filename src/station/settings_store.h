#pragma once
// The persistent settings: one INI file, section [Settings], every value a string, keys
// matched without regard to case (they are folded to lower case on the way in and out).
// The file is read once, at most readLimit::settings bytes, and written whole on each save
// through replaceDurably.
#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace tarvex {

// What a settings file holds: the values of section [Settings] (keys folded to lower case)
// and the lines of the file outside that section, which a save writes back as they were.
struct SettingsText {
    QMap<QString, QString> values;
    QStringList leadingLines;   // before the first section header
    QStringList otherLines;     // the other sections, each from its header line
};

// Any bytes give a SettingsText; lines that are not "key=value" are skipped. The form is the
// INI form earlier versions of the station wrote: quotes, backslash escapes, "%XX" in keys,
// a list "a, b" read as one text.
SettingsText parseSettings(const QByteArray& bytes);
// The file form (UTF-8): the leading lines, [Settings], then the other sections.
// parseSettings reads back exactly the values written.
QByteArray settingsBytes(const SettingsText& text);

// The typed readings of a stored text; nullopt for a foreign form. Integer keys are 16-bit on
// the station: a value out of that range, not finite or not a number is foreign.
std::optional<int> settingsInt(const QString& text);
std::optional<double> settingsDouble(const QString& text);
// "True"/"False" (any case), or a number (non-zero is true).
std::optional<bool> settingsBool(const QString& text);

class SettingsStore {
public:
    // Stores on one file within the program share what they hold (as they did when QSettings
    // held them): a key saved through one is seen through every other at once.
    struct Shared;

    // Empty path: the per-user default location. A file that cannot be read (not a regular
    // file, larger than readLimit::settings, unreadable) leaves the store on its defaults and
    // that file untouched for the whole run: saves then stay in memory, lastWriteOk() is
    // false after each, and loadError() says why.
    explicit SettingsStore(const QString& iniFile = {});
    ~SettingsStore();

    static QString defaultFile();
    QString fileName() const { return file_; }

    // Why the file was not read at start, in a sentence that names it; empty when it was.
    QString loadError() const;

    bool contains(const QString& key) const;
    // The stored text, or `absent` when the key has never been stored.
    QString get(const QString& key, const QString& absent = {}) const;
    // A value of a foreign form (letters under an integer key, out of range) reads as
    // `absent` rather than failing.
    int getInt(const QString& key, int absent) const;
    double getDouble(const QString& key, double absent) const;
    bool getBool(const QString& key, bool absent) const;

    void save(const QString& key, const QString& value);
    void save(const QString& key, int value) { save(key, QString::number(value)); }
    void saveBool(const QString& key, bool value) { save(key, value ? QStringLiteral("True") : QStringLiteral("False")); }

    // Whether the last write reached the file (a read-only or full disk reports here).
    bool lastWriteOk() const { return lastWriteOk_; }

    // Saves within a batch reach the file together when the outermost batch ends, so a
    // handler that stores many keys writes (and syncs) the file once. A handler that tells
    // the operator a save failed looks at lastWriteOk() after its batch has ended.
    class Batch {
    public:
        explicit Batch(SettingsStore& store) : store_(store) { ++store_.batchDepth_; }
        ~Batch()
        {
            if (--store_.batchDepth_ == 0)
                store_.writeOut();
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        SettingsStore& store_;
    };

private:
    void writeOut();

    std::shared_ptr<Shared> shared_;
    QString file_;
    bool lastWriteOk_ = true;
    bool pending_ = false;
    int batchDepth_ = 0;
};

} // namespace tarvex
