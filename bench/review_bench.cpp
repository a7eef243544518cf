// The step a person feels on the review screen: from an arrow key pressed on the frame view
// to frame n+1 (or n-1) painted in it, through the worker thread, the reader and the canvas.
// Clips are written by the station's own recorder (AviRecorder), in the compressors the
// capture screen offers: MJPEG (the default) and H.264 with all key frames, 720p and 1080p,
// and FFV1 at 1080p, and MJPEG 1080p at 60 fps. A step back should cost no more than 1.3 steps forward.
#include "capture/avi_recorder.h"
#include "review/video_clip_source.h"
#include "widgets/frame_view.h"
#include "widgets/picture_canvas.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>

using namespace tarvex;

namespace {

constexpr int kFrames = 90;

struct Clip {
    std::string name;
    VideoCodec codec;
    QSize size;
    int fps = 30;
};

std::map<std::string, QString> gPaths;
std::map<std::string, std::map<std::string, double>> gMs;

// The reader's share of a step, timed on the worker thread.
class TimedSource : public ClipSource {
public:
    explicit TimedSource(std::shared_ptr<ClipSource> inner) : inner_(std::move(inner)) {}
    int frameCount() const override { return inner_->frameCount(); }
    double frameRate() const override { return inner_->frameRate(); }
    QImage frame(int n) override
    {
        QElapsedTimer t;
        t.start();
        QImage img = inner_->frame(n);
        decodeNs_ += t.nsecsElapsed();
        ++decodes_;
        return img;
    }
    double decodeMs() const { return decodes_ ? decodeNs_.load() / 1e6 / decodes_ : 0; }

private:
    std::shared_ptr<ClipSource> inner_;
    std::atomic<qint64> decodeNs_{0};
    std::atomic<int> decodes_{0};
};

// A moving scene with detail, so the compressor has real work and frames differ.
QImage scene(QSize size, int n)
{
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            row[x] = qRgb((x * 3 + n * 5) & 255, (y * 2 + ((x >> 4) ^ (y >> 4))) & 255, (x + y + n * 7) & 255);
    }
    QPainter p(&img);
    p.setBrush(Qt::white);
    p.drawEllipse(QPoint(100 + n * 10, size.height() / 2), 60, 30);
    return img;
}

bool record(const Clip& c, const QString& path)
{
    RecorderSettings s;
    s.path = path;
    s.size = c.size;
    s.framesPerSecond = c.fps;
    s.codec = c.codec;
    QString error;
    auto rec = AviRecorder::create(s, error);
    if (!rec) {
        std::fprintf(stderr, "%s: %s\n", c.name.c_str(), qPrintable(error));
        return false;
    }
    for (int n = 0; n < kFrames; ++n)
        if (!rec->writeVideo(scene(c.size, n), n, error))
            return false;
    return rec->finish(error);
}

// One key press in `direction` from the frame on screen; the time until it is painted.
double stepMs(FrameView& v, int direction)
{
    const int target = v.shownFrame() + direction;
    QElapsedTimer t;
    t.start();
    // As the operator does it: an arrow key pressed on the picture.
    QKeyEvent press(QEvent::KeyPress, direction > 0 ? Qt::Key_Right : Qt::Key_Left, Qt::NoModifier);
    QApplication::sendEvent(v.canvas(), &press);
    while (v.shownFrame() != target)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    v.canvas()->surface()->repaint();
    return t.nsecsElapsed() / 1e6;
}

void BM_Step(benchmark::State& state, std::string clip, int direction)
{
    auto opened = VideoClipSource::open(gPaths[clip]);
    if (!opened) {
        state.SkipWithError("clip cannot be opened");
        return;
    }
    auto source = std::make_shared<TimedSource>(opened);
    FrameView v;
    v.resize(1280, 800);
    v.show();
    const int start = direction > 0 ? 0 : kFrames - 1;
    v.setSource(source, start);
    while (v.shownFrame() != start)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    double total = 0;
    int64_t steps = 0;
    for (auto _ : state) {
        if (v.shownFrame() + direction < 0 || v.shownFrame() + direction >= kFrames) {
            v.requestFrame(start);
            while (v.shownFrame() != start)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        const double ms = stepMs(v, direction);
        state.SetIterationTime(ms / 1000);
        total += ms;
        ++steps;
    }
    gMs[clip][direction > 0 ? "forward" : "back"] = steps ? total / steps : 0;
    gMs[clip][direction > 0 ? "forward_decode" : "back_decode"] = source->decodeMs();
    state.counters["ms_per_step"] = steps ? total / steps : 0;
    state.counters["decode_ms"] = source->decodeMs();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const Clip clips[] = {
        {"mjpeg_720p", VideoCodec::Mjpeg, {1280, 720}},
        {"mjpeg_1080p", VideoCodec::Mjpeg, {1920, 1080}},
        // A 60 fps clip must step as fast as a 30 fps one.
        {"mjpeg_1080p60", VideoCodec::Mjpeg, {1920, 1080}, 60},
        {"h264intra_720p", VideoCodec::H264Intra, {1280, 720}},
        {"h264intra_1080p", VideoCodec::H264Intra, {1920, 1080}},
        {"ffv1_1080p", VideoCodec::Ffv1, {1920, 1080}},
    };
    const QList<VideoCodec> offered = availableVideoCodecs();
    for (const Clip& c : clips) {
        if (!offered.contains(c.codec))
            continue;
        const QString path = dir.filePath(QString::fromStdString(c.name) + QStringLiteral(".avi"));
        if (!record(c, path))
            continue;
        gPaths[c.name] = path;
        for (int direction : {1, -1})
            benchmark::RegisterBenchmark((std::string("Step/") + (direction > 0 ? "forward/" : "back/") + c.name).c_str(),
                                         BM_Step, c.name, direction)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(60);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nStep latency, arrow key to frame painted in the frame view (ms; the reader's share in brackets):\n");
    std::printf("%-18s %18s %18s %10s\n", "clip", "forward", "back", "back/fwd");
    const auto at = [](const std::map<std::string, double>& m, const char* k) { return m.count(k) ? m.at(k) : 0.0; };
    for (const auto& [clip, ms] : gMs)
        std::printf("%-18s %9.2f (%5.2f) %9.2f (%5.2f) %10.2f\n", clip.c_str(), at(ms, "forward"),
                    at(ms, "forward_decode"), at(ms, "back"), at(ms, "back_decode"),
                    at(ms, "forward") > 0 ? at(ms, "back") / at(ms, "forward") : 0.0);
    return 0;
}
