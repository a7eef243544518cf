#include "clip_writer.h"
#include "media/video_reader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <sys/stat.h>
#include <gtest/gtest.h>

namespace tarvex {
namespace {

using testclips::Codec;
using testclips::ClipOptions;

struct Clip {
    Codec codec;
    const char* name;
};

class EveryCodec : public ::testing::TestWithParam<Clip> {
protected:
    QString make(int frames, const ClipOptions& options = {})
    {
        const QString path = dir.filePath(QString::fromLatin1(GetParam().name) + ".avi");
        EXPECT_TRUE(testclips::writeClip(path, GetParam().codec, frames, options));
        return path;
    }
    int number(const QImage& img) const { return testclips::frameNumberOf(img, GetParam().codec); }

    QTemporaryDir dir;
};

TEST_P(EveryCodec, EveryAccessPatternGivesTheFrameASequentialDecodeGives)
{
    const QString path = make(40);
    const QList<QImage> reference = testclips::decodeSequentially(path);
    ASSERT_EQ(reference.size(), 40);
    VideoReader r;
    ASSERT_TRUE(r.open(path)) << r.error().toStdString();
    EXPECT_EQ(r.frameCount(), 40);
    EXPECT_EQ(r.frameRate().num, 25);
    EXPECT_EQ(r.frameRate().den, 1);
    EXPECT_DOUBLE_EQ(r.frameRateValue(), 25.0);

    // Forward from the first frame, backward from the last across every group border,
    // then jumps both ways.
    std::vector<int> walk;
    for (int n = 0; n < 40; ++n)
        walk.push_back(n);
    for (int n = 39; n >= 0; --n)
        walk.push_back(n);
    for (int n : {17, 3, 39, 0, 24, 23, 8, 7, 31, 16, 15, 38, 1})
        walk.push_back(n);
    for (int n : walk) {
        QString error;
        const QImage img = r.frame(n, &error);
        ASSERT_FALSE(img.isNull()) << n << " " << error.toStdString();
        EXPECT_EQ(img.format(), QImage::Format_RGB32);
        EXPECT_EQ(number(img), n) << "asked for " << n;
        EXPECT_TRUE(img == reference[n]) << "frame " << n << " differs from the sequential decode";
    }
}

TEST_P(EveryCodec, ABackwardWalkFromAFreshReaderIsExact)
{
    const QString path = make(30);
    VideoReader r;
    ASSERT_TRUE(r.open(path));
    for (int n = 29; n >= 0; --n)
        EXPECT_EQ(number(r.frame(n)), n);
}

TEST_P(EveryCodec, FramesOutsideTheClipAreRefused)
{
    VideoReader r;
    ASSERT_TRUE(r.open(make(20)));
    QString error;
    EXPECT_TRUE(r.frame(-1, &error).isNull());
    EXPECT_EQ(error, "Frame -1 is outside the clip (0 to 19).");
    EXPECT_TRUE(r.frame(20, &error).isNull());
    EXPECT_EQ(error, "Frame 20 is outside the clip (0 to 19).");
    EXPECT_EQ(number(r.frame(19)), 19);
}

TEST_P(EveryCodec, ATinyCacheStaysWithinItsBoundAndStaysExact)
{
    VideoReader r(64 * 48 * 2 * 3);   // about two pictures
    ASSERT_TRUE(r.open(make(24)));
    for (int n : {20, 19, 18, 9, 8, 7, 0, 23})
        EXPECT_EQ(number(r.frame(n)), n);
    r.waitUntilIdle();
    EXPECT_LE(r.cachedBytes(), 64 * 48 * 2 * 3);
}

TEST_P(EveryCodec, RestingBetweenBackwardStepsLetsTheGroupBeforeBeDecodedExactly)
{
    const QString path = make(40);
    VideoReader r(64 * 48 * 3 / 2 * 20);   // room for the group before, not the clip
    ASSERT_TRUE(r.open(path));
    for (int n = 39; n >= 0; --n) {
        EXPECT_EQ(number(r.frame(n)), n);
        r.waitUntilIdle();   // the operator looks at the frame
    }
    EXPECT_LE(r.cachedBytes(), 64 * 48 * 3 / 2 * 20);
}

INSTANTIATE_TEST_SUITE_P(Clips, EveryCodec,
                         ::testing::Values(Clip{Codec::Mjpeg, "mjpeg"}, Clip{Codec::H264, "h264"},
                                           Clip{Codec::Raw, "raw"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Long groups with B-frames: a frame costs its own group's decoding, never a pass from the
// start, and its number comes from its place in the file.
TEST(VideoReaderLongGroups, AnyFrameIsExactAndCostsOnlyItsGroup)
{
    QTemporaryDir dir;
    for (bool openGop : {false, true}) {
        const QString path = dir.filePath(openGop ? "open.avi" : "closed.avi");
        ClipOptions o;
        o.gop = 10;
        o.openGop = openGop;
        ASSERT_TRUE(testclips::writeClip(path, Codec::H264, 40, o));
        const QList<QImage> reference = testclips::decodeSequentially(path);
        ASSERT_EQ(reference.size(), 40);
        VideoReader r;
        ASSERT_TRUE(r.open(path));
        EXPECT_EQ(r.frameCount(), 40);
        // The last frame first: its group holds 10 pictures. A clip of open groups is
        // decoded from its start once.
        EXPECT_TRUE(r.frame(39) == reference[39]) << openGop;
        r.waitUntilIdle();
        EXPECT_LE(r.cachedFrames(), openGop ? 40 : 10) << openGop;
        for (int n : {11, 10, 9, 25, 0, 30, 29, 20, 19, 39, 38})
            EXPECT_TRUE(r.frame(n) == reference[n]) << n << " open " << openGop;
        for (int n = 39; n >= 0; --n)
            EXPECT_EQ(testclips::frameNumberOf(r.frame(n), Codec::H264), n) << n << " open " << openGop;
    }
}

TEST(VideoReaderLongGroups, ACacheSmallerThanAGroupStaysExactBothWays)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("long.avi");
    ClipOptions o;
    o.gop = 16;
    ASSERT_TRUE(testclips::writeClip(path, Codec::H264, 40, o));
    VideoReader r(64 * 48 * 3 / 2 * 5);   // five pictures of a group of sixteen
    ASSERT_TRUE(r.open(path));
    for (int n = 39; n >= 0; --n)
        ASSERT_EQ(testclips::frameNumberOf(r.frame(n), Codec::H264), n);
    for (int n = 0; n < 40; ++n)
        ASSERT_EQ(testclips::frameNumberOf(r.frame(n), Codec::H264), n);
    r.waitUntilIdle();
    EXPECT_LE(r.cachedBytes(), 64 * 48 * 3 / 2 * 5);
}

// The decoders draw long groups' pictures from the reader's own buffers: a size that is no
// multiple of the codec's blocks, buffers handed on as the cache drops pictures, a second
// clip of another size, and a third in the memory the first left with its pictures still in
// it all give exactly the sequential decode.
TEST(VideoReaderLongGroups, PicturesStayExactAsTheirBuffersAreReusedAtAnySize)
{
    QTemporaryDir dir;
    VideoReader r(96 * 58 * 3 / 2 * 4);
    for (const QSize size : {QSize(96, 58), QSize(64, 48), QSize(96, 58)}) {
        const QString path = dir.filePath(QStringLiteral("%1.avi").arg(size.width()));
        ClipOptions o;
        o.width = size.width();
        o.height = size.height();
        o.gop = 6;
        ASSERT_TRUE(testclips::writeClip(path, Codec::H264, 30, o));
        const QList<QImage> reference = testclips::decodeSequentially(path);
        ASSERT_EQ(reference.size(), 30);
        ASSERT_TRUE(r.open(path));
        for (int n = 29; n >= 0; --n)
            ASSERT_TRUE(r.frame(n) == reference[n]) << n << " at width " << size.width();
        for (int n : {13, 14, 2, 27, 26, 7, 6, 5, 20})
            ASSERT_TRUE(r.frame(n) == reference[n]) << n << " at width " << size.width();
        r.waitUntilIdle();
        EXPECT_LE(r.cachedBytes(), 96 * 58 * 3 / 2 * 4) << size.width();
    }
}

// The cache's default bound, and what is decoded ahead: the next pictures of an intra-only
// clip in the direction of travel, nothing when read-ahead is off.
TEST(VideoReaderCache, ReadsAheadInTheDirectionOfTravelOnlyWhenAsked)
{
    EXPECT_EQ(VideoReader().cacheBytes(), 268435456);
    QTemporaryDir dir;
    const QString path = dir.filePath("intra.avi");
    ASSERT_TRUE(testclips::writeClip(path, Codec::Mjpeg, 30));
    VideoReader r;
    ASSERT_TRUE(r.open(path));
    EXPECT_EQ(testclips::frameNumberOf(r.frame(20), Codec::Mjpeg), 20);
    r.waitUntilIdle();
    EXPECT_EQ(r.cachedFrames(), 4);
    EXPECT_EQ(testclips::frameNumberOf(r.frame(19), Codec::Mjpeg), 19);
    r.waitUntilIdle();
    EXPECT_EQ(r.cachedFrames(), 8);   // 20 and 21, 22, 23 ahead; 19 and 18, 17, 16 ahead of the walk back
    for (int n = 18; n >= 10; --n)
        EXPECT_EQ(testclips::frameNumberOf(r.frame(n), Codec::Mjpeg), n);

    VideoReader once;
    once.setReadAhead(false);
    ASSERT_TRUE(once.open(path));
    EXPECT_EQ(testclips::frameNumberOf(once.frame(7), Codec::Mjpeg), 7);
    EXPECT_EQ(testclips::frameNumberOf(once.frame(6), Codec::Mjpeg), 6);
    once.waitUntilIdle();
    EXPECT_EQ(once.cachedFrames(), 2);
}

TEST(VideoReaderGaps, AnEmptyChunkRepeatsThePictureBeforeAndKeepsTheCountTrueToTime)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("drops.avi");
    ClipOptions o;
    o.emptySlots = {5, 6, 12};
    ASSERT_TRUE(testclips::writeClip(path, Codec::Mjpeg, 20, o));
    VideoReader r;
    ASSERT_TRUE(r.open(path));
    EXPECT_EQ(r.frameCount(), 20);
    const int expected[20] = {0, 1, 2, 3, 4, 4, 4, 7, 8, 9, 10, 11, 11, 13, 14, 15, 16, 17, 18, 19};
    for (int n = 19; n >= 0; --n)
        EXPECT_EQ(testclips::frameNumberOf(r.frame(n), Codec::Mjpeg), expected[n]) << n;
    for (int n = 0; n < 20; ++n)
        EXPECT_EQ(testclips::frameNumberOf(r.frame(n), Codec::Mjpeg), expected[n]) << n;
}

// A damaged packet keeps its place in time but is no good frame: refused to a caller that
// takes only good frames; shown, as the picture before, to one that asks whether it is damaged.
TEST(VideoReaderGaps, ADamagedPacketIsReportedNotPassedOffAsGood)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("damaged.avi");
    ClipOptions o;
    o.damagedSlot = 9;
    ASSERT_TRUE(testclips::writeClip(path, Codec::Mjpeg, 20, o));
    VideoReader r;
    ASSERT_TRUE(r.open(path));
    EXPECT_EQ(r.frameCount(), 20);
    EXPECT_EQ(testclips::frameNumberOf(r.frame(10), Codec::Mjpeg), 10);
    QString error;
    EXPECT_TRUE(r.frame(9, &error).isNull());
    EXPECT_EQ(error, "frame 9 is damaged");
    EXPECT_TRUE(r.bitmapPixels(9).isEmpty());
    bool damaged = false;
    EXPECT_EQ(testclips::frameNumberOf(r.frame(9, nullptr, &damaged), Codec::Mjpeg), 8);
    EXPECT_TRUE(damaged);
    EXPECT_EQ(testclips::frameNumberOf(r.frame(8, nullptr, &damaged), Codec::Mjpeg), 8);
    EXPECT_FALSE(damaged);
    // Asked again, from the cache, it is still damaged.
    EXPECT_TRUE(r.frame(9).isNull());
}

TEST(VideoReaderGaps, AClipStartingMidGroupMatchesASequentialDecode)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("cut.avi");
    ClipOptions o;
    o.skipPackets = 3;
    ASSERT_TRUE(testclips::writeClip(path, Codec::H264, 32, o));
    const QList<QImage> reference = testclips::decodeSequentially(path);
    // The decoder cannot show the packets before the first key frame: frames start there.
    ASSERT_EQ(reference.size(), 24);
    EXPECT_EQ(testclips::frameNumberOf(reference[0], Codec::H264), 8);
    VideoReader r;
    ASSERT_TRUE(r.open(path));
    r.waitUntilIdle();
    EXPECT_EQ(r.frameCount(), 24);
    for (int n = 23; n >= 0; --n)
        EXPECT_TRUE(r.frame(n) == reference[n]) << n;
    for (int n : {20, 5, 12, 0})
        EXPECT_TRUE(r.frame(n) == reference[n]) << n;
}

// The last chunk cut by the end of the file once came back as a good frame, half decoded.
TEST(VideoReaderOpen, ATruncatedRecordingGivesWhatItHoldsAndReportsTheCutFrameDamaged)
{
    QTemporaryDir dir;
    for (auto [codec, count] : {std::pair{Codec::Mjpeg, 22}, std::pair{Codec::H264, 19}}) {
        const QString path = dir.filePath("cut.avi");
        ASSERT_TRUE(testclips::writeClip(path, codec, 40));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const qint64 movi = f.readAll().indexOf("movi");
        ASSERT_GT(movi, 0);
        // Half of the pictures are lost, and the index at the end with them.
        ASSERT_TRUE(f.resize(movi + (f.size() - movi) / 2));
        f.close();
        VideoReader r;
        ASSERT_TRUE(r.open(path)) << r.error().toStdString();
        r.waitUntilIdle();
        ASSERT_EQ(r.frameCount(), count);
        // What a sequential decode gives, up to the frame cut in two.
        const QList<QImage> reference = testclips::decodeSequentially(path);
        ASSERT_EQ(reference.size(), count - 1);
        for (int n = count - 2; n >= 0; --n)
            EXPECT_TRUE(r.frame(n) == reference[n]) << n;
        QString error;
        EXPECT_TRUE(r.frame(count - 1, &error).isNull());
        EXPECT_EQ(error, QString("frame %1 is damaged").arg(count - 1));
        bool damaged = false;
        EXPECT_FALSE(r.frame(count - 1, nullptr, &damaged).isNull());
        EXPECT_TRUE(damaged);
        EXPECT_TRUE(r.frame(count, &error).isNull());
        EXPECT_EQ(error, QString("Frame %1 is outside the clip (0 to %2).").arg(count).arg(count - 1));
    }
}

// One field of an index entry (at `offset` in it: 8 the chunk's place, 12 its size).
void damageIndexEntry(const QString& path, int entry, int offset, quint32 value)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    const qsizetype idx1 = bytes.lastIndexOf("idx1");
    ASSERT_GT(idx1, 0);
    qToLittleEndian(value, bytes.data() + idx1 + 8 + 16 * entry + offset);
    ASSERT_TRUE(f.seek(0));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

TEST(VideoReaderOpen, ADamagedIndexEntryGivesADamagedFrame)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("index.avi");
    // A size the file cannot hold: the chunk read there is not the one the index promised.
    ASSERT_TRUE(testclips::writeClip(path, Codec::Mjpeg, 20));
    damageIndexEntry(path, 6, 12, 0x00ffffff);
    VideoReader r;
    ASSERT_TRUE(r.open(path)) << r.error().toStdString();
    EXPECT_EQ(r.frameCount(), 20);
    QString error;
    EXPECT_TRUE(r.frame(6, &error).isNull());
    EXPECT_EQ(error, "frame 6 is damaged");
    for (int n : {5, 7, 19, 0})
        EXPECT_EQ(testclips::frameNumberOf(r.frame(n), Codec::Mjpeg), n);

