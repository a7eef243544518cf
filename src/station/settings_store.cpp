#include "station/settings_store.h"
#include "common/text_file.h"
#include "common/text_forms.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QStandardPaths>
#include <cmath>

namespace tarvex {

namespace {

const QString kSection = QStringLiteral("Settings");

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// Reads `count` hex digits at `at`; -1 when they are not all there.
int hexRun(const QString& s, qsizetype at, int count)
{
    if (at + count > s.size())
        return -1;
    int v = 0;
    for (int k = 0; k < count; ++k) {
        const int d = hexValue(s.at(at + k));
        if (d < 0)
            return -1;
        v = v * 16 + d;
    }
    return v;
}

// "%XX" and "%UXXXX" stand for one character, a backslash for the group separator '/'.
QString unescapedKey(const QString& raw)
{
    QString key;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c == QLatin1Char('\\')) {
            key += QLatin1Char('/');
        } else if (c == QLatin1Char('%') && i + 1 < raw.size() && raw.at(i + 1) == QLatin1Char('U') && hexRun(raw, i + 2, 4) >= 0) {
            key += QChar(char16_t(hexRun(raw, i + 2, 4)));
            i += 5;
        } else if (c == QLatin1Char('%') && hexRun(raw, i + 1, 2) >= 0) {
            key += QChar(char16_t(hexRun(raw, i + 1, 2)));
            i += 2;
        } else {
            key += c;
        }
    }
    return key;
}

QString escapedKey(const QString& key)
{
    QString out;
    for (const QChar c : key) {
        const char16_t u = c.unicode();
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '-' || u == '.')
            out += c;
        else if (u == '/')
            out += QLatin1Char('\\');
        else if (u < 0x100)
            out += QLatin1Char('%') + QString::number(u, 16).rightJustified(2, QLatin1Char('0')).toUpper();
        else
            out += QLatin1String("%U") + QString::number(u, 16).rightJustified(4, QLatin1Char('0')).toUpper();
    }
    return out;
}

// One value: double quotes protect blanks and commas, backslash escapes as C has them
// ("\x" with up to four hex digits, "\0".."\777" octal), blanks around an unquoted part
// dropped, and commas outside quotes separating the parts of a list.
std::optional<QString> unescapedValue(const QString& raw)
{
    QStringList parts;
    QString cur;
    qsizetype keep = 0;   // cur up to here came from quotes or escapes: never trimmed
    bool inQuotes = false;
    const auto endPart = [&]() {
        qsizetype end = cur.size();
        while (end > keep && isBlank(cur.at(end - 1)))
            --end;
        parts << cur.left(end);
        cur.clear();
        keep = 0;
    };
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c == QLatin1Char('"')) {
            inQuotes = !inQuotes;
            keep = cur.size();
        } else if (c == QLatin1Char('\\') && i + 1 < raw.size()) {
            const QChar e = raw.at(++i);
            static const QString named = QStringLiteral("abfnrtv");
            static const char16_t codes[] = {7, 8, 12, 10, 13, 9, 11};
            if (const qsizetype n = named.indexOf(e); n >= 0) {
                cur += QChar(codes[n]);
            } else if (e == QLatin1Char('x')) {
                int v = 0, digits = 0;
                while (digits < 4 && i + 1 < raw.size() && hexValue(raw.at(i + 1)) >= 0) {
                    v = v * 16 + hexValue(raw.at(++i));
                    ++digits;
                }
                if (digits == 0)
                    cur += QStringLiteral("\\x");
                else
                    cur += QChar(char16_t(v));
            } else if (e >= QLatin1Char('0') && e <= QLatin1Char('7')) {
                int v = e.unicode() - '0', digits = 1;
                while (digits < 3 && i + 1 < raw.size() && raw.at(i + 1) >= QLatin1Char('0') && raw.at(i + 1) <= QLatin1Char('7')) {
                    v = v * 8 + (raw.at(++i).unicode() - '0');
                    ++digits;
                }
                cur += QChar(char16_t(v));
            } else if (e == QLatin1Char('"') || e == QLatin1Char('\'') || e == QLatin1Char('\\') || e == QLatin1Char('?')) {
                cur += e;
            } else {
                // Not an escape: a hand-typed path such as C:\jumps keeps its backslash.
                cur += c;
                cur += e;
            }
            keep = cur.size();
        } else if (!inQuotes && c == QLatin1Char(',')) {
            endPart();
        } else if (!inQuotes && isBlank(c) && cur.size() == keep && keep == 0) {
            // a blank before the part starts
        } else {
            cur += c;
        }
    }
    endPart();
    if (parts.size() > 1)
        return parts.join(QStringLiteral(", "));
    QString v = parts.value(0);
    if (v.startsWith(QLatin1Char('@'))) {
        if (v.startsWith(QLatin1String("@@")))
            return v.mid(1);
        if (v == QLatin1String("@Invalid()"))
            return std::nullopt;
        if (v.startsWith(QLatin1String("@ByteArray(")) && v.endsWith(QLatin1Char(')')))
            return v.mid(11, v.size() - 12);
    }
    return v;
}

