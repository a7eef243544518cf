#include "capture/avi_recorder.h"
#include "capture/ffmpeg_capture_component.h"
#include "capture/rehearsal_camera.h"
#include "cli/cli.h"
#include "media/av_handles.h"
#include "media/video_reader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <QTemporaryDir>
#include <QTextStream>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
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
    long packets = 0;         // pictures libavformat reads (it skips empty chunks)
    long lastDts = -1;        // the frame number of the last picture read
    long indexed = 0;         // video entries of the file's index, empty chunks included
    long emptyPackets = 0;    // of them, the empty ones
    int width = 0, height = 0;
    QString codec;
};

FileCount countFrames(const QString& path)
{
    FileCount c;
    av::FormatInput input;
    if (av::openInput(input, path.toUtf8().constData()) < 0)
        return c;
    AVFormatContext* in = input.get();
    avformat_find_stream_info(in, nullptr);
    const int v = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (v >= 0) {
        c.streamFrames = long(in->streams[v]->nb_frames);
        c.width = in->streams[v]->codecpar->width;
        c.height = in->streams[v]->codecpar->height;
        c.codec = QString::fromLatin1(avcodec_get_name(in->streams[v]->codecpar->codec_id));
        const av::Packet packet = av::makePacket();
        AVPacket* p = packet.get();
        while (p && av_read_frame(in, p) >= 0) {
            if (p->stream_index == v) {
                ++c.packets;
                c.lastDts = long(p->dts);
            }
            av_packet_unref(p);
        }
    }
    // The index at the end of the file ('idx1'), read by walking the top-level chunks.
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        qint64 pos = 12;
        while (pos + 8 <= f.size()) {
            f.seek(pos);
            const QByteArray h = f.read(8);
            const quint32 size = qFromLittleEndian<quint32>(h.constData() + 4);
            if (h.left(4) == "idx1") {
                const QByteArray idx = f.read(size);
                for (qsizetype e = 0; e + 16 <= idx.size(); e += 16) {
                    if (idx.mid(e, 2) != "00")
                        continue;
                    ++c.indexed;
                    if (qFromLittleEndian<quint32>(idx.constData() + e + 12) == 0)
                        ++c.emptyPackets;
                }
            }
            pos += 8 + size + (size & 1);
        }
    }
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
    // The rehearsal camera and its two companions on other places of the shore.
    ASSERT_EQ(c.videoDeviceCount(), 3);
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
    // However slow the machine, the live count only grows and the stop keeps every frame of it.
    ASSERT_TRUE(waitFor([&] { return c.statistics().framesCaptured >= 50; }, 30000));
    const CaptureStatistics live = c.statistics();
    ASSERT_FALSE(c.stopCapture());
    EXPECT_FALSE(c.isCapturing());

    const CaptureStatistics st = c.statistics();
    EXPECT_GE(st.framesCaptured, live.framesCaptured);
    // Frame 49 is taken 49 / 25 s after the first.
    EXPECT_GE(st.elapsedMs, 1960);
    EXPECT_EQ(st.audioSamples, 0);

    // The file holds every slot, a dropped frame as an empty chunk.
    const FileCount fc = countFrames(file);
    EXPECT_EQ(fc.streamFrames, st.framesCaptured);
    EXPECT_EQ(fc.indexed, st.framesCaptured);
    EXPECT_EQ(fc.packets, st.framesCaptured);
    EXPECT_EQ(fc.lastDts, st.framesCaptured - 1);
    EXPECT_EQ(fc.emptyPackets, st.framesDropped);
    EXPECT_EQ(fc.width, 320);
    EXPECT_EQ(fc.height, 240);
    EXPECT_EQ(fc.codec, "mjpeg");
    EXPECT_EQ(mainHeaderFlags(file) & 0x10000u, 0x10000u);

    // The statistics come first, then the component is ready again.
    ASSERT_TRUE(waitFor([&] { return codes.size() >= 2; }, 10000));
    EXPECT_EQ(codes[0][0].toInt(), 510);
    EXPECT_EQ(codes[1][0].toInt(), 301);
}