    // Entry 6 naming chunk 5: FFmpeg keeps one of the two, and frame 6 came back as a good
    // frame showing picture 5, as if it had been dropped. From memory too.
    ASSERT_TRUE(testclips::writeClip(path, Codec::Mjpeg, 20));
    QFile clip(path);
    ASSERT_TRUE(clip.open(QIODevice::ReadOnly));
    const QByteArray bytes = clip.readAll();
    clip.close();
    const qsizetype idx1 = bytes.lastIndexOf("idx1");
    damageIndexEntry(path, 6, 8, qFromLittleEndian<quint32>(bytes.constData() + idx1 + 8 + 16 * 5 + 8));
    ASSERT_TRUE(clip.open(QIODevice::ReadOnly));
    VideoReader m;
    ASSERT_TRUE(m.openMemory(clip.readAll(), "index.avi"));
    for (VideoReader* reader : {&r, &m}) {
        if (reader == &r) {
            ASSERT_TRUE(r.open(path)) << r.error().toStdString();
        }
        EXPECT_EQ(reader->frameCount(), 20);
        EXPECT_TRUE(reader->frame(6, &error).isNull());
        EXPECT_EQ(error, "frame 6 is damaged");
        for (int n : {5, 7, 19})
            EXPECT_EQ(testclips::frameNumberOf(reader->frame(n), Codec::Mjpeg), n);
    }

