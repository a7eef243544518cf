#include "capture/avi_recorder.h"
#include "capture/ffmpeg_capture_component.h"
#include "capture/rehearsal_camera.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tarvex {
namespace {

// A video backend whose device list a test edits, standing in for the system's device nodes.
class FakeNodes : public VideoBackend {
public:
    QList<VideoDeviceInfo> list;
    QList<VideoDeviceInfo> devices() override { return list; }
    std::unique_ptr<FrameSource> open(const VideoDeviceInfo& d, const VideoOpenRequest& r, QString& error) override
    {
        // Every fake node streams the rehearsal picture, so recording from it works too.
        return RehearsalBackend().open(d, r, error);
    }
    static VideoDeviceInfo node(const QString& name, const QString& id)
    {
        VideoDeviceInfo d;
        d.name = name;
        d.id = id;
        d.formats = {VideoFormatInfo{QStringLiteral("YUYV"), QStringLiteral("yuyv422"), {QSize(320, 240), QSize(640, 480)}, {}}};
        return d;
    }
};

class NoAudio : public AudioBackend {
public:
    QList<AudioDeviceInfo> list;
    QList<AudioDeviceInfo> devices() override { return list; }
};

FfmpegCaptureOptions rehearsalOnly()
{
    FfmpegCaptureOptions o;
    o.rehearsal = true;
    o.videoBackend = std::make_shared<FakeNodes>();
    o.audioBackend = std::make_shared<NoAudio>();
    o.devicePollMs = 0;
    return o;
}

struct FileCount {
    long streamFrames = -1;   // nb_frames of the stream header
    long packets = 0;         // chunks read, empty ones included
    long emptyPackets = 0;
    int width = 0, height = 0;
    QString codec;
};

FileCount countFrames(const QString& path)
{
    FileCount c;
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, path.toUtf8().constData(), nullptr, nullptr) < 0)
        return c;
    avformat_find_stream_info(in, nullptr);
    const int v = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (v >= 0) {
        c.streamFrames = long(in->streams[v]->nb_frames);
        c.width = in->streams[v]->codecpar->width;
        c.height = in->streams[v]->codecpar->height;
        c.codec = QString::fromLatin1(avcodec_get_name(in->streams[v]->codecpar->codec_id));
        AVPacket* p = av_packet_alloc();
        while (av_read_frame(in, p) >= 0) {
            if (p->stream_index == v) {
                ++c.packets;
                if (p->size == 0)
                    ++c.emptyPackets;
            }
            av_packet_unref(p);
        }
        av_packet_free(&p);
    }
    avformat_close_input(&in);
    return c;
}

quint32 mainHeaderFlags(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray head = f.read(4096);
    const qsizetype at = head.indexOf("avih");
    return at < 0 ? 0 : qFromLittleEndian<quint32>(head.constData() + at + 8 + 12);
}

// Waits, processing events, until pred holds or ms have passed.
template <class Pred>
bool waitFor(Pred pred, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return pred();
}

int rehearsalIndex(const CaptureComponent& c)
{
    for (int i = 0; i < c.videoDeviceCount(); ++i)
        if (c.videoDeviceName(i) == kRehearsalCameraName)
            return i;
    return -1;
}

void selectSize(CaptureComponent& c, const QString& name)
{
    for (int i = 0; i < c.resolutionCount(); ++i) {
        if (c.resolutionName(i) == name) {
            ASSERT_FALSE(c.setResolution(i));
        }
    }
    ASSERT_EQ(c.resolutionName(c.resolution()), name);
}

TEST(FfmpegCaptureComponent, RecordsTwoSecondsOfTheRehearsalCameraFrameTrue)
{
    QTemporaryDir dir;
    FfmpegCaptureComponent c(rehearsalOnly());
    ASSERT_EQ(c.videoDeviceCount(), 1);
    ASSERT_EQ(c.videoDeviceName(0), "Tarvex Rehearsal Camera");
    ASSERT_FALSE(c.connectDevice(0));
    selectSize(c, "320x240");
    const QString file = dir.filePath("Ann Leejump2.avi");
    ASSERT_FALSE(c.setCaptureFileName(file));
    ASSERT_FALSE(c.setFrameRate(25));
    ASSERT_FALSE(c.setTimeLimit(0));
    QSignalSpy codes(&c, &CaptureComponent::statusCode);

    ASSERT_FALSE(c.startCapture());
    EXPECT_TRUE(c.isCapturing());
    QTest::qWait(2000);
    const CaptureStatistics live = c.statistics();
    EXPECT_GE(live.framesCaptured, 45);
    ASSERT_FALSE(c.stopCapture());
    EXPECT_FALSE(c.isCapturing());

    const CaptureStatistics st = c.statistics();
    EXPECT_GE(st.framesCaptured, 49);
    EXPECT_LE(st.framesCaptured, 51);
    EXPECT_EQ(st.framesDropped, 0);
    EXPECT_NEAR(double(st.elapsedMs), 2000.0, 60.0);
    EXPECT_EQ(st.audioSamples, 0);

    const FileCount fc = countFrames(file);
    EXPECT_EQ(fc.streamFrames, st.framesCaptured);
    EXPECT_EQ(fc.packets, st.framesCaptured);
    EXPECT_EQ(fc.emptyPackets, 0);
    EXPECT_EQ(fc.width, 320);
    EXPECT_EQ(fc.height, 240);
    EXPECT_EQ(fc.codec, "mjpeg");
    EXPECT_EQ(mainHeaderFlags(file) & 0x10000u, 0x10000u);

    // The statistics come first, then the component is ready again.
    ASSERT_TRUE(waitFor([&] { return codes.size() >= 2; }, 1000));
    EXPECT_EQ(codes[0][0].toInt(), 510);
    EXPECT_EQ(codes[1][0].toInt(), 301);
}

} // namespace
} // namespace tarvex
