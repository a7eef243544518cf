#include "clip_writer.h"
#include "media/av_handles.h"

#include <cmath>
#include <cstdio>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace tarvex::testclips {

namespace {

struct Out {
    av::FormatOutput oc;
    av::CodecContext ctx;
    av::Frame frame;
    av::Packet pkt;
};

bool fail(const char* what)
{
    std::fprintf(stderr, "clip writer: %s\n", what);
    return false;
}

int level(int n, bool top) { return top ? 16 + 5 * n : 235 - 5 * n; }

void paint(AVFrame* f, int n, Codec codec)
{
    av_frame_make_writable(f);
    for (int y = 0; y < f->height; ++y) {
        const int v = level(n, y < f->height / 2);
        if (codec == Codec::Raw) {
            for (int x = 0; x < f->width * 3; ++x)
                f->data[0][y * f->linesize[0] + x] = uint8_t(v);
        } else {
            for (int x = 0; x < f->width; ++x)
                f->data[0][y * f->linesize[0] + x] = uint8_t(v);
        }
    }
    if (codec != Codec::Raw)
        for (int p = 1; p < 3; ++p)
            for (int y = 0; y < f->height / 2; ++y)
                for (int x = 0; x < f->width / 2; ++x)
                    f->data[p][y * f->linesize[p] + x] = 128;
}

} // namespace

bool writeClip(const QString& path, Codec codec, int frames, const ClipOptions& opt)
{
    Out o;
    const QByteArray file = path.toUtf8();
    o.oc = av::makeFormatOutput("avi", file.constData());
    if (!o.oc)
        return fail("no avi muxer");
    const char* name = codec == Codec::Mjpeg ? "mjpeg" : codec == Codec::H264 ? "libx264" : "rawvideo";
    const AVCodec* enc = avcodec_find_encoder_by_name(name);
    if (!enc)
        return fail(name);
    o.ctx = av::makeCodecContext(enc);
    if (!o.ctx)
        return fail("no memory");
    o.ctx->width = opt.width;
    o.ctx->height = opt.height;
    o.ctx->time_base = {1, 25};
    o.ctx->framerate = {25, 1};
    o.ctx->thread_count = 1;
    o.ctx->pix_fmt = codec == Codec::Mjpeg ? AV_PIX_FMT_YUVJ420P
                     : codec == Codec::H264 ? AV_PIX_FMT_YUV420P
                                            : AV_PIX_FMT_BGR24;
    if (codec == Codec::Mjpeg) {
        o.ctx->flags |= AV_CODEC_FLAG_QSCALE;
        o.ctx->global_quality = FF_QP2LAMBDA * 2;
    }
    if (codec == Codec::H264) {
        o.ctx->gop_size = opt.gop;
        o.ctx->max_b_frames = 2;
        av_opt_set(o.ctx->priv_data, "preset", "veryfast", 0);
        av_opt_set(o.ctx->priv_data, "crf", "12", 0);
        const QByteArray params = QStringLiteral("keyint=%1:min-keyint=%1:scenecut=0:bframes=2:b-adapt=0%2")
                                      .arg(opt.gop)
                                      .arg(opt.openGop ? ":open-gop=1" : "")
                                      .toLatin1();
        av_opt_set(o.ctx->priv_data, "x264-params", params.constData(), 0);
    }
    if (avcodec_open2(o.ctx.get(), enc, nullptr) < 0)
        return fail("encoder refused");
    AVStream* st = avformat_new_stream(o.oc.get(), nullptr);
    avcodec_parameters_from_context(st->codecpar, o.ctx.get());
    st->time_base = o.ctx->time_base;
    if (avio_open(&o.oc->pb, file.constData(), AVIO_FLAG_WRITE) < 0)
        return fail("cannot create file");
    if (avformat_write_header(o.oc.get(), nullptr) < 0)
        return fail("header");
    o.frame = av::makeFrame();
    o.pkt = av::makePacket();
    if (!o.frame || !o.pkt)
        return fail("no memory");
    o.frame->format = o.ctx->pix_fmt;
    o.frame->width = opt.width;
    o.frame->height = opt.height;
    av_frame_get_buffer(o.frame.get(), 0);
    int written = 0;
    auto drain = [&]() -> bool {
        while (avcodec_receive_packet(o.ctx.get(), o.pkt.get()) == 0) {
            if (written++ < opt.skipPackets) {
                av_packet_unref(o.pkt.get());
                continue;
            }
            if (opt.skipPackets > 0) {
                o.pkt->pts -= opt.skipPackets;
                o.pkt->dts -= opt.skipPackets;
            }
            if (opt.damagedSlot >= 0 && o.pkt->pts == opt.damagedSlot) {
                av_packet_make_writable(o.pkt.get());
                for (int i = 0; i < o.pkt->size; ++i)
                    o.pkt->data[i] = 0x55;
            }
            av_packet_rescale_ts(o.pkt.get(), o.ctx->time_base, st->time_base);
            o.pkt->stream_index = st->index;
            if (av_interleaved_write_frame(o.oc.get(), o.pkt.get()) < 0)
                return fail("write packet");
        }
        return true;
    };
    for (int n = 0; n < frames; ++n) {
        if (opt.emptySlots.count(n))
            continue;
        paint(o.frame.get(), n, codec);
        o.frame->pts = n;
        if (avcodec_send_frame(o.ctx.get(), o.frame.get()) < 0 || !drain())
            return fail("encode");
    }
    avcodec_send_frame(o.ctx.get(), nullptr);
    if (!drain())
        return false;
    if (av_write_trailer(o.oc.get()) < 0)
        return fail("trailer");
    return true;
}

