// Long clips as network cameras store them: 30 s and 120 s of 1080p long-group H.264 with
// B-frames, beside the station's intra-only codecs. Per clip, in a process of its own so
// peak memory is the clip's: open to the first frame, open to a late frame, forward, back
// and random steps as ratios to one decode (a plain sequential decode's time per frame),
// peak resident memory, and the same through an exact peer written here: FFmpeg's seek to
// the key frame before, then decoding forward to the frame.
//   bench_long_clip_bench [SECONDS...]   (default 30 120; clips go to a temporary folder)
#include "media/video_reader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

using tarvex::VideoReader;

namespace {

double ms(QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

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
                av_frame_unref(frm);
                if (t >= n)
                    return true;
            }
            if (eof)
                return false;
        }
    }
};

// One decode: a sequential decode's time per frame over the first `frames`.
double oneDecode(const char* path, int frames)
{
    Peer p;
    p.open(path);
    QElapsedTimer t;
    t.start();
    int got = 0;
    while (got < frames && av_read_frame(p.fmt, p.pkt) >= 0) {
        if (p.pkt->stream_index == p.stream) {
            avcodec_send_packet(p.ctx, p.pkt);
            while (avcodec_receive_frame(p.ctx, p.frm) == 0) {
                ++got;
                av_frame_unref(p.frm);
            }
        }
        av_packet_unref(p.pkt);
    }
    return ms(t) / std::max(1, got);
}

struct Row {
    double first, late, forward, back, random;
};

template <typename Get>
Row measure(Get&& get, int count, const std::function<void()>& reopen)
{
    Row r{};
    QElapsedTimer t;
    t.start();
    reopen();
    get(0);
    r.first = ms(t);
    t.restart();
    reopen();
    get(count - 1);
    r.late = ms(t);
    const int from = std::min(count - 1, 200);
    get(from);
    const int steps = 60;
    t.restart();
    for (int i = 1; i <= steps; ++i)
        get(from + i);
    r.forward = ms(t) / steps;
    t.restart();
    for (int i = steps - 1; i >= 0; --i)
        get(from + i);
    r.back = ms(t) / steps;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> any(0, count - 1);
    const int jumps = 8;
    t.restart();
    for (int i = 0; i < jumps; ++i)
        get(any(rng));
    r.random = ms(t) / jumps;
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
    const double one = oneDecode(file.constData(), 90);
    if (fork() == 0) {
        VideoReader r;
        const Row a = measure([&](int n) { r.frame(n); }, count, [&] { r.open(path); });
        const long rss = peakKb();
        std::unique_ptr<Peer> peer;
        const Row b = measure([&](int n) { peer->frame(n); }, count, [&] {
            peer = std::make_unique<Peer>();
            peer->open(file.constData());
        });
        std::printf("%-28s %5d %6.1f | %6.1f %7.1f %5.2f %5.2f %6.1f %6ld | peer %6.1f %7.1f %5.2f %5.2f %6.1f | ratio late %.2f random %.2f\n",
                    qPrintable(label), count, one, a.first / one, a.late / one, a.forward / one, a.back / one,
                    a.random / one, rss / 1024, b.first / one, b.late / one, b.forward / one, b.back / one,
                    b.random / one, a.late / b.late, a.random / b.random);
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
    QList<int> lengths;
    for (const QString& a : app.arguments().mid(1))
        lengths << a.toInt();
    if (lengths.isEmpty())
        lengths = {30, 120};
    QTemporaryDir dir;
    std::printf("ratios to one decode (ms per frame of a sequential decode); rss in MB\n");
    std::printf("%-28s %5s %6s | %6s %7s %5s %5s %6s %6s | peer: first late fwd back random\n", "clip", "frames",
                "decode", "first", "late", "fwd", "back", "random", "rss");
    const QStringList longGop{"-c:v", "libx264", "-preset", "veryfast", "-g", "90", "-bf", "2"};
    for (int s : lengths) {
        const QString p = dir.filePath(QStringLiteral("h264-long-%1s.avi").arg(s));
        if (make(p, longGop, s))
            runClip(p, QStringLiteral("H.264 g90 bf2 %1 s").arg(s));
    }
    const struct {
        const char* name;
        QStringList codec;
    } intra[] = {{"MJPEG 10 s", {"-c:v", "mjpeg", "-q:v", "3", "-pix_fmt", "yuvj420p"}},
                 {"H.264 all-intra 10 s", {"-c:v", "libx264", "-preset", "veryfast", "-g", "1"}},
                 {"FFV1 10 s", {"-c:v", "ffv1", "-g", "1"}}};
    for (const auto& c : intra) {
        const QString p = dir.filePath(QString::fromLatin1(c.name).replace(' ', '_') + ".avi");
        if (make(p, c.codec, 10))
            runClip(p, QString::fromLatin1(c.name));
    }
    return 0;
}
