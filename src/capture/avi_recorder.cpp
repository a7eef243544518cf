#include "capture/avi_recorder.h"
#include "capture/av_error.h"
#include "media/av_handles.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <mutex>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace tarvex {

namespace {

const AVCodec* encoderFor(VideoCodec c)
{
    switch (c) {
    case VideoCodec::Mjpeg: return avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    case VideoCodec::Ffv1: return avcodec_find_encoder(AV_CODEC_ID_FFV1);
    case VideoCodec::H264Intra: return avcodec_find_encoder_by_name("libx264");
    case VideoCodec::Uncompressed: return avcodec_find_encoder(AV_CODEC_ID_RAWVIDEO);
    }
    return nullptr;
}

} // namespace

QList<VideoCodec> availableVideoCodecs()
{
    QList<VideoCodec> out;
    for (VideoCodec c : {VideoCodec::Mjpeg, VideoCodec::Ffv1, VideoCodec::H264Intra})
        if (encoderFor(c))
            out << c;
    return out;
}

QString videoCodecName(VideoCodec c)
{
    switch (c) {
    case VideoCodec::Mjpeg: return QStringLiteral("MJPEG");
    case VideoCodec::Ffv1: return QStringLiteral("FFV1");
    case VideoCodec::H264Intra: return QStringLiteral("H.264 (all key frames)");
    case VideoCodec::Uncompressed: return QStringLiteral("None");
    }
    return {};
}

bool videoCodecHasQuality(VideoCodec c) { return c == VideoCodec::Mjpeg || c == VideoCodec::H264Intra; }

struct AviRecorder::Impl {
    av::FormatOutput oc;   // null once finish() has closed the file
    av::CodecContext enc;
    av::Frame frame;
    av::Packet packet;
    av::SwsContextPtr sws;
    AVStream* video = nullptr;
    AVStream* audio = nullptr;
    long lastSlot = -1;
    long long audioSamples = 0;
    bool headerWritten = false;
    std::atomic<bool> failed{false};
    std::mutex mux;   // the video and audio threads share the muxer
    std::atomic<qint64> bytes{0};

    int writePacket(AVPacket* p)
    {
        std::lock_guard lock(mux);
        const int r = av_interleaved_write_frame(oc.get(), p);
        if (oc->pb)
            bytes = avio_tell(oc->pb);
        return r;
    }

