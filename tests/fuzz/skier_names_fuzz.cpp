// Skier name lists and WSTIMS's txskier.nam: any bytes must give a list (perhaps empty).
#include "measure/jump_record.h"
#include "measure/skier_name_list.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QString& name : tarvex::parseSkierNames(bytes))
        if (name.isEmpty())
            __builtin_trap();   // blank names are never offered
    static QTemporaryDir dir;
    {
        QFile f(dir.filePath(QStringLiteral("txskier.nam")));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(bytes);
    }
    const tarvex::WstimsName n = tarvex::readWstimsName(dir.path());
    if (n.name && n.name->isEmpty())
        __builtin_trap();
    return 0;
}