TEST(FfmpegCaptureComponent, TheTimeLimitEndsTheRecordingWithItsExactFrameCountAndTheGroundTruth)
{
    QTemporaryDir dir;
    FfmpegCaptureComponent c(rehearsalOnly());
    ASSERT_FALSE(c.connectDevice(0));
    selectSize(c, "320x240");
    const QString file = dir.filePath("limit.avi");
    ASSERT_FALSE(c.setCaptureFileName(file));
    ASSERT_FALSE(c.setFrameRate(25));
    ASSERT_FALSE(c.setTimeLimit(2));
    ASSERT_FALSE(c.setVideoCompressor(-1));   // uncompressed
    QSignalSpy codes(&c, &CaptureComponent::statusCode);
    QSignalSpy texts(&c, &CaptureComponent::statusText);
    ASSERT_FALSE(c.startCapture());
    ASSERT_TRUE(waitFor([&] { return codes.size() >= 2; }, 20000));
    EXPECT_FALSE(c.isCapturing());
    EXPECT_EQ(codes[0][0].toInt(), 510);
    EXPECT_EQ(codes[1][0].toInt(), 301);
    EXPECT_FALSE(texts.isEmpty());
    EXPECT_EQ(c.statistics().framesCaptured, 50);
    EXPECT_EQ(c.statistics().elapsedMs, 2000);
    const FileCount fc = countFrames(file);
    EXPECT_EQ(fc.streamFrames, 50);
    EXPECT_EQ(fc.indexed, 50);
    EXPECT_EQ(fc.packets, 50 - c.statistics().framesDropped);
    EXPECT_EQ(fc.codec, "rawvideo");
    EXPECT_FALSE(c.stopCapture());   // the capture screen stops once more: harmless
    QCoreApplication::processEvents();
    EXPECT_EQ(codes.size(), 2);

    QFile truthFile(dir.filePath("limit.truth.json"));
    ASSERT_TRUE(truthFile.open(QIODevice::ReadOnly));
    const QJsonObject truth = QJsonDocument::fromJson(truthFile.readAll()).object();
    EXPECT_EQ(truth["contactFrame"].toInt(), 25);
    EXPECT_EQ(truth["width"].toInt(), 320);
    EXPECT_EQ(truth["buoys"].toArray().size(), 4);
    EXPECT_EQ(truth["contactSurvey"].toArray()[0].toDouble(), 52.4);
    EXPECT_EQ(truth["homographySurveyToPixel"].toArray().size(), 9);
}

TEST(FfmpegCaptureComponent, AFolderThatDoesNotExistGivesAnErrorAndNoFile)
{
    QTemporaryDir dir;
    FfmpegCaptureComponent c(rehearsalOnly());
    ASSERT_FALSE(c.connectDevice(0));
    const QString file = dir.filePath("missing/folder/jump.avi");
    ASSERT_FALSE(c.setCaptureFileName(file));
    const CaptureResult e = c.startCapture();
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->number, CaptureError::FileError);
    EXPECT_TRUE(e->description.startsWith("Cannot record to ")) << e->description.toStdString();
    EXPECT_FALSE(c.isCapturing());
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST(FfmpegCaptureComponent, AFullDiskStopsTheRecordingWithAWarningAndAPlayableFile)
{
    QTemporaryDir dir;
    FfmpegCaptureOptions o = rehearsalOnly();
    int asked = 0;
    o.freeBytes = [&asked](const QString&) -> qint64 { return ++asked < 2 ? 1LL << 40 : 1024; };
    FfmpegCaptureComponent c(o);
    ASSERT_FALSE(c.connectDevice(0));
    selectSize(c, "320x240");
    const QString file = dir.filePath("full.avi");
    ASSERT_FALSE(c.setCaptureFileName(file));
    ASSERT_FALSE(c.setFrameRate(25));
    QSignalSpy warnings(&c, &CaptureComponent::warning);
    QSignalSpy codes(&c, &CaptureComponent::statusCode);
    ASSERT_FALSE(c.startCapture());
    ASSERT_TRUE(waitFor([&] { return codes.size() >= 2; }, 20000));
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0][0].toString().startsWith("The disk is full")) << warnings[0][0].toString().toStdString();
    const FileCount fc = countFrames(file);
    EXPECT_GE(fc.indexed, 16);
    EXPECT_LT(fc.indexed, 125);   // stopped within seconds, however slow the machine
    EXPECT_EQ(fc.streamFrames, c.statistics().framesCaptured);
    EXPECT_EQ(fc.indexed, c.statistics().framesCaptured);
    EXPECT_EQ(fc.emptyPackets, c.statistics().framesDropped);
}

