// Stepping through a jump video must feel like a still picture: a step either way should cost
// about one sequential decode (1.5x at most), a random jump at most one group's decode, and
// writing the frame on screen to a bitmap far less than the FFmpeg command line (0.2-2 s).
// Clips are made here with FFmpeg's encoders: 720p and 1080p, 150 frames, MJPEG and H.264
// (one key frame per 150 frames, B-frames), the shapes a station records and receives.
#include "common/prompter.h"
#include "media/av_handles.h"
#include "media/frame_extract.h"
#include "media/video_reader.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

using namespace tarvex;

namespace {

constexpr int kFrames = 150;
using Clock = std::chrono::steady_clock;

struct ClipRecipe {
    std::string name;
    const char* encoder;
    int width, height;
    int gop = kFrames;
};

// The last clip has groups of 50, so a backward walk from the middle crosses a border and
// meets the group the worker decodes in the background.
const ClipRecipe kClips[] = {
    {"mjpeg_720p", "mjpeg", 1280, 720},
    {"mjpeg_1080p", "mjpeg", 1920, 1080},
    {"h264_720p", "libx264", 1280, 720},
    {"h264_1080p", "libx264", 1920, 1080},
    {"h264_1080p_g50", "libx264", 1920, 1080, 50},
};

QTemporaryDir* gDir = nullptr;
std::map<std::string, QString> gPaths;
std::map<std::string, double> gDecodeMs;                   // clip -> one sequential decode
std::map<std::string, std::map<std::string, double>> gMs;  // clip -> benchmark -> ms per step

// A moving texture, so the codecs have real work and every frame differs.
void paint(AVFrame* f, int n)
{
    av_frame_make_writable(f);
    for (int y = 0; y < f->height; ++y)
        for (int x = 0; x < f->width; ++x)
            f->data[0][y * f->linesize[0] + x] = uint8_t((x * 3 + y * 2 + n * 5) ^ ((x >> 3) * (y >> 3) + n));
    for (int p = 1; p < 3; ++p)
        for (int y = 0; y < f->height / 2; ++y)
            for (int x = 0; x < f->width / 2; ++x)
                f->data[p][y * f->linesize[p] + x] = uint8_t(128 + ((x + y + n * p) & 31));
}

bool writeClip(const ClipRecipe& recipe, const QString& path)
{
    const QByteArray file = path.toUtf8();
    const av::FormatOutput output = av::makeFormatOutput("avi", file.constData());
    if (!output)
        return false;
    AVFormatContext* oc = output.get();
    const AVCodec* enc = avcodec_find_encoder_by_name(recipe.encoder);
    const av::CodecContext context = av::makeCodecContext(enc);
    if (!context)
        return false;
    AVCodecContext* ctx = context.get();
    const bool mjpeg = std::string(recipe.encoder) == "mjpeg";
    ctx->width = recipe.width;
    ctx->height = recipe.height;
    ctx->time_base = {1, 30};
    ctx->framerate = {30, 1};
    ctx->pix_fmt = mjpeg ? AV_PIX_FMT_YUVJ422P : AV_PIX_FMT_YUV420P;
    if (mjpeg) {
        ctx->flags |= AV_CODEC_FLAG_QSCALE;
        ctx->global_quality = FF_QP2LAMBDA * 3;
    } else {
        ctx->gop_size = recipe.gop;
        ctx->max_b_frames = 3;
        av_opt_set(ctx->priv_data, "preset", "veryfast", 0);
        const std::string params = "keyint=" + std::to_string(recipe.gop) + ":min-keyint=" + std::to_string(recipe.gop)
                                   + ":scenecut=0";
        av_opt_set(ctx->priv_data, "x264-params", params.c_str(), 0);
    }
    bool ok = avcodec_open2(ctx, enc, nullptr) >= 0;
    AVStream* st = avformat_new_stream(oc, nullptr);
    ok = ok && avcodec_parameters_from_context(st->codecpar, ctx) >= 0;
    st->time_base = ctx->time_base;
    ok = ok && avio_open(&oc->pb, file.constData(), AVIO_FLAG_WRITE) >= 0 && avformat_write_header(oc, nullptr) >= 0;
    const av::Frame frame = av::makeFrame();
    const av::Packet packet = av::makePacket();
    if (!frame || !packet)
        return false;
    AVFrame* f = frame.get();
    AVPacket* pkt = packet.get();
    f->format = ctx->pix_fmt;
    f->width = ctx->width;
    f->height = ctx->height;
    av_frame_get_buffer(f, 0);
    auto drain = [&] {
        while (avcodec_receive_packet(ctx, pkt) == 0) {
            av_packet_rescale_ts(pkt, ctx->time_base, st->time_base);
            pkt->stream_index = 0;
            av_interleaved_write_frame(oc, pkt);
        }
    };
    for (int n = 0; ok && n < kFrames; ++n) {
        paint(f, n);
        f->pts = n;
        ok = avcodec_send_frame(ctx, f) >= 0;
        drain();
    }
    avcodec_send_frame(ctx, nullptr);
    drain();
    return ok && av_write_trailer(oc) >= 0;
}

// A plain sequential decode with conversion for display, the yardstick of every step.
double sequentialDecodeMs(const QString& path)
{
    av::FormatInput input;
    if (av::openInput(input, path.toUtf8().constData()) < 0)
        return 0;
    AVFormatContext* fmt = input.get();
    avformat_find_stream_info(fmt, nullptr);
    const AVCodec* c = avcodec_find_decoder(fmt->streams[0]->codecpar->codec_id);
    const av::CodecContext context = av::makeCodecContext(c);
    const av::Packet packet = av::makePacket();
    const av::Frame frame = av::makeFrame();
    if (!context || !packet || !frame)
        return 0;
    AVCodecContext* ctx = context.get();
    avcodec_parameters_to_context(ctx, fmt->streams[0]->codecpar);
    ctx->thread_count = int(std::max(1u, std::thread::hardware_concurrency()));
    avcodec_open2(ctx, c, nullptr);
    AVPacket* pkt = packet.get();
    AVFrame* f = frame.get();
    av::SwsContextPtr sws;
    std::vector<uint8_t> rgb;
    int frames = 0;
    auto take = [&] {
        while (avcodec_receive_frame(ctx, f) == 0) {
            if (!av::reuseSwsContext(sws, f->width, f->height, AVPixelFormat(f->format), f->width, f->height,
                                     AV_PIX_FMT_RGB32, SWS_BILINEAR))
                return;
            rgb.resize(size_t(f->width) * f->height * 4);
            uint8_t* dst[4] = {rgb.data(), nullptr, nullptr, nullptr};
            int stride[4] = {f->width * 4, 0, 0, 0};
            sws_scale(sws.get(), f->data, f->linesize, 0, f->height, dst, stride);
            ++frames;
            av_frame_unref(f);
        }
    };
    const auto t0 = Clock::now();
    while (av_read_frame(fmt, pkt) >= 0) {
        avcodec_send_packet(ctx, pkt);
        take();
        av_packet_unref(pkt);
    }
    avcodec_send_packet(ctx, nullptr);
    take();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    return frames ? ms / frames : 0;
}

class SilentPrompter : public Prompter {
public:
    void message(const QString& text, const QString&, Icon) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    bool askYesNo(const QString&, const QString&, Icon, bool) override { return false; }
    std::optional<QString> input(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> openFile(const FileRequest&) override { return std::nullopt; }
    std::optional<QString> saveFile(const FileRequest&) override { return std::nullopt; }
};

void record(benchmark::State& state, const std::string& clip, const std::string& bench, double totalMs, int64_t steps)
{
    const double ms = steps ? totalMs / double(steps) : 0;
    gMs[clip][bench] = ms;
    state.counters["ms_per_step"] = ms;
    if (gDecodeMs[clip] > 0)
        state.counters["x_decode"] = ms / gDecodeMs[clip];
}

void BM_DecodeSequential(benchmark::State& state, std::string clip)
{
    double total = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        const double ms = sequentialDecodeMs(gPaths[clip]);
        total += ms;
        ++runs;
        state.SetIterationTime(ms / 1000.0);
    }
    gDecodeMs[clip] = total / double(runs);
    state.counters["ms_per_frame"] = gDecodeMs[clip];
}

// Steps from frame `from` by `dir` to the end of the walk, then starts again untimed.
// cacheBytes < 0 keeps the default cache.
void stepWalk(benchmark::State& state, const std::string& clip, int from, int to, int dir, const char* name,
              int64_t cacheBytes = -1)
{
    VideoReader r;
    r.open(gPaths[clip]);
    r.waitUntilIdle();
    if (cacheBytes >= 0)
        r.setCacheBytes(cacheBytes);
    r.frame(from);
    r.waitUntilIdle();
    int n = from;
    double total = 0;
    int64_t steps = 0;
    for (auto _ : state) {
        if (n == to) {
            n = from;
            r.frame(n);   // the operator's jump back to where the walk starts, not a step
            r.waitUntilIdle();
        }
        n += dir;
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(r.frame(n));
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        total += ms;
        ++steps;
        state.SetIterationTime(ms / 1000.0);
    }
    record(state, clip, name, total, steps);
}

void BM_StepForward(benchmark::State& state, std::string clip)
{
    stepWalk(state, clip, 0, kFrames - 1, +1, "StepForward");
}

// With B-frames the background pass leaves a short clip in the cache; with a cache of a few
// frames every forward step is a real decode.
void BM_StepForwardUncached(benchmark::State& state, std::string clip)
{
    stepWalk(state, clip, 0, kFrames - 1, +1, "StepForwardUncached", int64_t(8) * 1920 * 1080 * 2);
}

void BM_StepBackward(benchmark::State& state, std::string clip)
{
    stepWalk(state, clip, kFrames / 2, 0, -1, "StepBackward");
}

void BM_RandomFrame(benchmark::State& state, std::string clip)
{
    VideoReader r;
    r.open(gPaths[clip]);
    r.waitUntilIdle();
    r.setCacheBytes(0);   // every jump decodes: the worst case, not a cache hit
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> pick(0, kFrames - 1);
    double total = 0;
    int64_t steps = 0;
    for (auto _ : state) {
        const int n = pick(rng);
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(r.frame(n));
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        total += ms;
        ++steps;
        state.SetIterationTime(ms / 1000.0);
    }
    record(state, clip, "RandomFrame", total, steps);
}

void BM_ExtractFrameToBmp(benchmark::State& state, std::string clip)
{
    VideoReader r;
    r.open(gPaths[clip]);
    r.waitUntilIdle();
    r.frame(100);
    SilentPrompter p;
    const QString out = gDir->filePath(QString::fromStdString(clip) + ".bmp");
    double total = 0;
    int64_t steps = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(extractFrame(p, r, 100, out));
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        total += ms;
        ++steps;
        state.SetIterationTime(ms / 1000.0);
    }
    record(state, clip, "ExtractFrameToBmp", total, steps);
}

