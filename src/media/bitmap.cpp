#include "media/bitmap.h"
#include "common/text_file.h"

#include "media/file_helpers.h"

#include <QFile>

#include <cstdlib>

namespace tarvex {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
constexpr int kInfoHeaderSize = 40;
constexpr int kFileHeaderSize = 14;

uint32_t le32(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}

uint16_t le16(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return uint16_t(u[0] | u[1] << 8);
}

void put32(QByteArray& a, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        a.append(char((v >> (8 * i)) & 0xff));
}

void put16(QByteArray& a, uint16_t v)
{
    a.append(char(v & 0xff));
    a.append(char(v >> 8));
}

BitmapInfoHeader parseInfo(const char* p)
{
    BitmapInfoHeader h;
    h.biSize = le32(p);
    h.biWidth = int32_t(le32(p + 4));
    h.biHeight = int32_t(le32(p + 8));
    h.biPlanes = le16(p + 12);
    h.biBitCount = le16(p + 14);
    h.biCompression = le32(p + 16);
    h.biSizeImage = le32(p + 20);
    h.biXPelsPerMeter = int32_t(le32(p + 24));
    h.biYPelsPerMeter = int32_t(le32(p + 28));
    h.biClrUsed = le32(p + 32);
    h.biClrImportant = le32(p + 36);
    return h;
}

QByteArray infoBytes(const BitmapInfoHeader& h)
{
    QByteArray a;
    put32(a, h.biSize);
    put32(a, uint32_t(h.biWidth));
    put32(a, uint32_t(h.biHeight));
    put16(a, h.biPlanes);
    put16(a, h.biBitCount);
    put32(a, h.biCompression);
    put32(a, h.biSizeImage);
    put32(a, uint32_t(h.biXPelsPerMeter));
    put32(a, uint32_t(h.biYPelsPerMeter));
    put32(a, h.biClrUsed);
    put32(a, h.biClrImportant);
    return a;
}

BitmapFileHeader packedFileHeader(uint32_t imageSize)
{
    BitmapFileHeader f;
    f.bfType = kBitmapFileType;
    f.bfSize = kFileHeaderSize + kInfoHeaderSize + imageSize;
    f.bfOffBits = kFileHeaderSize + kInfoHeaderSize;
    return f;
}

} // namespace

bool Bitmap::CreateFromPackedDIBPointer(QByteArrayView packed)
{
    if (packed.size() < kInfoHeaderSize)
        return false;
    bmi_ = parseInfo(packed.data());
    if (bmi_.biBitCount < 16 || bmi_.biSizeImage == 0
        || qsizetype(bmi_.biSizeImage) > packed.size() - kInfoHeaderSize)
        return false;
    bits_ = QByteArray(packed.data() + kInfoHeaderSize, qsizetype(bmi_.biSizeImage));
    bitmapInfo_ = QByteArray(packed.data(), kInfoHeaderSize);
    bfh_ = packedFileHeader(bmi_.biSizeImage);
    return true;
}

bool Bitmap::CreateFromFrame(int width, int height, const QByteArray& pixels)
{
    if (width <= 0 || height <= 0 || qint64(rowBytes24(width)) * height != pixels.size())
        return false;
    bmi_ = BitmapInfoHeader{};
    bmi_.biSize = kInfoHeaderSize;
    bmi_.biWidth = width;
    bmi_.biHeight = height;
    bmi_.biPlanes = 1;
    bmi_.biBitCount = 24;
    bmi_.biSizeImage = uint32_t(pixels.size());
    bits_ = pixels;
    bitmapInfo_ = infoBytes(bmi_);
    bfh_ = packedFileHeader(bmi_.biSizeImage);
    return true;
}

bool Bitmap::CreateFromFile(Prompter& prompter, const QString& path)
{
    // Only a regular file is present: a device or a pipe is never opened (it could block).
    if (!FileIsPresent(path)) {
        prompter.message(QStringLiteral("File does not exist:") + kCrLf + path, QStringLiteral("Tarvex"),
                         Icon::Critical);
        return false;
    }
    const auto unsupported = [&] {
        prompter.message(QStringLiteral("File is not a supported bitmap format:") + kCrLf + path, {},
                         Icon::Information);
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.error() == QFileDevice::PermissionsError)
            prompter.message(QStringLiteral("File is locked - cannot access:") + kCrLf + path, {}, Icon::Critical);
        else
            prompter.message(file.errorString(), {}, Icon::Information);
        return false;
    }
    if (file.size() > kMaxBitmapFileSize)
        return unsupported();
    const QByteArray bytes = file.read(kMaxBitmapFileSize + 1);
    if (bytes.size() > kMaxBitmapFileSize || !CreateFromFileBytes(bytes))
        return unsupported();
    return true;
}

bool Bitmap::CreateFromFileBytes(QByteArrayView bytes)
{
    const qint64 fileSize = bytes.size();
    if (fileSize < kFileHeaderSize + kInfoHeaderSize)
        return false;
    const char* head = bytes.data();
    if (le16(head) != kBitmapFileType)
        return false;
    // Everything below is checked against the file's real length before anything is
    // allocated, so a hostile header cannot ask for more memory than the file holds.
    BitmapFileHeader f;
    f.bfType = le16(head);
    f.bfSize = le32(head + 2);
    f.bfReserved1 = le16(head + 6);
    f.bfReserved2 = le16(head + 8);
    f.bfOffBits = le32(head + 10);
    const BitmapInfoHeader h = parseInfo(head + kFileHeaderSize);
    qint64 imageSize = h.biSizeImage;
    if (imageSize == 0 && (h.biCompression == 0 || h.biCompression == 3)) {
        // Allowed for uncompressed bitmaps: the rows tell the size.
        const qint64 row = (qint64(std::abs(int64_t(h.biWidth))) * h.biBitCount + 31) / 32 * 4;
        const qint64 rows = std::abs(int64_t(h.biHeight));
        // Rows times height can pass the range of a 64-bit number and turn negative.
        if (row > 0 && rows > fileSize / row)
            return false;
        imageSize = row * rows;
    }
    const qint64 offset = f.bfOffBits;
    if (offset < kFileHeaderSize + kInfoHeaderSize || offset > fileSize || imageSize > fileSize - offset)
        return false;
    bfh_ = f;
    bmi_ = h;
    bitmapInfo_ = QByteArray(head + kFileHeaderSize, offset - kFileHeaderSize);
    bits_ = QByteArray(head + offset, imageSize);
    return true;
}

bool Bitmap::WriteToFile(const QString& path, QString* error) const
{
    QByteArray out;
    out.reserve(kFileHeaderSize + bitmapInfo_.size() + bits_.size());
    put16(out, bfh_.bfType);
    put32(out, bfh_.bfSize);
    put16(out, bfh_.bfReserved1);
    put16(out, bfh_.bfReserved2);
    put32(out, bfh_.bfOffBits);
    out += bitmapInfo_;
    out += bits_;
    if (const auto failed = replaceDurably(path, out)) {
        if (error)
            *error = *failed;
        return false;
    }
    return true;
}

} // namespace tarvex
