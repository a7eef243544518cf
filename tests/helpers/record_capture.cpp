// Records from the rehearsal camera through the station's own capture device, as the capture
// screen does. Prints "recording T" (T: the steady clock in nanoseconds just before the
// recording was started) and runs until it is killed; given a number of seconds it stops
// the recording after them and prints "done" once the device reports it ready.
//   tarvex_record_capture FILE COMPRESSOR FPS [SECONDS]
// COMPRESSOR is a name of the compressor list ("MJPEG", "FFV1", "H.264 (all key frames)").
#include "capture/ffmpeg_capture_device.h"

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>

using namespace tarvex;

namespace {

class NoCameras : public VideoBackend {
public:
    QList<VideoDeviceInfo> devices() override { return {}; }
    std::unique_ptr<FrameSource> open(const VideoDeviceInfo&, const VideoOpenRequest&, QString& error) override
    {
        error = QStringLiteral("no camera");
        return nullptr;
    }
};

class NoSound : public AudioBackend {
public:
    QList<AudioDeviceInfo> devices() override { return {}; }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return 2;
    FfmpegCaptureOptions o;
    o.rehearsal = true;
    o.videoBackend = std::make_shared<NoCameras>();
    o.audioBackend = std::make_shared<NoSound>();
    o.devicePollMs = 0;
    FfmpegCaptureDevice device(o);
    if (device.open(0))
        return 3;
    // 640x480, the commonest camera at a lake side and light enough for a busy test machine.
    const int vga = int(RehearsalBackend::sizes().indexOf(QSize(640, 480)));
    if (device.setFormat({0, vga, 0, 0}))
        return 3;
    RecordingSettings rs;
    rs.path = QString::fromLocal8Bit(argv[1]);
    rs.videoCompressor = int(device.videoCompressors().indexOf(QString::fromUtf8(argv[2])));
    rs.framesPerSecond = QString::fromLocal8Bit(argv[3]).toInt();
    if (rs.videoCompressor < 0)
        return 4;
    QObject::connect(&device, &CaptureDevice::statusCode, &app, [](int code, const QString&) {
        if (code == CaptureStatusReady) {
            std::printf("done\n");
            std::fflush(stdout);
            QCoreApplication::quit();
        }
    });
    QObject::connect(&device, &CaptureDevice::warning, &app, [](const QString& text) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    const auto before = std::chrono::steady_clock::now().time_since_epoch();
    if (auto e = device.startRecording(rs)) {
        std::fprintf(stderr, "%s\n", qPrintable(e->description));
        return 5;
    }
    std::printf("recording %lld\n", static_cast<long long>(std::chrono::nanoseconds(before).count()));
    std::fflush(stdout);
    if (argc > 4)
        QTimer::singleShot(QString::fromLocal8Bit(argv[4]).toInt() * 1000, &device, [&device] { device.stopRecording(); });
    return app.exec();
}