QString escapedValue(const QString& value)
{
    QString v = value.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + value : value;
    bool quote = !v.isEmpty() && (v.front().isSpace() || v.back().isSpace());
    QString out;
    for (const QChar c : v) {
        const char16_t u = c.unicode();
        switch (u) {
        case '\\': out += QLatin1String("\\\\"); break;
        case '"': out += QLatin1String("\\\""); break;
        case 7: out += QLatin1String("\\a"); break;
        case 8: out += QLatin1String("\\b"); break;
        case 12: out += QLatin1String("\\f"); break;
        case 10: out += QLatin1String("\\n"); break;
        case 13: out += QLatin1String("\\r"); break;
        case 9: out += QLatin1String("\\t"); break;
        case 11: out += QLatin1String("\\v"); break;
        default:
            // Other control characters, a byte order mark and halves of surrogate pairs would
            // not survive the trip through UTF-8 and back; four hex digits each.
            if (u < 0x20 || u == 0x7F || u == 0xFEFF || c.isSurrogate()) {
                out += QStringLiteral("\\x%1").arg(int(u), 4, 16, QLatin1Char('0'));
            } else {
                if (u == ',' || u == ';' || u == '=')
                    quote = true;
                out += c;
            }
        }
    }
    return quote ? QLatin1Char('"') + out + QLatin1Char('"') : out;
}

// "[name]": the section's name, or nullopt for a line of another kind.
std::optional<QString> sectionOf(const QString& line)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return std::nullopt;
    const qsizetype close = t.indexOf(QLatin1Char(']'));
    return unescapedKey(t.mid(1, close < 0 ? -1 : close - 1));
}

} // namespace

