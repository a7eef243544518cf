// The frame reader opens whatever the operator browses to: any bytes must give frames or a
// refusal, without a crash, a hang or memory that the bytes do not justify. Read from memory
// through the reader's own I/O, as the station reads a file.
#include "media/video_reader.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    tarvex::VideoReader reader(int64_t(16) << 20);
    reader.setDecoderThreads(1);
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (!reader.openMemory(bytes, QStringLiteral("fuzz.avi")))
        return 0;
    // A clip whose packets all come before its first picture holds no frame to show.
    const int n = reader.frameCount();
    if (n <= 0)
        return 0;
    // The last frame, then back and forth, as the review screen steps.
    reader.frame(n - 1);
    reader.frame(0);
    bool damaged = false;
    reader.frame(n / 2, nullptr, &damaged);
    reader.bitmapPixels(n / 2);
    reader.frame(n);   // outside: refused
    return 0;
}
