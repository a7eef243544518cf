#pragma once
// The persistent settings: one INI file, section [Settings], every value a string, keys
// matched without regard to case (they are folded to lower case on the way in and out).
#include <QString>
#include <memory>

class QSettings;

namespace tarvex {

class SettingsStore {
public:
    // Empty path: the per-user default location.
    explicit SettingsStore(const QString& iniFile = {});
    ~SettingsStore();

    static QString defaultFile();
    QString fileName() const;

    bool contains(const QString& key) const;
    // The stored text, or `absent` when the key has never been stored.
    QString get(const QString& key, const QString& absent = {}) const;
    // Integer keys are 16-bit on the station. A value of a foreign form (letters under an
    // integer key, out of range) reads as `absent` rather than failing.
    int getInt(const QString& key, int absent) const;
    double getDouble(const QString& key, double absent) const;
    // "True"/"False" (any case), or a number (non-zero is true).
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

    std::unique_ptr<QSettings> s_;
    bool lastWriteOk_ = true;
    bool pending_ = false;
    int batchDepth_ = 0;
};

} // namespace tarvex