SettingsText parseSettings(const QByteArray& bytes)
{
    QString text = decodeText(bytes);
    while (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList lines = text.split(QLatin1Char('\n'));

    SettingsText out;
    enum class Where { Leading, Settings, Other } where = Where::Leading;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString& line = lines.at(n);
        if (n == lines.size() - 1 && line.isEmpty())
            break;   // the end of the last line
        if (const auto section = sectionOf(line)) {
            where = section->compare(kSection, Qt::CaseInsensitive) == 0 ? Where::Settings : Where::Other;
            if (where == Where::Other)
                out.otherLines << line;
            continue;
        }
        if (where == Where::Leading) {
            out.leadingLines << line;
            continue;
        }
        if (where == Where::Other) {
            out.otherLines << line;
            continue;
        }
        const QString t = line.trimmed();
        if (t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = unescapedKey(line.left(eq).trimmed()).toLower();
        if (key.isEmpty())
            continue;
        if (const auto value = unescapedValue(line.mid(eq + 1)))
            out.values.insert(key, *value);
        else
            out.values.remove(key);
    }
    return out;
}

QByteArray settingsBytes(const SettingsText& text)
{
    QString out;
    for (const QString& line : text.leadingLines)
        out += line + QLatin1Char('\n');
    out += QLatin1Char('[') + kSection + QLatin1String("]\n");
    for (auto it = text.values.cbegin(); it != text.values.cend(); ++it)
        out += escapedKey(it.key()) + QLatin1Char('=') + escapedValue(it.value()) + QLatin1Char('\n');
    if (!text.otherLines.isEmpty())
        out += QLatin1Char('\n');
    for (const QString& line : text.otherLines)
        out += line + QLatin1Char('\n');
    return out.toUtf8();
}

std::optional<int> settingsInt(const QString& text)
{
    bool ok = false;
    const double d = text.trimmed().toDouble(&ok);
    // The range is checked on the double: a huge value must never reach the conversion.
    if (!ok || !std::isfinite(d) || d < -32768.5 || d > 32767.5)
        return std::nullopt;
    const long long r = roundHalfEven(d);
    if (r < -32768 || r > 32767)
        return std::nullopt;
    return int(r);
}

std::optional<double> settingsDouble(const QString& text)
{
    bool ok = false;
    const double d = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

std::optional<bool> settingsBool(const QString& text)
{
    const QString t = text.trimmed();
    if (t.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double d = t.toDouble(&ok);
    if (!ok || std::isnan(d))
        return std::nullopt;
    return d != 0;
}

struct SettingsStore::Shared {
    SettingsText text;
    QString loadError;
    bool fileRefused = false;
};

namespace {

QMutex registryLock;
QHash<QString, std::weak_ptr<SettingsStore::Shared>>& registry()
{
    static QHash<QString, std::weak_ptr<SettingsStore::Shared>> stores;
    return stores;
}

} // namespace

SettingsStore::SettingsStore(const QString& iniFile) : file_(iniFile.isEmpty() ? defaultFile() : iniFile)
{
    const QFileInfo info(file_);
    const QMutexLocker lock(&registryLock);
    std::weak_ptr<Shared>& slot = registry()[info.absoluteFilePath()];
    shared_ = slot.lock();
    if (shared_)
        return;
    shared_ = std::make_shared<Shared>();
    slot = shared_;
    QDir().mkpath(info.absolutePath());
    // What a save killed half-way left behind; no store on this file has saved yet.
    removeStaleTemporaries(info.absolutePath(), {info.fileName()}, {}, QDateTime::currentDateTime());
    if (!info.exists() && !info.isSymLink())
        return;   // a first start: the file comes with the first save
    QString why;
    const std::optional<QByteArray> bytes = readFileBytes(file_, readLimit::settings, &why);
    if (!bytes) {
        // Writing our few keys over it would lose whatever it holds: it stays as it is.
        shared_->fileRefused = true;
        shared_->loadError = QStringLiteral("The settings file %1 cannot be read: %2. Tarvex starts with its default "
                                            "settings and leaves that file as it is; changes made now are lost when "
                                            "Tarvex ends.")
                                 .arg(QDir::toNativeSeparators(file_), why);
        return;
    }
    shared_->text = parseSettings(*bytes);
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::loadError() const { return shared_->loadError; }

QString SettingsStore::defaultFile()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::homePath();
    return base + QStringLiteral("/Tarvex/TX05.ini");
}

bool SettingsStore::contains(const QString& key) const { return shared_->text.values.contains(key.toLower()); }

QString SettingsStore::get(const QString& key, const QString& absent) const
{
    const auto it = shared_->text.values.constFind(key.toLower());
    return it == shared_->text.values.constEnd() ? absent : *it;
}

int SettingsStore::getInt(const QString& key, int absent) const
{
    const auto it = shared_->text.values.constFind(key.toLower());
    return it == shared_->text.values.constEnd() ? absent : settingsInt(*it).value_or(absent);
}

double SettingsStore::getDouble(const QString& key, double absent) const
{
    const auto it = shared_->text.values.constFind(key.toLower());
    return it == shared_->text.values.constEnd() ? absent : settingsDouble(*it).value_or(absent);
}

bool SettingsStore::getBool(const QString& key, bool absent) const
{
    const auto it = shared_->text.values.constFind(key.toLower());
    return it == shared_->text.values.constEnd() ? absent : settingsBool(*it).value_or(absent);
}

void SettingsStore::save(const QString& key, const QString& value)
{
    shared_->text.values.insert(key.toLower(), value);
    pending_ = true;
    if (batchDepth_ == 0)
        writeOut();
}

void SettingsStore::writeOut()
{
    if (!pending_)
        return;
    pending_ = false;
    // Only this write decides: a file that was odd when read says nothing about it.
    lastWriteOk_ = !shared_->fileRefused && !replaceDurably(file_, settingsBytes(shared_->text));
}

} // namespace tarvex