TEST(FfmpegCaptureComponent, ThePreviewDeliversTheNewestPictureAlsoWhileRecording)
{
    QTemporaryDir dir;
    FfmpegCaptureComponent c(rehearsalOnly());
    QSignalSpy frames(&c, &CaptureComponent::previewFrame);
    ASSERT_FALSE(c.setPreview(true));
    ASSERT_FALSE(c.connectDevice(0));
    selectSize(c, "640x480");
    ASSERT_TRUE(waitFor([&] { return frames.size() >= 3; }, 10000));
    EXPECT_EQ(frames.last()[0].value<QImage>().size(), QSize(640, 480));
    ASSERT_FALSE(c.setCaptureFileName(dir.filePath("p.avi")));
    ASSERT_FALSE(c.startCapture());
    const qsizetype before = frames.size();
    EXPECT_TRUE(waitFor([&] { return frames.size() - before >= 5; }, 10000));
    ASSERT_FALSE(c.stopCapture());
    ASSERT_FALSE(c.setPreview(false));
    QCoreApplication::processEvents();
    const qsizetype after = frames.size();
    // Nothing may come however long one waits; a short wait can only miss a fault, not invent one.
    QTest::qWait(200);
    EXPECT_EQ(frames.size(), after);
}

// Cameras whose open streams a test can count: each streams the rehearsal picture, or
// nothing at all when silent (a camera that opens and never sends a picture).
class CountedNodes : public VideoBackend {
public:
    explicit CountedNodes(bool silent) : silent_(silent) {}
    int openStreams() const { return *streams_; }

    QList<VideoDeviceInfo> devices() override { return {FakeNodes::node("USB Camera", "/dev/video0")}; }
    std::unique_ptr<FrameSource> open(const VideoDeviceInfo& d, const VideoOpenRequest& r, QString& error) override
    {
        return std::make_unique<Source>(silent_ ? nullptr : RehearsalBackend().open(d, r, error), streams_);
    }

private:
    class Source : public FrameSource {
    public:
        Source(std::unique_ptr<FrameSource> inner, std::shared_ptr<std::atomic<int>> open)
            : inner_(std::move(inner)), open_(std::move(open))
        {
            ++*open_;
        }
        ~Source() override { --*open_; }
        std::optional<Frame> next() override
        {
            if (inner_)
                return inner_->next();
            std::unique_lock lock(m_);
            woken_.wait(lock, [&] { return interrupted_; });
            return std::nullopt;
        }
        void interrupt() override
        {
            if (inner_)
                inner_->interrupt();
            std::lock_guard lock(m_);
            interrupted_ = true;
            woken_.notify_all();
        }
        QString error() const override { return {}; }

    private:
        std::unique_ptr<FrameSource> inner_;
        std::shared_ptr<std::atomic<int>> open_;
        std::mutex m_;
        std::condition_variable woken_;
        bool interrupted_ = false;
    };
    bool silent_;
    std::shared_ptr<std::atomic<int>> streams_ = std::make_shared<std::atomic<int>>(0);
};

FfmpegCaptureOptions countedCamera(std::shared_ptr<CountedNodes> nodes)
{
    FfmpegCaptureOptions o = rehearsalOnly();
    o.rehearsal = false;
    o.videoBackend = std::move(nodes);
    return o;
}

// Every stillSaved of a component, in order.
struct Stills {
    QStringList paths;
    QList<CaptureResult> outcomes;
    explicit Stills(CaptureComponent& c)
    {
        QObject::connect(&c, &CaptureComponent::stillSaved, &c, [this](const QString& path, const CaptureResult& r) {
            paths << path;
            outcomes << r;
        });
    }
};

