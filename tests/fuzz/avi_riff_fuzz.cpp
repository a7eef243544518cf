// The AVI header reader meets files from cameras, other programs and broken copies: any bytes
// must give an answer without a crash, a hang or an allocation the bytes do not justify.
#include "media/avi_file.h"

#include <QBuffer>
#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return 0;
    const tarvex::AviHeaders h = tarvex::readAviHeaders(buffer);
    if (h.status == tarvex::AviParse::Ok && h.info.szFileType.isEmpty())
        __builtin_trap();   // a readable file always names its type
    return 0;
}