    // Sends one frame (or the flush) and writes what comes out.
    bool encode(AVFrame* f, QString& error)
    {
        int r = avcodec_send_frame(enc.get(), f);
        if (r < 0) {
            error = QStringLiteral("The video compressor failed: %1").arg(avError(r));
            return false;
        }
        for (;;) {
            r = avcodec_receive_packet(enc.get(), packet.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return true;
            if (r < 0) {
                error = QStringLiteral("The video compressor failed: %1").arg(avError(r));
                return false;
            }
            packet->stream_index = video->index;
            av_packet_rescale_ts(packet.get(), enc->time_base, video->time_base);
            r = writePacket(packet.get());
            av_packet_unref(packet.get());
            if (r < 0) {
                error = QStringLiteral("Writing the video failed: %1").arg(avError(r));
                return false;
            }
        }
    }
};

AviRecorder::AviRecorder(const RecorderSettings& s) : settings_(s), d(std::make_unique<Impl>()) {}

AviRecorder::~AviRecorder() = default;

std::unique_ptr<AviRecorder> AviRecorder::create(const RecorderSettings& s, QString& error)
{
    std::unique_ptr<AviRecorder> rec(new AviRecorder(s));
    Impl& d = *rec->d;
    const QString shown = QDir::toNativeSeparators(s.path);
    const auto fail = [&](const QString& why) {
        error = QStringLiteral("Cannot record to %1: %2").arg(shown, why);
        const bool opened = d.oc && d.oc->pb;
        rec.reset();
        if (opened)
            QFile::remove(s.path);
        return nullptr;
    };
    if (s.size.width() <= 0 || s.size.height() <= 0 || s.framesPerSecond < 1)
        return fail(QStringLiteral("no picture size or frame rate"));

    const QByteArray path = s.path.toUtf8();
    int r = 0;
    d.oc = av::makeFormatOutput("avi", path.constData(), &r);
    if (!d.oc)
        return fail(avError(r));

    const AVCodec* codec = encoderFor(s.codec);
    if (!codec)
        return fail(QStringLiteral("the compressor %1 is not available").arg(videoCodecName(s.codec)));
    d.enc = av::makeCodecContext(codec);
    if (!d.enc)
        return fail(QStringLiteral("out of memory"));
    AVCodecContext* c = d.enc.get();
    c->width = s.size.width();
    c->height = s.size.height();
    c->time_base = AVRational{1, s.framesPerSecond};
    c->framerate = AVRational{s.framesPerSecond, 1};
    c->gop_size = 1;
    c->max_b_frames = 0;
    if (d.oc->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int quality = std::clamp(s.quality, 1, 100);
    AVPixelFormat srcFormat = AV_PIX_FMT_RGB32;   // QImage::Format_RGB32 in memory, on either endianness
    AVPixelFormat swsTarget = AV_PIX_FMT_NONE;
    switch (s.codec) {
    case VideoCodec::Mjpeg:
        c->pix_fmt = AV_PIX_FMT_YUVJ420P;
        swsTarget = AV_PIX_FMT_YUV420P;   // same planes, full range set below
        c->color_range = AVCOL_RANGE_JPEG;
        c->flags |= AV_CODEC_FLAG_QSCALE;
        c->global_quality = FF_QP2LAMBDA * (2 + (100 - quality) * 29 / 99);
        c->thread_count = 1;
        break;
    case VideoCodec::Ffv1:
        c->pix_fmt = AV_PIX_FMT_0RGB32;
        swsTarget = AV_PIX_FMT_0RGB32;
        c->thread_count = 2;
        av_opt_set_int(c->priv_data, "slices", 4, 0);
        break;
    case VideoCodec::H264Intra:
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        swsTarget = AV_PIX_FMT_YUV420P;
        c->thread_count = 2;
        av_opt_set(c->priv_data, "preset", "veryfast", 0);
        av_opt_set(c->priv_data, "tune", "zerolatency", 0);
        av_opt_set_double(c->priv_data, "crf", 51.0 - quality * 0.4, 0);
        break;
    case VideoCodec::Uncompressed:
        c->pix_fmt = AV_PIX_FMT_BGR24;
        swsTarget = AV_PIX_FMT_BGR24;
        break;
    }
    r = avcodec_open2(c, codec, nullptr);
    if (r < 0)
        return fail(QStringLiteral("the compressor %1 cannot start: %2").arg(videoCodecName(s.codec), avError(r)));

    d.video = avformat_new_stream(d.oc.get(), nullptr);
    if (!d.video)
        return fail(QStringLiteral("out of memory"));
    d.video->time_base = c->time_base;
    d.video->avg_frame_rate = c->framerate;
    d.video->r_frame_rate = c->framerate;
    avcodec_parameters_from_context(d.video->codecpar, c);
    if (s.codec == VideoCodec::Uncompressed)
        d.video->codecpar->codec_tag = 0;   // BI_RGB

    if (s.audio) {
        d.audio = avformat_new_stream(d.oc.get(), nullptr);
        if (!d.audio)
            return fail(QStringLiteral("out of memory"));
        AVCodecParameters* p = d.audio->codecpar;
        p->codec_type = AVMEDIA_TYPE_AUDIO;
        p->codec_id = s.bits == 8 ? AV_CODEC_ID_PCM_U8 : AV_CODEC_ID_PCM_S16LE;
        p->sample_rate = s.sampleRate;
        av_channel_layout_default(&p->ch_layout, s.channels);
        p->bits_per_coded_sample = s.bits;
        p->block_align = s.channels * s.bits / 8;
        p->bit_rate = int64_t(s.sampleRate) * p->block_align * 8;
        d.audio->time_base = AVRational{1, s.sampleRate};
    }

    r = avio_open(&d.oc->pb, path.constData(), AVIO_FLAG_WRITE);
    if (r < 0)
        return fail(avError(r));
    r = avformat_write_header(d.oc.get(), nullptr);
    if (r < 0)
        return fail(avError(r));
    d.headerWritten = true;

    d.frame = av::makeFrame();
    d.packet = av::makePacket();
    if (!d.frame || !d.packet)
        return fail(QStringLiteral("out of memory"));
    d.frame->format = c->pix_fmt;
    d.frame->width = c->width;
    d.frame->height = c->height;
    if (av_frame_get_buffer(d.frame.get(), 0) < 0)
        return fail(QStringLiteral("out of memory"));
    d.sws = av::makeSwsContext(c->width, c->height, srcFormat, c->width, c->height, swsTarget, SWS_POINT);
    if (!d.sws)
        return fail(QStringLiteral("cannot convert the picture for the compressor"));
    if (s.codec == VideoCodec::Mjpeg) {
        int* inv = nullptr; int* tab = nullptr; int srcRange = 0, dstRange = 0, b = 0, ct = 0, sat = 0;
        sws_getColorspaceDetails(d.sws.get(), &inv, &srcRange, &tab, &dstRange, &b, &ct, &sat);
        sws_setColorspaceDetails(d.sws.get(), inv, 1, tab, 1, b, ct, sat);
    }
    d.bytes = avio_tell(d.oc->pb);
    return rec;
}

bool AviRecorder::writeVideo(const QImage& image, long slot, QString& error)
{
    if (d->failed) {
        error = QStringLiteral("The recording has already failed");
        return false;
    }
    if (slot <= d->lastSlot)
        return true;
    QImage img = image;
    if (img.size() != settings_.size)
        img = img.scaled(settings_.size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (img.format() != QImage::Format_RGB32 && img.format() != QImage::Format_ARGB32)
        img = img.convertToFormat(QImage::Format_RGB32);
    if (av_frame_make_writable(d->frame.get()) < 0) {
        error = QStringLiteral("out of memory");
        return false;
    }
    const uint8_t* src[1];
    int stride[1];
    // Rows go in top first for every codec: FFmpeg's AVI muxer declares uncompressed RGB
    // top-down (a negative height), so flipping here would store the picture upside down.
    src[0] = img.constBits();
    stride[0] = int(img.bytesPerLine());
    sws_scale(d->sws.get(), src, stride, 0, img.height(), d->frame->data, d->frame->linesize);
    d->frame->pts = slot;
    d->frame->quality = d->enc->global_quality;
    d->frame->pict_type = AV_PICTURE_TYPE_I;
    if (!d->encode(d->frame.get(), error)) {
        d->failed = true;
        return false;
    }
    d->lastSlot = slot;
    return true;
}

bool AviRecorder::padVideoTo(long slot, QString& error)
{
    if (d->failed || slot <= d->lastSlot || d->lastSlot < 0)
        return true;
    // An empty packet at the last slot; the muxer fills the slots between with empty chunks.
    AVPacket* p = d->packet.get();
    av_packet_unref(p);
    p->stream_index = d->video->index;
    p->pts = p->dts = av_rescale_q(slot, d->enc->time_base, d->video->time_base);
    p->flags = AV_PKT_FLAG_KEY;
    const int r = d->writePacket(p);
    if (r < 0) {
        error = QStringLiteral("Writing the video failed: %1").arg(avError(r));
        d->failed = true;
        return false;
    }
    d->lastSlot = slot;
    return true;
}

bool AviRecorder::writeAudio(const QByteArray& pcm, QString& error)
{
    if (!d->audio || pcm.isEmpty() || d->failed)
        return true;
    const int block = settings_.channels * settings_.bits / 8;
    av::Packet p = av::makePacket();
    if (!p || av_new_packet(p.get(), int(pcm.size())) < 0) {
        error = QStringLiteral("out of memory");
        return false;
    }
    memcpy(p->data, pcm.constData(), size_t(pcm.size()));
    p->stream_index = d->audio->index;
    p->pts = p->dts = d->audioSamples;
    p->duration = pcm.size() / block;
    d->audioSamples += pcm.size() / block;
    const int r = d->writePacket(p.get());
    if (r < 0) {
        error = QStringLiteral("Writing the sound failed: %1").arg(avError(r));
        d->failed = true;
        return false;
    }
    return true;
}

bool AviRecorder::finish(QString& error)
{
    if (!d->oc)
        return true;
    bool ok = true;
    QString why;
    if (!d->failed && !d->encode(nullptr, why)) {
        ok = false;
        error = why;
    }
    if (d->headerWritten) {
        std::lock_guard lock(d->mux);
        const int r = av_write_trailer(d->oc.get());
        if (r < 0 && ok) {
            ok = false;
            error = QStringLiteral("Writing the index failed: %1").arg(avError(r));
        }
    }
    d->oc.reset();
    QString markError;
    if (!markAsCaptureFile(settings_.path, markError) && ok) {
        ok = false;
        error = markError;
    }
    return ok;
}

qint64 AviRecorder::bytesWritten() const { return d->bytes; }

bool markAsCaptureFile(const QString& path, QString& error)
{
    constexpr quint32 kWasCaptureFile = 0x10000;
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) {
        error = QStringLiteral("Cannot open %1: %2").arg(QDir::toNativeSeparators(path), f.errorString());
        return false;
    }
    const auto notAvi = [&] {
        error = QStringLiteral("%1 is not an AVI file with a main header").arg(QDir::toNativeSeparators(path));
        return false;
    };
    QByteArray head = f.read(12);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "AVI ")
        return notAvi();
    // The main header is the first chunk of the 'hdrl' list, but walk the chunks rather than
    // trust a layout: another writer may put a JUNK chunk first.
    const qint64 end = std::min<qint64>(f.size(), 12 + qint64(qFromLittleEndian<quint32>(head.constData() + 4)));
    qint64 pos = 12;
    qint64 listEnd = end;
    while (pos + 8 <= listEnd) {
        f.seek(pos);
        const QByteArray h = f.read(12);
        if (h.size() < 8)
            return notAvi();
        const quint32 size = qFromLittleEndian<quint32>(h.constData() + 4);
        const QByteArray id = h.left(4);
        if (id == "LIST" && h.size() == 12 && h.mid(8, 4) == "hdrl") {
            listEnd = std::min<qint64>(end, pos + 8 + size);
            pos += 12;   // into the list
            continue;
        }
        if (id == "avih" && listEnd != end) {
            if (size < 16)
                return notAvi();
            f.seek(pos + 8 + 12);
            QByteArray flags = f.read(4);
            if (flags.size() != 4)
                return notAvi();
            quint32 v = qFromLittleEndian<quint32>(flags.constData()) | kWasCaptureFile;
            qToLittleEndian(v, flags.data());
            f.seek(pos + 8 + 12);
            if (f.write(flags) != 4 || !f.flush()) {
                error = QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), f.errorString());
                return false;
            }
            return true;
        }
        pos += 8 + size + (size & 1);
    }
    return notAvi();
}

} // namespace tarvex