TEST(FfmpegCaptureComponent, AStillIsThePictureOfTheCameraWithOrWithoutALivePicture)
{
    QTemporaryDir dir;
    FfmpegCaptureComponent c(rehearsalOnly());
    Stills stills(c);
    ASSERT_FALSE(c.connectDevice(0));
    selectSize(c, "320x240");
    ASSERT_FALSE(c.setFrameFileName(dir.filePath("cold.jpg")));
    ASSERT_FALSE(c.captureFrame());   // the stream is started for it, not waited for
    EXPECT_FALSE(QFile::exists(dir.filePath("cold.jpg")));
    EXPECT_TRUE(stills.outcomes.isEmpty());
    ASSERT_TRUE(waitFor([&] { return !stills.outcomes.isEmpty(); }, 10000));
    EXPECT_EQ(stills.paths, QStringList{dir.filePath("cold.jpg")});
    EXPECT_FALSE(stills.outcomes[0]);
    EXPECT_EQ(QImage(dir.filePath("cold.jpg")).size(), QSize(320, 240));

    QSignalSpy frames(&c, &CaptureComponent::previewFrame);
    ASSERT_FALSE(c.setPreview(true));
    ASSERT_TRUE(waitFor([&] { return !frames.isEmpty(); }, 10000));
    ASSERT_FALSE(c.setFrameFileName(dir.filePath("live.jpg")));
    ASSERT_FALSE(c.captureFrame());
    EXPECT_FALSE(QFile::exists(dir.filePath("live.jpg")));
    ASSERT_TRUE(waitFor([&] { return stills.outcomes.size() == 2; }, 10000));
    EXPECT_FALSE(stills.outcomes[1]);
    EXPECT_EQ(QImage(dir.filePath("live.jpg")).size(), QSize(320, 240));

    ASSERT_FALSE(c.setFrameFileName(dir.filePath("no/such/folder/x.jpg")));
    ASSERT_FALSE(c.captureFrame());
    ASSERT_TRUE(waitFor([&] { return stills.outcomes.size() == 3; }, 10000));
    ASSERT_TRUE(stills.outcomes[2]);
    EXPECT_EQ(stills.outcomes[2]->number, CaptureError::FileError);
}

TEST(FfmpegCaptureComponent, TheStreamOpenedForAStillClosesWhenItIsSavedAndALivePictureStays)
{
    QTemporaryDir dir;
    auto nodes = std::make_shared<CountedNodes>(false);
    FfmpegCaptureComponent c(countedCamera(nodes));
    Stills stills(c);
    ASSERT_FALSE(c.connectDevice(0));
    ASSERT_FALSE(c.setFrameFileName(dir.filePath("a.jpg")));
    ASSERT_FALSE(c.captureFrame());
    ASSERT_FALSE(c.setFrameFileName(dir.filePath("b.jpg")));
    ASSERT_FALSE(c.captureFrame());   // asked for while the first still waits
    EXPECT_EQ(nodes->openStreams(), 1);
    ASSERT_TRUE(waitFor([&] { return stills.outcomes.size() == 2; }, 10000));
    EXPECT_EQ(stills.paths, (QStringList{dir.filePath("a.jpg"), dir.filePath("b.jpg")}));
    EXPECT_TRUE(QFile::exists(dir.filePath("a.jpg")));
    EXPECT_TRUE(QFile::exists(dir.filePath("b.jpg")));
    EXPECT_EQ(nodes->openStreams(), 0);

    ASSERT_FALSE(c.setPreview(true));
    ASSERT_FALSE(c.setFrameFileName(dir.filePath("c.jpg")));
    ASSERT_FALSE(c.captureFrame());
    ASSERT_TRUE(waitFor([&] { return stills.outcomes.size() == 3; }, 10000));
    EXPECT_EQ(nodes->openStreams(), 1);
}

TEST(FfmpegCaptureComponent, ACameraThatSendsNoPictureFailsTheStillAfterTheTimeoutAndIsClosed)
{
    QTemporaryDir dir;
    auto nodes = std::make_shared<CountedNodes>(true);
    FfmpegCaptureOptions o = countedCamera(nodes);
    o.stillTimeoutMs = 50;
    FfmpegCaptureComponent c(o);
    Stills stills(c);
    ASSERT_FALSE(c.connectDevice(0));
    ASSERT_FALSE(c.setFrameFileName(dir.filePath("none.jpg")));
    ASSERT_FALSE(c.captureFrame());
    EXPECT_EQ(nodes->openStreams(), 1);
    EXPECT_TRUE(stills.outcomes.isEmpty());
    ASSERT_TRUE(waitFor([&] { return !stills.outcomes.isEmpty(); }, 10000));
    ASSERT_TRUE(stills.outcomes[0]);
    EXPECT_EQ(stills.outcomes[0]->number, captureErrorNumber(0x80040001u));
    EXPECT_EQ(stills.outcomes[0]->description, "The capture device delivers no pictures");
    EXPECT_EQ(stills.paths, QStringList{dir.filePath("none.jpg")});
    EXPECT_EQ(nodes->openStreams(), 0);
    EXPECT_FALSE(QFile::exists(dir.filePath("none.jpg")));
    QTest::qWait(100);
    EXPECT_EQ(stills.outcomes.size(), 1);
}

