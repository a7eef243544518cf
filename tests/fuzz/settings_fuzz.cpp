// A settings file edited by hand or copied from another station: every key must read as a
// value or its default, never crash or be undefined, and a save must still work.
#include "station/settings_store.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("TX05.ini"));
    {
        QFile f(ini);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    tarvex::SettingsStore s(ini);
    for (const char* key : {"grids", "barefoot", "device", "framerate", "logpath", "right2left", "labelcolor"}) {
        const QString k = QString::fromLatin1(key);
        (void)s.get(k);
        const int i = s.getInt(k, -7);
        if (i != -7 && (i < -32768 || i > 32767))
            __builtin_trap();
        (void)s.getDouble(k, 0);
        (void)s.getBool(k, false);
    }
    s.save(QStringLiteral("grids"), 2);
    return 0;
}
