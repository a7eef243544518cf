// Skier name lists, the SkierNames.txt list of the selection window and WSTIMS's
// txskier.nam: any bytes must give a list (perhaps empty) and never a blank entry. In
// memory: the file readers use the same parses.
#include "measure/skier_name_list.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QString& name : tarvex::parseSkierNames(bytes))
        if (name.isEmpty())
            __builtin_trap();   // blank names are never offered
    for (const QString& entry : tarvex::skierListFromBytes(bytes))
        if (entry.trimmed().isEmpty() || entry.contains(QLatin1Char(',')) || entry.contains(QLatin1Char('\n')))
            __builtin_trap();
    if (const auto name = tarvex::wstimsNameFromBytes(bytes); name && name->isEmpty())
        __builtin_trap();
    return 0;
}
