// Records two rehearsal cameras at once as the station does (one Start Recording, the
// second camera as the component's companion) and prints for each camera the frames and
// drops, the CPU of the whole recording in % of one core, and the largest offset between
// matching frames of the two files on their common clock (each frame of camera 1 and the
// frame of camera 2 taken nearest in time).
#include "capture/camera_set.h"
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
    CaptureStatistics first, second;
    double cpuPercent = 0;
    qint64 worstOffsetMicros = -1;
    QString error;
};

Run record(const QString& codec, bool preview, int fps, int seconds)
{
    Run run;
    QTemporaryDir dir;
    FfmpegCaptureOptions o;
    o.rehearsal = true;
    o.devicePollMs = 0;
    FfmpegCaptureComponent c(o);
    int device = -1, compressor = -1;
    for (int i = 0; i < c.videoDeviceCount(); ++i)
        if (c.videoDeviceName(i) == rehearsalCameraName(1))
            device = i;
    for (int i = 0; i < c.videoCompressorCount(); ++i)
        if (c.videoCompressorName(i) == codec)
            compressor = i;
    (void)c.setPreview(preview);
    if (auto e = c.connectDevice(device)) {
        run.error = e->description;
        return run;
    }
    // Both at the size a companion opens with, 1280x720.
    for (int i = 0; i < c.resolutionCount(); ++i)
        if (c.resolutionName(i) == QStringLiteral("1280x720"))
            (void)c.setResolution(i);
    const QString file = dir.filePath("Annjump1.avi");
    for (const CaptureResult& e : {c.setVideoCompressor(compressor), c.setFrameRate(fps), c.setTimeLimit(seconds),
                                   c.setCaptureFileName(file)})
        if (e) {
            run.error = e->description;
            return run;
        }
    c.setCompanionCameras({rehearsalCameraName(2)});
    QEventLoop loop;
    int ready = 0;
    QObject::connect(&c, &CaptureComponent::statusCode, &loop, [&](int code, const QString&) {
        if (code == CaptureStatusReady && ++ready == 1)
            loop.quit();
    });
    QObject::connect(&c, &CaptureComponent::warning, &loop, [&](const QString& w) { run.error = w; });
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
    ready = 0;
    const std::clock_t cpu0 = std::clock();
    const auto wall0 = std::chrono::steady_clock::now();
    if (auto e = c.startCapture()) {
        run.error = e->description;
        return run;
    }
    loop.exec();
    // The companion ends on the same time limit; give its last frame a moment.
    CaptureDevice* second = c.companionDevice(2);
    for (int k = 0; k < 100 && second && second->isRecording(); ++k)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const double cpu = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    run.first = c.statistics();
    run.second = second ? second->statistics() : CaptureStatistics{};
    run.cpuPercent = 100.0 * cpu / wall;
    FrameTimes a, b;
    QString why;
    if (FrameTimes::read(frameTimesPath(file), a, why) && FrameTimes::read(frameTimesPath(cameraFilePath(file, 2)), b, why))
        for (int n = 0; n < a.micros.size(); ++n)
            if (const int m = a.matching(n, b); m >= 0)
                run.worstOffsetMicros = std::max(run.worstOffsetMicros, std::abs(a.micros[n] - b.micros[m]));
    else
        run.error = why;
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = 6;
    struct Case { const char* codec; bool preview; int fps; };
    const Case cases[] = {{"MJPEG", false, 30}, {"MJPEG", true, 30}};
    int status = 0;
    for (const Case& k : cases) {
        const Run r = record(QString::fromLatin1(k.codec), k.preview, k.fps, seconds);
        std::printf("2 cameras 1280x720@%d %s %ds, preview %s: ", k.fps, k.codec, seconds, k.preview ? "on " : "off");
        if (!r.error.isEmpty()) {
            std::printf("error: %s\n", qPrintable(r.error));
            status = 2;
            continue;
        }
        std::printf("camera 1 frames %ld dropped %ld, camera 2 frames %ld dropped %ld, CPU %.0f %% of one core, "
                    "worst offset %.1f ms (half a frame %.1f ms)\n",
                    r.first.framesCaptured, r.first.framesDropped, r.second.framesCaptured, r.second.framesDropped,
                    r.cpuPercent, r.worstOffsetMicros / 1000.0, 500.0 / k.fps);
        if (r.first.framesDropped + r.second.framesDropped > 0 || r.first.framesCaptured != long(k.fps) * seconds
            || std::abs(r.first.framesCaptured - r.second.framesCaptured) > 1)
            status = 1;
    }
    return status;
}