TEST(FfmpegCaptureComponent, PluggedAndUnpluggedCamerasAreSignalledAndAVanishedOneDisconnects)
{
    auto nodes = std::make_shared<FakeNodes>();
    nodes->list = {FakeNodes::node("USB Camera", "/dev/video0")};
    FfmpegCaptureOptions o = rehearsalOnly();
    o.rehearsal = false;
    o.videoBackend = nodes;
    o.devicePollMs = 50;
    FfmpegCaptureComponent c(o);
    ASSERT_EQ(c.videoDeviceCount(), 1);
    QSignalSpy changes(&c, &CaptureComponent::deviceChange);

    nodes->list << FakeNodes::node("Capture Card", "/dev/video2");
    ASSERT_TRUE(waitFor([&] { return changes.size() == 1; }, 10000));
    EXPECT_EQ(changes[0], (QList<QVariant>{"Video Capture Sources", 0, 1, "Capture Card"}));
    EXPECT_EQ(c.videoDeviceName(1), "Capture Card");

    ASSERT_FALSE(c.setPreview(true));
    ASSERT_FALSE(c.connectDevice(0));
    nodes->list.removeFirst();
    ASSERT_TRUE(waitFor([&] { return changes.size() == 2; }, 10000));
    EXPECT_EQ(changes[1], (QList<QVariant>{"Video Capture Sources", 1, 0, "USB Camera"}));
    // The lists already show it, and the connection ended with the device.
    EXPECT_EQ(c.videoDeviceCount(), 1);
    EXPECT_EQ(c.videoDeviceName(0), "Capture Card");
    EXPECT_FALSE(c.isConnected());
    EXPECT_EQ(c.videoDevice(), 0);
}

TEST(FfmpegCaptureComponent, SoundDevicesComeAndGoTooAndNoneStaysPossible)
{
    auto sound = std::make_shared<NoAudio>();
    sound->list = {AudioDeviceInfo{"Mic", "alsa", "hw:1"}};
    FfmpegCaptureOptions o = rehearsalOnly();
    o.audioBackend = sound;
    FfmpegCaptureComponent c(o);
    ASSERT_EQ(c.audioDeviceCount(), 1);
    EXPECT_EQ(c.audioDevice(), -1);
    ASSERT_FALSE(c.setAudioDevice(0));
    QSignalSpy changes(&c, &CaptureComponent::deviceChange);
    sound->list.clear();
    c.ffmpegDevice().pollDevices();
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0], (QList<QVariant>{"Audio Capture Sources", 1, 0, "Mic"}));
    EXPECT_EQ(c.audioDevice(), -1);
}

