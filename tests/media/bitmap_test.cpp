#include "media/bitmap.h"
#include "testkit/scripted_prompter.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tarvex {
namespace {

void put32(QByteArray& a, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        a.append(char((v >> (8 * i)) & 0xff));
}

QByteArray packed(int32_t w, int32_t h, uint16_t bits, uint32_t imageSize, int pixelBytes)
{
    QByteArray a;
    put32(a, 40);
    put32(a, uint32_t(w));
    put32(a, uint32_t(h));
    put32(a, 1u | uint32_t(bits) << 16);
    put32(a, 0);
    put32(a, imageSize);
    for (int i = 0; i < 4; ++i)
        put32(a, 0);
    a += QByteArray(pixelBytes, '\x7f');
    return a;
}

uint32_t le32At(const QByteArray& a, int at)
{
    return uint8_t(a[at]) | uint8_t(a[at + 1]) << 8 | uint8_t(a[at + 2]) << 16 | uint32_t(uint8_t(a[at + 3])) << 24;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(Dib, APacked24BitPictureIsWrittenAsAFileWithHeaders)
{
    QTemporaryDir dir;
    Bitmap dib;
    ASSERT_TRUE(dib.CreateFromPackedDIBPointer(packed(320, 240, 24, 230400, 230400)));
    EXPECT_EQ(dib.FileType(), 19778);
    EXPECT_EQ(dib.SizeFileHeader(), 230454u);
    EXPECT_EQ(dib.BitOffset(), 54u);
    EXPECT_EQ(dib.SizeBitmapInfo(), 40);
    EXPECT_EQ(dib.PointerToBits().size(), 230400);
    const QString path = dir.filePath("currentcapture.bmp");
    ASSERT_TRUE(dib.WriteToFile(path));
    const QByteArray file = readAll(path);
    ASSERT_EQ(file.size(), 230454);
    EXPECT_EQ(file.left(2), "BM");
    EXPECT_EQ(le32At(file, 2), 230454u);
    EXPECT_EQ(le32At(file, 10), 54u);
    EXPECT_EQ(le32At(file, 18), 320u);
    EXPECT_EQ(uint8_t(file[230453]), 0x7f);

    Bitmap back;
    ScriptedPrompter p;
    ASSERT_TRUE(back.CreateFromFile(p, path));
    EXPECT_EQ(back.Width(), 320);
    EXPECT_EQ(back.Height(), 240);
    EXPECT_EQ(back.BitCount(), 24);
    EXPECT_EQ(back.SizeImage(), 230400u);
    EXPECT_EQ(back.PointerToBits(), dib.PointerToBits());
}

TEST(Dib, PackedPicturesBelow16BitsOrShorterThanTheyClaimAreRefused)
{
    Bitmap dib;
    EXPECT_FALSE(dib.CreateFromPackedDIBPointer(packed(16, 16, 8, 256, 256)));
    EXPECT_EQ(dib.BitCount(), 8);   // the header is taken, nothing else
    EXPECT_EQ(dib.SizeBitmapInfo(), 0);
    EXPECT_FALSE(dib.CreateFromPackedDIBPointer(packed(16, 16, 24, 0, 0)));
    EXPECT_FALSE(dib.CreateFromPackedDIBPointer(packed(16, 16, 24, 768, 100)));
    EXPECT_FALSE(dib.CreateFromPackedDIBPointer(QByteArray(39, '\0')));
}

TEST(Dib, AFrameBecomesA24BitBottomUpBitmapWithPaddedRows)
{
    Bitmap dib;
    EXPECT_FALSE(dib.CreateFromFrame(5, 2, QByteArray(30, '\0')));   // rows of 15 need 16
    ASSERT_TRUE(dib.CreateFromFrame(5, 2, QByteArray(32, '\0')));
    EXPECT_EQ(dib.SizeInfoHeader(), 40u);
    EXPECT_EQ(dib.Planes(), 1);
    EXPECT_EQ(dib.BitCount(), 24);
    EXPECT_EQ(dib.Compression(), 0u);
    EXPECT_EQ(dib.SizeImage(), 32u);
    EXPECT_EQ(dib.Height(), 2);
    EXPECT_EQ(dib.SizeFileHeader(), 86u);
    EXPECT_EQ(Bitmap::rowBytes24(64), 192);
    EXPECT_EQ(Bitmap::rowBytes24(5), 16);
}

TEST(Dib, FilesThatAreNoBitmapOrLieAboutTheirSizeGetTheMessage)
{
    QTemporaryDir dir;
    ScriptedPrompter p;
    Bitmap dib;
    const QString missing = dir.filePath("none.bmp");
    EXPECT_FALSE(dib.CreateFromFile(p, missing));
    EXPECT_EQ(p.messages(), QStringList{"File does not exist:\r\n" + missing});

    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    };
    const QString png = write("pic.bmp", QByteArray("\x89PNG\r\n\x1a\n") + QByteArray(100, '\0'));
    p.clear();
    EXPECT_FALSE(dib.CreateFromFile(p, png));
    EXPECT_EQ(p.messages(), QStringList{"File is not a supported bitmap format:\r\n" + png});
    EXPECT_EQ(p.shown()[0].icon, Icon::Information);

    // A header that asks for 4 GB of pixels from a 100-byte file.
    QByteArray liar("BM", 2);
    put32(liar, 100);
    put32(liar, 0);
    put32(liar, 54);
    liar += packed(1000, 1000, 24, 0xfffffff0u, 46);
    const QString liarPath = write("liar.bmp", liar);
    p.clear();
    EXPECT_FALSE(dib.CreateFromFile(p, liarPath));
    EXPECT_EQ(p.messages(), QStringList{"File is not a supported bitmap format:\r\n" + liarPath});

    // No image size, and width times bits times height beyond 64 bits: never a negative size.
    QByteArray huge("BM", 2);
    put32(huge, 100);
    put32(huge, 0);
    put32(huge, 54);
    huge += packed(0x7fffffff, 0x7fffffff, 0xffff, 0, 46);
    EXPECT_FALSE(dib.CreateFromFileBytes(huge));

    // A named pipe would block the open for ever.
    const QString pipe = dir.filePath("pipe.bmp");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    p.clear();
    EXPECT_FALSE(dib.CreateFromFile(p, pipe));
    EXPECT_EQ(p.messages(), QStringList{"File does not exist:\r\n" + pipe});
}

TEST(Dib, AFailedWriteIsReported)
{
    QTemporaryDir dir;
    Bitmap dib;
    ASSERT_TRUE(dib.CreateFromFrame(4, 4, QByteArray(48, '\x10')));
    QString error;
    EXPECT_FALSE(dib.WriteToFile(dir.filePath("no/such/folder/x.bmp"), &error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
} // namespace tarvex
