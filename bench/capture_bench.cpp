// Records with the rehearsal camera as the station does (capture thread, bounded queue,
// encoder thread, preview on) and prints what a 2-core station must reach: every frame of
// 6 s, and the CPU the recording costs, in % of one core. The hard cases: 1080p at 60 fps,
// once more while a second process keeps a core busy, and a recording that begins with 3 s
// held by pre-recording.
#include "capture/ffmpeg_capture_component.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <ctime>
#include <iterator>
#include <algorithm>

using namespace tarvex;

namespace {

struct Run {
    CaptureStatistics stats;
    double cpuPercent = 0;
    long previewFrames = 0;
    QString error;
};

struct Case {
    QSize size;
    int fps;
    const char* codec;
    bool preview;
    bool busy;        // a second process spins on one core meanwhile
    int preSeconds;   // 0 = no pre-recording
};

Run record(const Case& k, int seconds)
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
        if (c.videoCompressorName(i) == QString::fromLatin1(k.codec))
            compressor = i;
    int resolution = -1;
    (void)c.setPreview(k.preview);
    if (auto e = c.connectDevice(device)) {
        run.error = e->description;
        return run;
    }
    for (int i = 0; i < c.resolutionCount(); ++i)
        if (c.resolutionName(i) == QStringLiteral("%1x%2").arg(k.size.width()).arg(k.size.height()))
            resolution = i;
    for (const CaptureResult& e : {c.setResolution(resolution), c.setVideoCompressor(compressor), c.setFrameRate(k.fps),
                                   c.setTimeLimit(seconds), c.setCaptureFileName(dir.filePath("bench.avi")),
                                   c.setPreRecording(k.preSeconds)})
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
    QProcess busy;
    if (k.busy) {
        busy.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--spin")});
        busy.waitForStarted();
    }
    QEventLoop loop;
    QObject::connect(&c, &CaptureComponent::statusCode, &loop, [&](int code, const QString&) {
        if (code == CaptureStatusReady)
            loop.quit();
    });
    QObject::connect(&c, &CaptureComponent::warning, &loop, [&](const QString& w) { run.error = w; });
    // Let the camera settle (its first pictures warm the caches) and the ring fill before
    // measuring.
    QTimer::singleShot(500 + 1000 * k.preSeconds, &loop, &QEventLoop::quit);
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
    if (k.busy) {
        busy.kill();
        busy.waitForFinished();
    }
    return run;
}

// The second process of the busy case: one core's worth of work until it is killed.
[[noreturn]] void spin()
{
    std::atomic<unsigned long> n{0};
    for (;;)
        n.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--spin") == 0)
        spin();
    QCoreApplication app(argc, argv);
    const int seconds = 6;
    const Case all[] = {
        {QSize(1280, 720), 30, "MJPEG", true, false, 0},
        {QSize(1920, 1080), 30, "MJPEG", true, false, 0},
        {QSize(1920, 1080), 60, "MJPEG", false, false, 0},
        {QSize(1920, 1080), 60, "MJPEG", true, false, 0},
        {QSize(1920, 1080), 60, "MJPEG", true, true, 0},
        {QSize(1920, 1080), 60, "MJPEG", true, false, 3},
        {QSize(1280, 720), 120, "MJPEG", true, false, 0},
    };
    std::vector<Case> cases(std::begin(all), std::end(all));
    if (argc > 1) {
        // One case by its number, for a closer look, and as many times as asked: a busy
        // machine's drops come and go, one clean run proves little.
        const int which = std::atoi(argv[1]), times = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
        if (which < 0 || which >= int(std::size(all))) {
            std::fprintf(stderr, "usage: %s [case 0..%d [times]]\n", argv[0], int(std::size(all)) - 1);
            return 2;
        }
        cases.assign(size_t(times), all[which]);
    }
    int status = 0;
    for (const Case& k : cases) {
        const Run r = record(k, seconds);
        std::printf("%dx%d@%d %s %ds, preview %s%s", k.size.width(), k.size.height(), k.fps, k.codec, seconds,
                    k.preview ? "on" : "off", k.busy ? ", second process busy" : "");
        if (k.preSeconds > 0)
            std::printf(", pre-recording %d s", k.preSeconds);
        std::printf(": ");
        if (!r.error.isEmpty()) {
            std::printf("error: %s\n", qPrintable(r.error));
            status = 2;
            continue;
        }
        std::printf("frames captured %ld, dropped %ld, elapsed %ld ms, CPU %.0f %% of one core, preview frames %ld\n",
                    r.stats.framesCaptured, r.stats.framesDropped, r.stats.elapsedMs, r.cpuPercent, r.previewFrames);
        std::fflush(stdout);
        if (r.stats.framesDropped > 0 || r.stats.framesCaptured != long(k.fps) * (seconds + k.preSeconds))
            status = 1;
    }
    return status;
}