// The yardstick for extractFrame: the FFmpeg command line writing the same frame.
void BM_ExtractByFfmpegCommandLine(benchmark::State& state, std::string clip)
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty()) {
        state.SkipWithError("no ffmpeg command line");
        return;
    }
    const QString out = gDir->filePath(QString::fromStdString(clip) + "_ffmpeg.bmp");
    double total = 0;
    int64_t steps = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        QProcess run;
        run.start(ffmpeg, {"-v", "error", "-y", "-i", gPaths[clip], "-vf", "select=eq(n\\,100)", "-frames:v", "1",
                           "-pix_fmt", "bgr24", out});
        run.waitForFinished(60000);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        total += ms;
        ++steps;
        state.SetIterationTime(ms / 1000.0);
    }
    record(state, clip, "ExtractByFfmpegCommandLine", total, steps);
}

void BM_OpenAndFirstFrame(benchmark::State& state, std::string clip)
{
    double total = 0;
    int64_t steps = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        VideoReader r;
        r.open(gPaths[clip]);
        benchmark::DoNotOptimize(r.frame(0));
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        total += ms;
        ++steps;
        state.SetIterationTime(ms / 1000.0);
        state.PauseTiming();
        r.close();
        state.ResumeTiming();
    }
    record(state, clip, "OpenAndFirstFrame", total, steps);
}

