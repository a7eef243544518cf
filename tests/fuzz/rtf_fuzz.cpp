// Rich-text skier lists and manuals come from word processors of every age: any bytes must
// convert without a crash or a hang.
#include "common/rtf_reader.h"

#include <QByteArray>
#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    (void)tarvex::isRtfDocument(bytes);
    (void)tarvex::rtfToPlainText(bytes, &error);
    (void)tarvex::rtfToHtml(bytes, &error);
    return 0;
}