    // A size the file can hold, but not that of the chunk there.
    ASSERT_TRUE(testclips::writeClip(path, Codec::Mjpeg, 20));
    damageIndexEntry(path, 11, 12, 100);
    ASSERT_TRUE(r.open(path)) << r.error().toStdString();
    EXPECT_TRUE(r.frame(11, &error).isNull());
    EXPECT_EQ(error, "frame 11 is damaged");
    for (int n : {10, 12})
        EXPECT_EQ(testclips::frameNumberOf(r.frame(n), Codec::Mjpeg), n);
}

TEST(VideoReaderOpen, AFileThatIsNoVideoIsRefusedWithAReason)
{
    QTemporaryDir dir;
    VideoReader r;
    EXPECT_FALSE(r.open(dir.filePath("missing.avi")));
    EXPECT_EQ(r.openError(), VideoReader::OpenError::File);
    EXPECT_FALSE(r.error().isEmpty());
    EXPECT_TRUE(r.frame(0).isNull());
}

// The video stream header's rate and start, as a hostile or damaged file may state them.
void overwriteStreamHeader(const QString& path, quint32 rate, quint32 start, quint32 sampleSize = 0)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    const qsizetype strh = bytes.indexOf("strh");
    ASSERT_GT(strh, 0);
    ASSERT_EQ(bytes.mid(strh + 8, 4), "vids");
    qToLittleEndian(rate, bytes.data() + strh + 32);
    qToLittleEndian(start, bytes.data() + strh + 36);
    qToLittleEndian(sampleSize, bytes.data() + strh + 52);
    ASSERT_TRUE(f.seek(0));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