TEST(FfmpegCaptureComponent, SoundOfTheChosenDeviceIsRecordedBesideThePictures)
{
    QTemporaryDir dir;
    auto sound = std::make_shared<NoAudio>();
    // ALSA's null device makes silence wherever ALSA is; elsewhere there is nothing to test.
    sound->list = {AudioDeviceInfo{"Silence", "alsa", "null"}};
    FfmpegCaptureOptions o = rehearsalOnly();
    o.audioBackend = sound;
    FfmpegCaptureComponent c(o);
    ASSERT_FALSE(c.setAudioDevice(0));
    ASSERT_FALSE(c.setAudioSampleRate(22050));
    ASSERT_FALSE(c.setAudioChannels(1));
    ASSERT_FALSE(c.setAudioBits(16));
    ASSERT_FALSE(c.connectDevice(0));
    selectSize(c, "320x240");
    ASSERT_FALSE(c.setFrameRate(25));
    ASSERT_FALSE(c.setTimeLimit(1));
    ASSERT_FALSE(c.setCaptureFileName(dir.filePath("sound.avi")));
    QSignalSpy codes(&c, &CaptureComponent::statusCode);
    if (const CaptureResult e = c.startCapture())
        GTEST_SKIP() << e->description.toStdString();
    ASSERT_TRUE(waitFor([&] { return codes.size() >= 2; }, 20000));
    EXPECT_EQ(c.statistics().framesCaptured, 25);
    EXPECT_GT(c.statistics().audioSamples, 0);   // the null device is not paced: no rate to check

    av::FormatInput input;
    ASSERT_EQ(av::openInput(input, dir.filePath("sound.avi").toUtf8().constData()), 0);
    AVFormatContext* in = input.get();
    avformat_find_stream_info(in, nullptr);
    const int a = av_find_best_stream(in, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    ASSERT_GE(a, 0);
    EXPECT_EQ(in->streams[a]->codecpar->sample_rate, 22050);
    EXPECT_EQ(in->streams[a]->codecpar->ch_layout.nb_channels, 1);
    EXPECT_EQ(in->streams[a]->codecpar->codec_id, AV_CODEC_ID_PCM_S16LE);
}

TEST(FfmpegCaptureComponent, TheAudioFormatTakesWhatTheListOffersAndRefusesTheRest)
{
    FfmpegCaptureComponent c(rehearsalOnly());
    for (int hz : {11025, 22050, 32000, 44100, 48000})
        EXPECT_FALSE(c.setAudioSampleRate(hz)) << hz;
    EXPECT_EQ(c.audioSampleRate(), 48000);
    const CaptureResult e = c.setAudioSampleRate(12345);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->number, CaptureError::Unsupported);
    EXPECT_EQ(e->description, "Unsupported sample rate");
    EXPECT_EQ(c.audioSampleRate(), 48000);
    EXPECT_TRUE(c.setAudioChannels(3));
    EXPECT_TRUE(c.setAudioBits(12));
}

TEST(FfmpegCaptureComponent, OffersMjpegFirstAndTheRehearsalSizesWith720pByDefault)
{
    FfmpegCaptureComponent c(rehearsalOnly());
    ASSERT_GE(c.videoCompressorCount(), 2);
    EXPECT_EQ(c.videoCompressorName(0), "MJPEG");
    EXPECT_EQ(c.videoCompressorName(1), "FFV1");
    EXPECT_EQ(c.videoCompressor(), 0);
    ASSERT_FALSE(c.connectDevice(0));
    ASSERT_EQ(c.resolutionCount(), 4);
    EXPECT_EQ(c.resolutionName(0), "320x240");
    EXPECT_EQ(c.resolutionName(c.resolution()), "1280x720");
    EXPECT_EQ(c.colorFormatName(0), "RGB32");
}

TEST(FfmpegCaptureComponent, TheRehearsalCameraIsListedOnlyWhenAskedFor)
{
    FfmpegCaptureOptions o = rehearsalOnly();
    o.rehearsal = false;
    FfmpegCaptureComponent c(o);
    EXPECT_EQ(c.videoDeviceCount(), 0);
    EXPECT_EQ(c.videoDevice(), -1);
    EXPECT_TRUE(c.connectDevice(0));
}

// --- The recorder ---

QImage picture(int grey)
{
    QImage img(64, 48, QImage::Format_RGB32);
    img.fill(QColor(grey, grey, grey));
    return img;
}

TEST(AviRecorder, SlotsThatNeverCameAreEmptyChunksSoFramesStayTrueToTime)
{
    QTemporaryDir dir;
    RecorderSettings s;
    s.path = dir.filePath("gaps.avi");
    s.size = QSize(64, 48);
    s.framesPerSecond = 25;
    QString error;
    auto r = AviRecorder::create(s, error);
    ASSERT_TRUE(r) << error.toStdString();
    ASSERT_TRUE(r->writeVideo(picture(10), 0, error));
    ASSERT_TRUE(r->writeVideo(picture(20), 1, error));
    ASSERT_TRUE(r->writeVideo(picture(30), 4, error));
    ASSERT_TRUE(r->padVideoTo(6, error));
    ASSERT_TRUE(r->finish(error)) << error.toStdString();
    const FileCount fc = countFrames(s.path);
    EXPECT_EQ(fc.streamFrames, 7);
    EXPECT_EQ(fc.indexed, 7);
    EXPECT_EQ(fc.emptyPackets, 4);
    EXPECT_EQ(fc.packets, 3);
    EXPECT_EQ(fc.lastDts, 4);   // the third picture is frame 4
    EXPECT_EQ(mainHeaderFlags(s.path) & 0x10000u, 0x10000u);
}

