// Records with the rehearsal camera as the station does (capture thread, bounded queue,
// encoder thread, preview on) and prints what a 2-core station must reach: every frame of
// 6 s at 30 fps, and the CPU the recording costs, in % of one core.
#include "capture/ffmpeg_capture_component.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <ctime>

using namespace tarvex;

namespace {

struct Run {
    CaptureStatistics stats;
    double cpuPercent = 0;
    long previewFrames = 0;
    QString error;
};

Run record(QSize size, const QString& codec, bool preview, int seconds)
{
    Run run;
    QTemporaryDir dir;
    FfmpegCaptureOptions o;
    o.rehearsal = true;
    o.devicePollMs = 0;
    FfmpegCaptureComponent c(o);
    int device = -1;
    for (int i = 0; i < c.videoDeviceCount(); ++i)
        if (c.videoDeviceName(i) == kRehearsalCameraName)
            device = i;
    int compressor = -1;
    for (int i = 0; i < c.videoCompressorCount(); ++i)
        if (c.videoCompressorName(i) == codec)
            compressor = i;
    int resolution = -1;
    (void)c.setPreview(preview);
    if (auto e = c.connectDevice(device)) {
        run.error = e->description;
        return run;
    }
    for (int i = 0; i < c.resolutionCount(); ++i)
        if (c.resolutionName(i) == QStringLiteral("%1x%2").arg(size.width()).arg(size.height()))
            resolution = i;
    for (const CaptureResult& e : {c.setResolution(resolution), c.setVideoCompressor(compressor), c.setFrameRate(30),
                                   c.setTimeLimit(seconds), c.setCaptureFileName(dir.filePath("bench.avi"))})
        if (e) {
            run.error = e->description;
            return run;
        }
    QObject::connect(&c, &CaptureComponent::previewFrame, [&](const QImage& img) {
        // What a view does with a frame at least: touch its pixels once.
        volatile uchar sink = img.constBits()[img.sizeInBytes() / 2];
        (void)sink;
        ++run.previewFrames;
    });
    QEventLoop loop;
    QObject::connect(&c, &CaptureComponent::statusCode, &loop, [&](int code, const QString&) {
        if (code == CaptureStatusReady)
            loop.quit();
    });
    QObject::connect(&c, &CaptureComponent::warning, &loop, [&](const QString& w) { run.error = w; });
    // Let the camera settle (its first pictures warm the caches) before measuring.
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
    const std::clock_t cpu0 = std::clock();
    const auto wall0 = std::chrono::steady_clock::now();
    if (auto e = c.startCapture()) {
        run.error = e->description;
        return run;
    }
    loop.exec();
    const double cpu = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    run.stats = c.statistics();
    run.cpuPercent = 100.0 * cpu / wall;
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = 6;
    struct Case { QSize size; const char* codec; bool preview; };
    const Case cases[] = {
        {QSize(1280, 720), "MJPEG", false},
        {QSize(1280, 720), "MJPEG", true},
        {QSize(1920, 1080), "MJPEG", false},
        {QSize(1920, 1080), "MJPEG", true},
    };
    int status = 0;
    for (const Case& k : cases) {
        const Run r = record(k.size, QString::fromLatin1(k.codec), k.preview, seconds);
        std::printf("%dx%d@30 %s %ds, preview %s: ", k.size.width(), k.size.height(), k.codec, seconds,
                    k.preview ? "on " : "off");
        if (!r.error.isEmpty()) {
            std::printf("error: %s\n", qPrintable(r.error));
            status = 2;
            continue;
        }
        std::printf("frames captured %ld, dropped %ld, elapsed %ld ms, CPU %.0f %% of one core, preview frames %ld\n",
                    r.stats.framesCaptured, r.stats.framesDropped, r.stats.elapsedMs, r.cpuPercent, r.previewFrames);
        if (r.stats.framesDropped > 0 || r.stats.framesCaptured != 30 * seconds)
            status = 1;
    }
    return status;
}