void printTable()
{
    std::printf("\n%-15s %9s %9s %9s %9s %9s %10s %10s %10s\n", "clip", "decode ms", "fwd x", "fwd-unc x",
                "back x", "random x", "extract ms", "ffmpeg ms", "open+0 ms");
    for (const ClipRecipe& c : kClips) {
        auto& m = gMs[c.name];
        const double d = gDecodeMs[c.name];
        const auto x = [&](const char* b) { return d > 0 ? m[b] / d : 0.0; };
        std::printf("%-15s %9.2f %9.2f %9.2f %9.2f %9.2f %10.2f %10.1f %10.2f\n", c.name.c_str(), d, x("StepForward"),
                    x("StepForwardUncached"), x("StepBackward"), x("RandomFrame"), m["ExtractFrameToBmp"],
                    m["ExtractByFfmpegCommandLine"], m["OpenAndFirstFrame"]);
    }
    std::printf("(x = milliseconds per step / one sequential decode of the same clip)\n");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    QTemporaryDir dir;
    gDir = &dir;
    for (const ClipRecipe& c : kClips) {
        const QString path = dir.filePath(QString::fromStdString(c.name) + ".avi");
        if (!writeClip(c, path)) {
            std::fprintf(stderr, "cannot write the %s clip\n", c.name.c_str());
            return 1;
        }
        gPaths[c.name] = path;
    }
    for (const ClipRecipe& c : kClips) {
        // The yardstick runs first so every ratio has it.
        benchmark::RegisterBenchmark(("DecodeSequential/" + c.name).c_str(), BM_DecodeSequential, c.name)
            ->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("StepForward/" + c.name).c_str(), BM_StepForward, c.name)
            ->UseManualTime()->Iterations(300)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("StepForwardUncached/" + c.name).c_str(), BM_StepForwardUncached, c.name)
            ->UseManualTime()->Iterations(150)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("StepBackward/" + c.name).c_str(), BM_StepBackward, c.name)
            ->UseManualTime()->Iterations(150)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("RandomFrame/" + c.name).c_str(), BM_RandomFrame, c.name)
            ->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ExtractFrameToBmp/" + c.name).c_str(), BM_ExtractFrameToBmp, c.name)
            ->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ExtractByFfmpegCommandLine/" + c.name).c_str(), BM_ExtractByFfmpegCommandLine,
                                     c.name)
            ->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("OpenAndFirstFrame/" + c.name).c_str(), BM_OpenAndFirstFrame, c.name)
            ->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printTable();
    return 0;
}