TEST(AviRecorder, EveryOfferedCompressorWritesAFileFFmpegReadsBack)
{
    QTemporaryDir dir;
    const QMap<VideoCodec, QString> names = {{VideoCodec::Mjpeg, "mjpeg"}, {VideoCodec::Ffv1, "ffv1"},
                                             {VideoCodec::H264Intra, "h264"}, {VideoCodec::Uncompressed, "rawvideo"}};
    QList<VideoCodec> codecs = availableVideoCodecs();
    codecs << VideoCodec::Uncompressed;
    for (VideoCodec codec : codecs) {
        RecorderSettings s;
        s.path = dir.filePath(names[codec] + ".avi");
        s.size = QSize(64, 48);
        s.framesPerSecond = 30;
        s.codec = codec;
        QString error;
        auto r = AviRecorder::create(s, error);
        ASSERT_TRUE(r) << error.toStdString();
        for (long slot = 0; slot < 3; ++slot)
            ASSERT_TRUE(r->writeVideo(picture(int(slot) * 40), slot, error)) << error.toStdString();
        ASSERT_TRUE(r->finish(error)) << error.toStdString();
        const FileCount fc = countFrames(s.path);
        EXPECT_EQ(fc.codec, names[codec]);
        EXPECT_EQ(fc.packets, 3) << names[codec].toStdString();
        EXPECT_EQ(fc.indexed, 3);
    }
}

// An uncompressed recording once came back upside down: its rows were stored bottom first
// under a header that says top first.
TEST(AviRecorder, EveryCompressorKeepsTheSkyOnTop)
{
    QTemporaryDir dir;
    QImage sky(64, 48, QImage::Format_RGB32);
    sky.fill(QColor(0, 0, 255));
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 64; ++x)
            sky.setPixel(x, y, qRgb(255, 0, 0));
    QList<VideoCodec> codecs = availableVideoCodecs();
    codecs << VideoCodec::Uncompressed;
    for (VideoCodec codec : codecs) {
        RecorderSettings s;
        s.path = dir.filePath(QString("c%1.avi").arg(int(codec)));
        s.size = QSize(64, 48);
        s.framesPerSecond = 30;
        s.codec = codec;
        QString error;
        auto r = AviRecorder::create(s, error);
        ASSERT_TRUE(r) << error.toStdString();
        ASSERT_TRUE(r->writeVideo(sky, 0, error)) << error.toStdString();
        ASSERT_TRUE(r->finish(error)) << error.toStdString();
        VideoReader reader;
        ASSERT_TRUE(reader.open(s.path));
        const QImage back = reader.frame(0);
        ASSERT_EQ(back.size(), QSize(64, 48));
        EXPECT_GT(qRed(back.pixel(32, 4)), 200) << int(codec);
        EXPECT_LT(qRed(back.pixel(32, 44)), 60) << int(codec);
        EXPECT_GT(qBlue(back.pixel(32, 44)), 200) << int(codec);
    }
}

TEST(AviRecorder, MarkingSomethingOtherThanAnAviLeavesItAlone)
{
    QTemporaryDir dir;
    QFile f(dir.filePath("not.avi"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("RIFF\x04\x00\x00\x00WAVEfmt ", 16));
    f.close();
    QString error;
    EXPECT_FALSE(markAsCaptureFile(f.fileName(), error));
    EXPECT_TRUE(error.endsWith("is not an AVI file with a main header")) << error.toStdString();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("RIFF\x04\x00\x00\x00WAVEfmt ", 16));
    EXPECT_FALSE(markAsCaptureFile(dir.filePath("nothing.avi"), error));
}

// --- The rehearsal camera's known answer ---

QString runCliText(const QStringList& args, int& status)
{
    QString out, err;
    QTextStream o(&out), e(&err);
    status = runCli(args, o, e);
    o.flush();
    return out + err;
}