TEST(VideoReaderOpen, NothingTheReaderHoldsGrowsWithAHeaderValue)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("hostile.avi");
    ASSERT_TRUE(testclips::writeClip(path, Codec::Mjpeg, 20));
    // Opened as it stood, the start made every frame a slot 4 billion on, and the reader's
    // arrays as long as that.
    overwriteStreamHeader(path, 0x7fffffff, 0xffffffff);
    VideoReader r(int64_t(1) << 20);
    ASSERT_TRUE(r.open(path)) << r.error().toStdString();
    EXPECT_EQ(r.frameCount(), 20);
    EXPECT_EQ(testclips::frameNumberOf(r.frame(19), Codec::Mjpeg), 19);
    EXPECT_EQ(testclips::frameNumberOf(r.frame(3), Codec::Mjpeg), 3);
    // A sample size makes the demuxer count bytes, not frames: slots far apart.
    overwriteStreamHeader(path, 0x7fffffff, 0xffffffff, 1);
    ASSERT_TRUE(r.open(path)) << r.error().toStdString();
    EXPECT_EQ(r.frameCount(), 20);
    EXPECT_EQ(testclips::frameNumberOf(r.frame(19), Codec::Mjpeg), 19);
    EXPECT_EQ(testclips::frameNumberOf(r.frame(11), Codec::Mjpeg), 11);

    // The same bytes from memory.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    VideoReader m;
    ASSERT_TRUE(m.openMemory(f.readAll(), QStringLiteral("hostile.avi"))) << m.error().toStdString();
    EXPECT_EQ(m.frameCount(), 20);
    EXPECT_EQ(testclips::frameNumberOf(m.frame(7), Codec::Mjpeg), 7);
    EXPECT_FALSE(m.openMemory(QByteArray("RIFF\0\0\0\0AVI LIST"), QStringLiteral("short.avi")));
    EXPECT_FALSE(m.error().isEmpty());
}

TEST(VideoReaderOpen, OnlyRegularFilesAreOpenedAndAColonIsPartOfAName)
{
    QTemporaryDir dir;
    // A pipe would block the first read until something wrote to it.
    const QString fifo = dir.filePath("pipe.avi");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    VideoReader r;
    EXPECT_FALSE(r.open(fifo));
    EXPECT_EQ(r.error(), fifo + " is not a regular file");
    EXPECT_FALSE(r.open(dir.path()));
    EXPECT_EQ(r.error(), dir.path() + " is not a regular file");
    EXPECT_FALSE(r.open(dir.filePath("gone.avi")));
    EXPECT_EQ(r.error(), dir.filePath("gone.avi") + " does not exist");

    // "ann:1.avi" once named a protocol called "ann".
    ASSERT_TRUE(testclips::writeClip(dir.filePath("ann:1.avi"), Codec::Mjpeg, 4));
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    EXPECT_TRUE(r.open(QStringLiteral("ann:1.avi"))) << r.error().toStdString();
    EXPECT_EQ(r.frameCount(), 4);
}

} // namespace
} // namespace tarvex
