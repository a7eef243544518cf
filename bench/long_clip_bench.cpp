// Long clips as network cameras store them: 30 s and 120 s of 1080p long-group H.264 with
// B-frames, beside the station's intra-only codecs and its own recordings. Per clip, in a
// process of its own so peak memory is the clip's: open to the first frame, open to the last
// frame, forward, back and random steps as ratios to one decode (a plain sequential decode's
// time per frame, each frame converted for the screen as the reader's are), the CPU of a
// forward step past frame 200 in decodes, peak resident memory; and the same through an
// exact peer written here: FFmpeg's seek to the key frame before, then decoding forward.
//   bench_long_clip_bench [SECONDS...]   (default 30 120)
// Clips are made in a temporary folder, or kept in $TARVEX_BENCH_CLIPS and made only once.
// The station's recordings come from tarvex-cli record ($TARVEX_CLI, else the build's).
#include "media/video_reader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

using tarvex::VideoReader;

namespace {

double ms(QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

double cpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// What the screen needs of a picture: RGB32, as the reader's frame() gives.
struct ToScreen {
    SwsContext* sws = nullptr;
    std::vector<uint8_t> rgb;
    ~ToScreen() { sws_freeContext(sws); }
    void operator()(const AVFrame* f)
    {
        sws = sws_getCachedContext(sws, f->width, f->height, AVPixelFormat(f->format), f->width, f->height,
                                   AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr);
        const int stride = (f->width * 4 + 63) / 64 * 64;
        rgb.resize(size_t(stride) * size_t(f->height) + 64);
        uint8_t* planes[4] = {rgb.data(), nullptr, nullptr, nullptr};
        int strides[4] = {stride, 0, 0, 0};
        sws_scale(sws, f->data, f->linesize, 0, f->height, planes, strides);
    }
};

long peakKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// The exact peer: frames numbered by decode-order packet index as the demuxer counts them
// (AVI timestamps), seek to the key frame at or before, decode forward.
struct Peer {
    AVFormatContext* fmt = nullptr;
    AVCodecContext* ctx = nullptr;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frm = av_frame_alloc();
    int stream = -1;
    ToScreen screen;
    bool open(const char* path)
    {
        if (avformat_open_input(&fmt, path, nullptr, nullptr) < 0)
            return false;
        stream = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        const AVCodec* c = avcodec_find_decoder(fmt->streams[stream]->codecpar->codec_id);
        ctx = avcodec_alloc_context3(c);
        avcodec_parameters_to_context(ctx, fmt->streams[stream]->codecpar);
        ctx->thread_count = 0;
        return avcodec_open2(ctx, c, nullptr) >= 0;
    }
    ~Peer()
    {
        av_frame_free(&frm);
        av_packet_free(&pkt);
        avcodec_free_context(&ctx);
        avformat_close_input(&fmt);
    }
    bool frame(int64_t n)
    {
        avcodec_flush_buffers(ctx);
        av_seek_frame(fmt, stream, n, AVSEEK_FLAG_BACKWARD);
        for (;;) {
            const bool eof = av_read_frame(fmt, pkt) < 0;
            if (!eof && pkt->stream_index != stream) {
                av_packet_unref(pkt);
                continue;
            }
            avcodec_send_packet(ctx, eof ? nullptr : pkt);
            av_packet_unref(pkt);
            while (avcodec_receive_frame(ctx, frm) == 0) {
                const int64_t t = frm->best_effort_timestamp;
                if (t >= n)
                    screen(frm);
                av_frame_unref(frm);
                if (t >= n)
                    return true;
            }
            if (eof)
                return false;
        }
    }
};

// One decode: a sequential decode's time per frame over the first `frames`, and its CPU.
double oneDecode(const char* path, int frames, double* cpu)
{
    Peer p;
    p.open(path);
    QElapsedTimer t;
    t.start();
    const double cpu0 = cpuMs();
    int got = 0;
    while (got < frames && av_read_frame(p.fmt, p.pkt) >= 0) {
        if (p.pkt->stream_index == p.stream) {
            avcodec_send_packet(p.ctx, p.pkt);
            while (avcodec_receive_frame(p.ctx, p.frm) == 0) {
                p.screen(p.frm);
                ++got;
                av_frame_unref(p.frm);
            }
        }
        av_packet_unref(p.pkt);
    }
    *cpu = (cpuMs() - cpu0) / std::max(1, got);
    return ms(t) / std::max(1, got);
}

struct Row {
    double first, late, forward, back, random, forwardCpu, lateCpu, randomCpu;
};

template <typename Get>
Row measure(Get&& get, int count, const std::function<void()>& reopen, const std::function<void()>& close)
{
    Row r{};
    QElapsedTimer t;
    // The machine is shared: the best of three opens stands for what the code costs.
    r.first = r.late = r.lateCpu = 1e300;
    // Closing what was open is not part of an open.
    for (int i = 0; i < 3; ++i) {
        close();
        t.restart();
        reopen();
        get(0);
        r.first = std::min(r.first, ms(t));
        close();
        t.restart();
        const double cpu = cpuMs();
        reopen();
        const double opened = ms(t);
        get(count - 1);
        r.late = std::min(r.late, ms(t));
        r.lateCpu = std::min(r.lateCpu, cpuMs() - cpu);
        if (qEnvironmentVariableIsSet("TARVEX_BENCH_PROBE"))
            std::fprintf(stderr, "open %.1f ms, last frame %.1f ms\n", opened, ms(t) - opened);
    }
    const int from = std::min(200, count / 2);
    get(from);
    const int steps = std::min(60, count - 1 - from);
    t.restart();
    const double cpu0 = cpuMs();
    for (int i = 1; i <= steps; ++i)
        get(from + i);
    r.forward = ms(t) / steps;
    r.forwardCpu = (cpuMs() - cpu0) / steps;
    t.restart();
    for (int i = steps - 1; i >= 0; --i)
        get(from + i);
    r.back = ms(t) / steps;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> any(0, count - 1);
    const int jumps = 8;
    t.restart();
    const double cpu = cpuMs();
    for (int i = 0; i < jumps; ++i)
        get(any(rng));
    r.random = ms(t) / jumps;
    r.randomCpu = (cpuMs() - cpu) / jumps;
    return r;
}

void runClip(const QString& path, const QString& label)
{
    const QByteArray file = path.toUtf8();
    VideoReader probe;
    if (!probe.open(path)) {
        std::printf("%-28s cannot open\n", qPrintable(label));
        return;
    }
    const int count = probe.frameCount();
    probe.close();
    std::fflush(stdout);   // a child would print what is buffered again
    // The reader first in a fresh process, so its peak memory is its own.
    if (fork() == 0) {
        // TARVEX_BENCH_CACHE_MB: the reader's cache bound, for comparing bounds.
        const int cacheMb = qEnvironmentVariableIntValue("TARVEX_BENCH_CACHE_MB");
        VideoReader r(cacheMb > 0 ? int64_t(cacheMb) << 20 : VideoReader::kDefaultCacheBytes);
        const Row a = measure([&](int n) { r.frame(n); }, count, [&] { r.open(path); }, [&] { r.close(); });
        const long rss = peakKb();
        r.close();
        double oneCpu = 0;
        const double one = oneDecode(file.constData(), 90, &oneCpu);
        std::unique_ptr<Peer> peer;
        const Row b = measure([&](int n) { peer->frame(n); }, count, [&] {
            peer = std::make_unique<Peer>();
            peer->open(file.constData());
        }, [&] { peer.reset(); });
        std::printf("%-24s %5d %5.1f | %5.1f %6.1f %5.2f %5.2f %5.2f %6.1f %5ld | %5.1f %6.1f %5.2f %5.2f %6.1f | %4.2f %4.2f | %4.2f %4.2f\n",
                    qPrintable(label), count, one, a.first / one, a.late / one, a.forward / one, a.back / one,
                    a.forwardCpu / oneCpu, a.random / one, rss / 1024, b.first / one, b.late / one, b.forward / one,
                    b.back / one, b.random / one, a.late / b.late, a.random / b.random, a.lateCpu / b.lateCpu,
                    a.randomCpu / b.randomCpu);
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    wait(&status);
}

bool make(const QString& out, const QStringList& codec, int seconds)
{
    QStringList args{"-v", "error", "-y", "-f", "lavfi", "-i",
                     QStringLiteral("testsrc2=size=1920x1080:rate=30"), "-t", QString::number(seconds)};
    args << codec << out;
    return QProcess::execute("ffmpeg", args) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    QList<int> lengths;
    for (const QString& a : app.arguments().mid(1))
        lengths << a.toInt();
    if (lengths.isEmpty())
        lengths = {30, 120};
    QTemporaryDir temp;
    const QString kept = qEnvironmentVariable("TARVEX_BENCH_CLIPS");
    const QDir dir(kept.isEmpty() ? temp.path() : kept);
    const auto clip = [&](const QString& name, const std::function<bool(const QString&)>& makeIt) {
        const QString p = dir.filePath(name);
        return QFileInfo::exists(p) || makeIt(p) ? p : QString();
    };
    std::printf("steps as ratios to one decode (ms a frame, sequential decode and conversion);\n"
                "fwdCPU: CPU of a forward step in decodes' CPU; rss: peak resident MB; ratio: reader to\n"
                "peer in time, and in CPU (which other load on the machine does not change)\n");
    std::printf("%-24s %5s %5s | %5s %6s %5s %5s %5s %6s %5s | peer: %5s %6s %5s %5s %6s | ratio: last random | CPU: last random\n",
                "clip", "count", "ms", "first", "last", "fwd", "back", "fwdCPU", "random", "rss", "first", "last",
                "fwd", "back", "random");
    const QStringList longGop{"-c:v", "libx264", "-preset", "veryfast", "-g", "90", "-bf", "2"};
    const QString only = qEnvironmentVariable("TARVEX_BENCH_ONLY");   // one clip file
    if (!only.isEmpty()) {
        runClip(only, QFileInfo(only).fileName());
        return 0;
    }
    for (int s : lengths) {
        const QString p = clip(QStringLiteral("h264-g90-bf2-%1s.avi").arg(s),
                               [&](const QString& out) { return make(out, longGop, s); });
        if (!p.isEmpty())
            runClip(p, QStringLiteral("H.264 g90 bf2 %1 s").arg(s));
    }
    const struct {
        const char* name;
        QStringList codec;
    } intra[] = {{"MJPEG 10 s", {"-c:v", "mjpeg", "-q:v", "3", "-pix_fmt", "yuvj420p"}},
                 {"H.264 all-intra 10 s", {"-c:v", "libx264", "-preset", "veryfast", "-g", "1"}},
                 {"FFV1 10 s", {"-c:v", "ffv1", "-g", "1"}}};
    for (const auto& c : intra) {
        const QString p = clip(QString::fromLatin1(c.name).replace(' ', '_') + ".avi",
                               [&](const QString& out) { return make(out, c.codec, 10); });
        if (!p.isEmpty())
            runClip(p, QString::fromLatin1(c.name));
    }
    // The station's own recordings, from the rehearsal camera.
    QString cli = qEnvironmentVariable("TARVEX_CLI");
    if (cli.isEmpty())
        cli = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/cli/tarvex-cli");
    for (const char* codec : {"mjpeg", "h264"}) {
        const QString p = clip(QStringLiteral("station-%1.avi").arg(QLatin1String(codec)), [&](const QString& out) {
            QProcess rec;
            rec.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            rec.start(cli, {"record", out, "--device", "Tarvex Rehearsal Camera", "--seconds", "5", "--codec",
                            QLatin1String(codec)});
            return rec.waitForFinished(60000) && rec.exitCode() == 0;
        });
        if (!p.isEmpty())
            runClip(p, QStringLiteral("station %1 5 s").arg(QLatin1String(codec)));
    }
    return 0;
}
