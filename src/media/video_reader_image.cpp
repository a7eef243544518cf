#include "media/video_reader.h"

#include <cstdlib>

namespace tarvex {

QImage VideoReader::frame(int n, QString* error, bool* damaged)
{
    QImage img;
    const auto rows = [&](int width, int height) {
        // Rows of 64-byte alignment and a spare tail: swscale writes whole vectors and may run
        // past the last pixel of a row whose width is no multiple of its vector size.
        const int stride = (width * 4 + 63) / 64 * 64;
        auto* buffer = static_cast<uchar*>(std::malloc(size_t(stride) * size_t(height) + 64));
        if (buffer)
            img = QImage(buffer, width, height, stride, QImage::Format_RGB32, [](void* b) { std::free(b); }, buffer);
        return Rows{buffer, stride};
    };
    if (!screenPixels(n, rows, error, damaged))
        return {};
    return img;
}

} // namespace tarvex
