#include "clip_writer.h"
#include "media/avi_file.h"
#include "testkit/scripted_prompter.h"

#include <QBuffer>
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

QByteArray chunk(const char* id, const QByteArray& data)
{
    QByteArray c(id, 4);
    put32(c, uint32_t(data.size()));
    c += data;
    if (data.size() & 1)
        c.append('\0');
    return c;
}

QByteArray list(const char* type, const QByteArray& body)
{
    return chunk("LIST", QByteArray(type, 4) + body);
}

struct Header {
    uint32_t flags = 0x10 | 0x100;
    uint32_t width = 320, height = 240;
    uint32_t scale = 1, rate = 25, length = 50;
    const char* compression = "MJPG";   // nullptr: uncompressed (0)
    int64_t dmlhFrames = -1;
};

QByteArray aviBytes(const Header& h)
{
    QByteArray avih;
    for (uint32_t v : {40000u, 1000000u, 0u, h.flags, h.length, 0u, 1u, 65536u, h.width, h.height, 0u, 0u, 0u, 0u})
        put32(avih, v);
    QByteArray strh("vids", 4);
    strh += h.compression ? QByteArray(h.compression, 4) : QByteArray(4, '\0');
    for (uint32_t v : {0u, 0u, 0u, h.scale, h.rate, 0u, h.length, 65536u, 0u, 0u, 0u, 0u})
        put32(strh, v);
    QByteArray strf;
    for (uint32_t v : {40u, h.width, h.height})
        put32(strf, v);
    strf += QByteArray::fromHex("01001800");
    strf += h.compression ? QByteArray(h.compression, 4) : QByteArray(4, '\0');
    for (int i = 0; i < 5; ++i)
        put32(strf, 0);
    QByteArray hdrl = chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf));
    if (h.dmlhFrames >= 0) {
        QByteArray dmlh;
        put32(dmlh, uint32_t(h.dmlhFrames));
        hdrl += list("odml", chunk("dmlh", dmlh + QByteArray(244, '\0')));
    }
    const QByteArray body = QByteArray("AVI ", 4) + list("hdrl", hdrl) + list("movi", {});
    QByteArray riff("RIFF", 4);
    put32(riff, uint32_t(body.size()));
    return riff + body;
}

class AviFiles : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    QTemporaryDir dir;
    ScriptedPrompter p;
};

TEST_F(AviFiles, OnlyRiffAviFilesAreAviFilesAndAMissingOneIsNamed)
{
    EXPECT_TRUE(IsAviFile(p, write("a.avi", aviBytes({}))));
    QByteArray wave = aviBytes({});
    wave.replace(8, 4, "WAVE");
    EXPECT_FALSE(IsAviFile(p, write("w.avi", wave)));
    EXPECT_FALSE(IsAviFile(p, write("short.avi", "RIFF")));
    EXPECT_TRUE(p.shown().isEmpty());

    const QString missing = dir.filePath("gone.avi");
    EXPECT_FALSE(IsAviFile(p, missing));
    ASSERT_EQ(p.shown().size(), 1);
    EXPECT_EQ(p.shown()[0].text, "File does not exist:\r\n" + missing);
    EXPECT_EQ(p.shown()[0].title, "Tarvex");
    EXPECT_EQ(p.shown()[0].icon, Icon::Critical);
}

TEST_F(AviFiles, TheInformationBlockComesFromTheMainAndVideoStreamHeaders)
{
    Header h;
    h.flags = 0x10 | 0x20 | 0x100 | 0x10000 | 0x20000;
    h.width = 720;
    h.height = 576;
    h.rate = 2997;
    h.scale = 100;
    h.length = 123;
    const QString path = write("a.avi", aviBytes(h));
    AviFileInfo info;
    ASSERT_TRUE(GetAviFileInfo(p, path, info));
    EXPECT_EQ(info.dwFlags, 0x30130u);
    EXPECT_EQ(info.dwWidth, 720u);
    EXPECT_EQ(info.dwHeight, 576u);
    EXPECT_EQ(info.dwStreams, 1u);
    EXPECT_EQ(info.dwMaxBytesPerSec, 1000000u);
    EXPECT_EQ(info.dwSuggestedBufferSize, 65536u);
    EXPECT_EQ(info.dwCaps, 0x13u);   // can read, can write, all key frames (MJPEG)
    EXPECT_EQ(AviFrameRate(p, path), 30);
    EXPECT_EQ(AviFrameCount(p, path), 123);
    EXPECT_EQ(AviFileType(p, path), "Audio/Visual");
    EXPECT_TRUE(AviIsCompressed(p, path));
    EXPECT_TRUE(AviHasIndex(p, path) && AviMustUseIndex(p, path) && AviIsInterleaved(p, path));
    EXPECT_TRUE(AviWasCaptureFile(p, path) && AviHasCopyright(p, path));
    EXPECT_TRUE(p.shown().isEmpty());
}

