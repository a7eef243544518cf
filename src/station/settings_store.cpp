#include "station/settings_store.h"
#include "common/text_forms.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <cmath>

namespace tarvex {

namespace {
QString keyPath(const QString& key) { return QStringLiteral("Settings/") + key.toLower(); }
}

SettingsStore::SettingsStore(const QString& iniFile)
{
    const QString file = iniFile.isEmpty() ? defaultFile() : iniFile;
    QDir().mkpath(QFileInfo(file).absolutePath());
    s_ = std::make_unique<QSettings>(file, QSettings::IniFormat);
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::defaultFile()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::homePath();
    return base + QStringLiteral("/Tarvex/TX05.ini");
}

QString SettingsStore::fileName() const { return s_->fileName(); }

bool SettingsStore::contains(const QString& key) const { return s_->contains(keyPath(key)); }

QString SettingsStore::get(const QString& key, const QString& absent) const
{
    const QVariant v = s_->value(keyPath(key));
    if (!v.isValid())
        return absent;
    // A value written from outside as a list ("a, b") comes back as a list; join it again.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QStringLiteral(", "));
    return v.toString();
}

int SettingsStore::getInt(const QString& key, int absent) const
{
    if (!contains(key))
        return absent;
    bool ok = false;
    const double d = get(key).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return absent;
    const long long r = roundHalfEven(d);
    if (r < -32768 || r > 32767)
        return absent;
    return int(r);
}

double SettingsStore::getDouble(const QString& key, double absent) const
{
    if (!contains(key))
        return absent;
    bool ok = false;
    const double d = get(key).trimmed().toDouble(&ok);
    return ok && std::isfinite(d) ? d : absent;
}

bool SettingsStore::getBool(const QString& key, bool absent) const
{
    if (!contains(key))
        return absent;
    const QString t = get(key).trimmed();
    if (t.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double d = t.toDouble(&ok);
    return ok ? d != 0 : absent;
}

void SettingsStore::save(const QString& key, const QString& value)
{
    s_->setValue(keyPath(key), value);
    pending_ = true;
    if (batchDepth_ == 0)
        writeOut();
}

void SettingsStore::writeOut()
{
    if (!pending_)
        return;
    pending_ = false;
    s_->sync();
    // A format error belongs to the file as it was read; only a failed write counts here.
    lastWriteOk_ = s_->status() != QSettings::AccessError;
}

} // namespace tarvex