TEST(RehearsalCamera, TheContactPointMapsThroughItsGridFileToTheSurveyedPoint)
{
    QTemporaryDir dir;
    for (QSize size : {QSize(640, 480), QSize(1920, 1080)}) {
        const QJsonObject truth = groundTruth(RehearsalLayout::forSize(size), RehearsalScript{}, 30);
        const QString truthPath = dir.filePath("t.truth.json");
        QString error;
        ASSERT_TRUE(writeGroundTruth(truthPath, truth, error));
        int status = -1;
        const QString ipt = dir.filePath("rehearsal.ipt");
        runCliText({"rehearsal-grid", truthPath, "--out", ipt}, status);
        ASSERT_EQ(status, 0);
        const QJsonArray tw = truth["contactTwips"].toArray();
        const QString point = QString::number(tw[0].toDouble(), 'g', 17) + "," + QString::number(tw[1].toDouble(), 'g', 17);
        const QStringList fields = runCliText({"distance", ipt, point}, status).split(' ');
        ASSERT_EQ(status, 0);
        ASSERT_EQ(fields.size(), 6);   // u v X Y distance sigma
        EXPECT_NEAR(fields[2].toDouble(), 52.4, 0.001);
        EXPECT_NEAR(fields[3].toDouble(), 1.6, 0.001);
        EXPECT_EQ(truth["contactFrame"].toInt(), 30);
    }
}

TEST(CliRecord, RecordsFromTheRehearsalCameraAndPrintsTheFinalStatistics)
{
    QTemporaryDir dir;
    int status = -1;
    const QString file = dir.filePath("try.avi");
    const QString out = runCliText({"record", file, "--device", "Tarvex Rehearsal Camera", "--size", "320x240",
                                    "--fps", "25", "--seconds", "1", "--codec", "ffv1"},
                                   status);
    EXPECT_EQ(status, 0) << out.toStdString();
    EXPECT_EQ(out, "frames captured 25, dropped 0, audio samples 0, elapsed 1000 ms\n");
    EXPECT_EQ(countFrames(file).codec, "ffv1");
    EXPECT_TRUE(QFile::exists(dir.filePath("try.truth.json")));

    EXPECT_TRUE(runCliText({"record", dir.filePath("no/such/folder.avi"), "--device", "Tarvex Rehearsal Camera",
                            "--seconds", "1"},
                           status)
                    .contains("Cannot record to "));
    EXPECT_EQ(status, 2);
    runCliText({"record", file, "--codec", "divx"}, status);
    EXPECT_EQ(status, 2);
    EXPECT_TRUE(runCliText({"record", file, "--device", "Tarvex Rehearsal Camera", "--size", "7x7"}, status)
                    .contains("it offers 320x240, 640x480, 1280x720, 1920x1080"));
    EXPECT_EQ(status, 2);
}

TEST(RehearsalCamera, BuoysSitWhereTheLayoutPutsThemAtAnySize)
{
    const RehearsalLayout l = RehearsalLayout::forSize(QSize(1000, 500));
    // Upper right is 80 % across and 40 % down: pixel centres at 799.5, 199.5.
    const QPointF ur = l.pixelOf(QPointF(70.0, 12.0));
    EXPECT_NEAR(ur.x(), 799.5, 1e-9);
    EXPECT_NEAR(ur.y(), 199.5, 1e-9);
    const QJsonObject truth = groundTruth(l, RehearsalScript{}, 25);
    const QJsonArray twips = truth["buoys"].toArray()[0].toObject()["twips"].toArray();
    EXPECT_NEAR(twips[0].toDouble(), 11992.5, 1e-6);
    EXPECT_NEAR(twips[1].toDouble(), 2992.5, 1e-6);
    EXPECT_EQ(truth["buoys"].toArray()[3].toObject()["name"].toString(), "lower left");
}

TEST(RehearsalCamera, TheSplashAppearsAtTheContactFrameAndNotBefore)
{
    RehearsalRenderer r(QSize(1280, 720), RehearsalScript{});
    const QPointF at = r.layout().pixelOf(RehearsalScript{}.contactSurvey);
    // Splash-white pixels within 20 pixels of the point of contact.
    const auto white = [&](const QImage& img) {
        int n = 0;
        for (int y = int(at.y()) - 20; y <= int(at.y()) + 20; ++y)
            for (int x = int(at.x()) - 20; x <= int(at.x()) + 20; ++x) {
                const QRgb p = img.pixel(x, y);
                n += qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200;
            }
        return n;
    };
    EXPECT_EQ(white(r.render(-1, 25)), 0);
    EXPECT_EQ(white(r.render(24, 25)), 0);
    EXPECT_GT(white(r.render(25, 25)), 5);   // the splash starts a hand's breadth across
}

} // namespace
} // namespace tarvex