TEST_F(AviFiles, RatesRoundHalvesToEvenAndScaleZeroGivesZero)
{
    EXPECT_EQ(aviRoundedRate(2997, 100), 30);
    EXPECT_EQ(aviRoundedRate(25, 1), 25);
    EXPECT_EQ(aviRoundedRate(25, 2), 12);   // 12.5
    EXPECT_EQ(aviRoundedRate(27, 2), 14);   // 13.5
    EXPECT_EQ(aviRoundedRate(30000, 1001), 30);
    EXPECT_EQ(aviRoundedRate(25, 0), 0);
    Header h;
    h.scale = 0;
    EXPECT_EQ(AviFrameRate(p, write("z.avi", aviBytes(h))), 0);
}

TEST_F(AviFiles, UncompressedVideoIsNotCompressedAndOpenDmlGivesTheWholeLength)
{
    Header raw;
    raw.compression = nullptr;
    const QString rawPath = write("raw.avi", aviBytes(raw));
    EXPECT_FALSE(AviIsCompressed(p, rawPath));
    EXPECT_TRUE(AviAllKeyFrames(p, rawPath));

    Header h264;
    h264.compression = "H264";
    EXPECT_FALSE(AviAllKeyFrames(p, write("h.avi", aviBytes(h264))));

    Header odml;
    odml.length = 1000;
    odml.dmlhFrames = 90000;
    EXPECT_EQ(AviFrameCount(p, write("big.avi", aviBytes(odml))), 90000);
}

TEST_F(AviFiles, DamagedAndHostileHeadersGiveTheMessagesAndNothingElse)
{
    const QByteArray good = aviBytes({});
    // Cut inside the header list, a header list claiming 4 GB, a chunk claiming more than
    // its list, and no main header at all.
    QByteArray huge = good;
    huge.replace(16, 4, QByteArray::fromHex("f0ffffff"));
    QByteArray overrun = good;
    overrun.replace(28, 4, QByteArray::fromHex("00100000"));   // avih size 4096
    QByteArray noMain = good;
    noMain.replace(24, 4, "junk");
    int i = 0;
    for (const QByteArray& bytes : {good.left(100), huge, overrun, noMain}) {
        const QString path = write(QString("bad%1.avi").arg(i++), bytes);
        p.clear();
        EXPECT_EQ(AviFrameCount(p, path), 0);
        ASSERT_EQ(p.messages().size(), 1) << i;
        EXPECT_EQ(p.messages()[0], "Unable to read AVI file info from:\r\n" + path
                                       + "\r\nIts AVI header list is missing or damaged.");
    }
    const QString notAvi = write("text.avi", "hello, this is no video at all");
    p.clear();
    EXPECT_FALSE(AviCanRead(p, notAvi));
    EXPECT_EQ(p.messages(), QStringList{"Unable to open file:\r\n" + notAvi + "\r\nIt is not an AVI file."});
    // A named pipe would block the open until something writes to it.
    const QString pipe = dir.filePath("pipe.avi");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    p.clear();
    EXPECT_FALSE(AviCanRead(p, pipe));
    EXPECT_EQ(p.messages(), QStringList{"Unable to open file:\r\n" + pipe + "\r\nIt is not a regular file."});
}

TEST_F(AviFiles, TheInformationListOfARealClip)
{
    const QString path = dir.filePath("clip.avi");
    ASSERT_TRUE(testclips::writeClip(path, testclips::Codec::Raw, 20));
    const QStringList expected = {
        "Filename: " + path, "File Type: Audio/Visual", "Height: 48", "Width: 64", "Length: 20 frames",
        "Rate: 25fps", "=== dwCaps ===", "Compressed: False", "All Key Frames: True", "Can Read: True",
        "Can Write: True", "=== dwFlags ===", "Contains Copyright Info: False", "Capture File: False",
        "Has Index: True", "Must Use Index: False", "Interleaved: True"};
    EXPECT_EQ(aviInformationList(p, path), expected);
    EXPECT_TRUE(p.shown().isEmpty());
}

TEST(AviHeaderReader, ReadsFromAnyDeviceWithoutTrustingSizes)
{
    QByteArray bytes = aviBytes({});
    QBuffer buffer(&bytes);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    EXPECT_EQ(readAviHeaders(buffer).status, AviParse::Ok);
    QByteArray riffOnly("RIFF\xff\xff\xff\xff" "AVI ", 12);
    QBuffer small(&riffOnly);
    ASSERT_TRUE(small.open(QIODevice::ReadOnly));
    EXPECT_EQ(readAviHeaders(small).status, AviParse::Damaged);
}

} // namespace
} // namespace tarvex
