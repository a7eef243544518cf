#pragma once
// Bitmap: one device-independent bitmap held as the three parts of a .bmp file (file header,
// bitmap information, pixel bytes). The review screen wraps the chosen video frame in one
// and writes "currentcapture.bmp" for the measuring screen.
#include "common/prompter.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

namespace tarvex {

struct BitmapInfoHeader {
    uint32_t biSize = 0;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 0;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

struct BitmapFileHeader {
    uint16_t bfType = 0;
    uint32_t bfSize = 0;
    uint16_t bfReserved1 = 0;
    uint16_t bfReserved2 = 0;
    uint32_t bfOffBits = 0;
};

constexpr uint16_t kBitmapFileType = 19778;   // "BM"
// Larger than any picture the station makes or reads (an 8K frame at 32 bits is 133 MB).
constexpr qint64 kMaxBitmapFileSize = 256 * 1024 * 1024;

class Bitmap {
public:
    // A packed DIB: a 40-byte information header followed by the pixel bytes. Refused
    // (false) below 16 bits per pixel, with no image size, or when the view is shorter
    // than the header says.
    bool CreateFromPackedDIBPointer(QByteArrayView packed);
    // A bitmap file of at most kMaxBitmapFileSize bytes; the prompter says why one is refused.
    bool CreateFromFile(Prompter& prompter, const QString& path);
    // The bytes of a bitmap file, as CreateFromFile reads them; false when they are not one.
    bool CreateFromFileBytes(QByteArrayView bytes);
    // Writes through a temporary file renamed over `path`, so a reader of the picture never
    // sees half of it; false (and `error` set when given) when the write failed.
    bool WriteToFile(const QString& path, QString* error = nullptr) const;

    // A decoded frame as a 24-bit bottom-up bitmap: `pixels` holds the rows bottom first,
    // each padded to a multiple of 4 bytes. False when the sizes do not agree.
    bool CreateFromFrame(int width, int height, const QByteArray& pixels);

    int BitCount() const { return bmi_.biBitCount; }
    int32_t Height() const { return bmi_.biHeight; }
    int32_t Width() const { return bmi_.biWidth; }
    uint32_t Compression() const { return bmi_.biCompression; }
    uint32_t SizeInfoHeader() const { return bmi_.biSize; }
    uint32_t SizeImage() const { return bmi_.biSizeImage; }
    int Planes() const { return bmi_.biPlanes; }
    uint32_t ClrImportant() const { return bmi_.biClrImportant; }
    uint32_t ClrUsed() const { return bmi_.biClrUsed; }
    int32_t XPPM() const { return bmi_.biXPelsPerMeter; }
    int32_t YPPM() const { return bmi_.biYPelsPerMeter; }
    int FileType() const { return bfh_.bfType; }
    uint32_t SizeFileHeader() const { return bfh_.bfSize; }
    uint32_t BitOffset() const { return bfh_.bfOffBits; }
    QByteArrayView PointerToBits() const { return bits_; }
    QByteArrayView PointerToBitmapInfo() const { return bitmapInfo_; }
    int SizeBitmapInfo() const { return int(bitmapInfo_.size()); }

    // (width x 3 + 3) rounded down to a multiple of 4: one padded 24-bit row.
    static int rowBytes24(int width) { return (width * 3 + 3) / 4 * 4; }

private:
    QByteArray bits_;
    QByteArray bitmapInfo_;
    BitmapInfoHeader bmi_;
    BitmapFileHeader bfh_;
};

} // namespace tarvex