int frameNumberOf(const QImage& image, Codec codec)
{
    if (image.isNull())
        return -1;
    const auto number = [&](int y, bool top) {
        const double g = qGray(image.pixel(image.width() / 2, y));
        // Limited-range luma is stretched to 0..255 on the way to RGB.
        const double luma = codec == Codec::H264 ? g * 219.0 / 255.0 + 16.0 : g;
        return int(std::lround(top ? (luma - 16.0) / 5.0 : (235.0 - luma) / 5.0));
    };
    const int a = number(image.height() / 4, true);
    const int b = number(image.height() * 3 / 4, false);
    return a == b ? a : -1;
}

QList<QImage> decodeSequentially(const QString& path)
{
    QList<QImage> out;
    av::FormatInput input;
    if (av::openInput(input, path.toUtf8().constData()) < 0)
        return out;
    AVFormatContext* fmt = input.get();
    avformat_find_stream_info(fmt, nullptr);
    const int s = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (s < 0)
        return out;
    const AVCodec* c = avcodec_find_decoder(fmt->streams[s]->codecpar->codec_id);
    const av::CodecContext context = av::makeCodecContext(c);
    const av::Packet packet = av::makePacket();
    const av::Frame frame = av::makeFrame();
    if (!context || !packet || !frame)
        return out;
    AVCodecContext* ctx = context.get();
    avcodec_parameters_to_context(ctx, fmt->streams[s]->codecpar);
    ctx->thread_count = 1;
    avcodec_open2(ctx, c, nullptr);
    AVPacket* pkt = packet.get();
    AVFrame* f = frame.get();
    av::SwsContextPtr sws;
    auto take = [&] {
        while (avcodec_receive_frame(ctx, f) == 0) {
            QImage img(f->width, f->height, QImage::Format_RGB32);
            if (!av::reuseSwsContext(sws, f->width, f->height, AVPixelFormat(f->format), f->width, f->height,
                                     AV_PIX_FMT_RGB32, SWS_BILINEAR))
                return;
            uint8_t* dst[4] = {img.bits(), nullptr, nullptr, nullptr};
            int stride[4] = {int(img.bytesPerLine()), 0, 0, 0};
            sws_scale(sws.get(), f->data, f->linesize, 0, f->height, dst, stride);
            out << img;
            av_frame_unref(f);
        }
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == s) {
            avcodec_send_packet(ctx, pkt);
            take();
        }
        av_packet_unref(pkt);
    }
    avcodec_send_packet(ctx, nullptr);
    take();
    return out;
}

} // namespace tarvex::testclips
