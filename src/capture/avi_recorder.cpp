#include "capture/avi_recorder.h"
#include "capture/av_error.h"
#include "common/text_file.h"
#include "media/av_handles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

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

constexpr int kIoBufferBytes = 64 * 1024;

quint32 le32(const char* p) { return qFromLittleEndian<quint32>(p); }

// Where the header holds the frame count, so a file cut short still tells its length.
struct CountFields {
    qint64 mainTotal = -1;   // avih dwTotalFrames
    qint64 videoLength = -1; // dwLength of the first video stream header
    qint64 odmlTotal = -1;   // dmlh dwTotalFrames
};

// Walks the header list of the file libavformat has just started.
CountFields findCountFields(QFile& f)
{
    CountFields out;
    const auto chunkAt = [&](qint64 pos, QByteArray& h) {
        return f.seek(pos) && (h = f.read(12)).size() >= 8;
    };
    QByteArray h;
    qint64 pos = 12;
    qint64 end = f.size();
    bool inHeader = false;
    for (int guard = 0; guard < 64 && pos + 8 <= end && chunkAt(pos, h); ++guard) {
        const QByteArray id = h.left(4);
        const quint32 size = le32(h.constData() + 4);
        if (id == "LIST" && h.size() == 12) {
            const QByteArray type = h.mid(8, 4);
            if (type == "movi")
                break;
            if (type == "hdrl" || type == "strl" || type == "odml") {
                if (type == "hdrl") {
                    inHeader = true;
                    end = std::min<qint64>(end, pos + 8 + size);
                }
                pos += 12;
                continue;
            }
        } else if (inHeader && id == "avih") {
            out.mainTotal = pos + 8 + 16;
        } else if (inHeader && id == "strh" && out.videoLength < 0 && h.size() == 12 && h.mid(8, 4) == "vids") {
            out.videoLength = pos + 8 + 32;
        } else if (inHeader && id == "dmlh") {
            out.odmlTotal = pos + 8;
        }
        pos += 8 + size + (size & 1);
    }
    return out;
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

// --- FrameEncoder ---

namespace {

// QImage::Format_RGB32 to full-range 4:2:0 (JPEG's BT.601) for the MJPEG compressor, in
// fixed point. libswscale has no fast path for it and took longer than the compressor
// itself: at 1080p60 that alone was more than half a core. The loops are kept simple so the
// compiler makes vector code of them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC push_options
#pragma GCC optimize("O3")
#endif
// Plain SSE2 has no 32-bit multiply, and the compiler's stand-in of shifts and adds made these
// two loops a third of a core at 1080p60: where the processor has AVX2, a copy built for it is
// chosen when the program loads. Same arithmetic, same bytes.
// Not under the address sanitizer, whose start-up runs after the loader picks a copy.
#if defined(__x86_64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__)) && !defined(__SANITIZE_ADDRESS__)
#define TARVEX_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define TARVEX_WIDE_VECTORS
#endif
TARVEX_WIDE_VECTORS void lumaRow(const quint32* in, uint8_t* out, int w)
{
    for (int x = 0; x < w; ++x) {
        const quint32 q = in[x];
        out[x] = uint8_t((19595u * ((q >> 16) & 255u) + 38470u * ((q >> 8) & 255u) + 7471u * (q & 255u) + 32768u) >> 16);
    }
}

// The chroma of a 2x2 block is that of its lower pair, as the station's files have always
// had it from libswscale (the contact detector is tuned on them).
TARVEX_WIDE_VECTORS void chromaRow(const quint32* row, uint8_t* u, uint8_t* v, int pairs)
{
    for (int x = 0; x < pairs; ++x) {
        const quint32 a = row[2 * x], b = row[2 * x + 1];
        const int rs = int(((a >> 16) & 255u) + ((b >> 16) & 255u));
        const int gs = int(((a >> 8) & 255u) + ((b >> 8) & 255u));
        const int bs = int((a & 255u) + (b & 255u));
        // Never below 0 (the weights of each sum to zero); a pure blue or red rounds to 256.
        u[x] = uint8_t(std::min(255, (-11059 * rs - 21709 * gs + 32768 * bs + (128 << 17) + (1 << 16)) >> 17));
        v[x] = uint8_t(std::min(255, (32768 * rs - 27439 * gs - 5329 * bs + (128 << 17) + (1 << 16)) >> 17));
    }
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC pop_options
#endif

void rgb32ToYuvj420(const QImage& img, AVFrame* f)
{
    const int w = img.width(), h = img.height();
    for (int y = 0; y < h; y += 2) {
        const int y1 = std::min(y + 1, h - 1);
        const auto* r0 = reinterpret_cast<const quint32*>(img.constScanLine(y));
        const auto* r1 = reinterpret_cast<const quint32*>(img.constScanLine(y1));
        lumaRow(r0, f->data[0] + ptrdiff_t(y) * f->linesize[0], w);
        if (y1 != y)
            lumaRow(r1, f->data[0] + ptrdiff_t(y1) * f->linesize[0], w);
        uint8_t* u = f->data[1] + ptrdiff_t(y / 2) * f->linesize[1];
        uint8_t* v = f->data[2] + ptrdiff_t(y / 2) * f->linesize[2];
        chromaRow(r1, u, v, w / 2);
        if (w % 2) {
            // An odd last column pairs with itself.
            const quint32 pair[2] = {r1[w - 1], r1[w - 1]};
            chromaRow(pair, u + w / 2, v + w / 2, 1);
        }
    }
}

} // namespace

struct FrameEncoder::Impl {
    av::CodecContext enc;
    av::Frame frame;
    av::Packet packet;
    av::SwsContextPtr sws;
};

FrameEncoder::FrameEncoder(const RecorderSettings& s) : settings_(s), d(std::make_unique<Impl>()) {}
FrameEncoder::~FrameEncoder() = default;

bool FrameEncoder::sameOutput(const RecorderSettings& o) const
{
    const RecorderSettings& s = settings_;
    return s.size == o.size && s.framesPerSecond == o.framesPerSecond && s.codec == o.codec
           && (!videoCodecHasQuality(s.codec) || std::clamp(s.quality, 1, 100) == std::clamp(o.quality, 1, 100));
}

std::unique_ptr<FrameEncoder> FrameEncoder::create(const RecorderSettings& s, QString& error)
{
    std::unique_ptr<FrameEncoder> e(new FrameEncoder(s));
    Impl& d = *e->d;
    if (s.size.width() <= 0 || s.size.height() <= 0 || s.framesPerSecond < 1) {
        error = QStringLiteral("no picture size or frame rate");
        return nullptr;
    }
    const AVCodec* codec = encoderFor(s.codec);
    if (!codec) {
        error = QStringLiteral("the compressor %1 is not available").arg(videoCodecName(s.codec));
        return nullptr;
    }
    d.enc = av::makeCodecContext(codec);
    d.frame = av::makeFrame();
    d.packet = av::makePacket();
    if (!d.enc || !d.frame || !d.packet) {
        error = QStringLiteral("out of memory");
        return nullptr;
    }
    AVCodecContext* c = d.enc.get();
    c->width = s.size.width();
    c->height = s.size.height();
    c->time_base = AVRational{1, s.framesPerSecond};
    c->framerate = AVRational{s.framesPerSecond, 1};
    c->gop_size = 1;
    c->max_b_frames = 0;
    if (const AVOutputFormat* avi = av_guess_format("avi", nullptr, nullptr); avi && (avi->flags & AVFMT_GLOBALHEADER))
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int quality = std::clamp(s.quality, 1, 100);
    AVPixelFormat swsTarget = AV_PIX_FMT_NONE;
    switch (s.codec) {
    case VideoCodec::Mjpeg:
        c->pix_fmt = AV_PIX_FMT_YUVJ420P;
        swsTarget = AV_PIX_FMT_YUV420P;   // same planes, full range set below
        c->color_range = AVCOL_RANGE_JPEG;
        c->flags |= AV_CODEC_FLAG_QSCALE;
        c->global_quality = FF_QP2LAMBDA * (2 + (100 - quality) * 29 / 99);
        // The station codes two pictures at once on threads of its own.
        c->thread_count = 1;
        // The standard tables: optimal ones cost a second pass over every picture.
        av_opt_set(c->priv_data, "huffman", "default", 0);
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
    const int r = avcodec_open2(c, codec, nullptr);
    if (r < 0) {
        error = QStringLiteral("the compressor %1 cannot start: %2").arg(videoCodecName(s.codec), avError(r));
        return nullptr;
    }
    d.frame->format = c->pix_fmt;
    d.frame->width = c->width;
    d.frame->height = c->height;
    if (av_frame_get_buffer(d.frame.get(), 0) < 0) {
        error = QStringLiteral("out of memory");
        return nullptr;
    }
    // QImage::Format_RGB32 in memory, on either endianness.
    d.sws = av::makeSwsContext(c->width, c->height, AV_PIX_FMT_RGB32, c->width, c->height, swsTarget, SWS_POINT);
    if (!d.sws) {
        error = QStringLiteral("cannot convert the picture for the compressor");
        return nullptr;
    }
    if (s.codec == VideoCodec::Mjpeg) {
        int* inv = nullptr; int* tab = nullptr; int srcRange = 0, dstRange = 0, b = 0, ct = 0, sat = 0;
        sws_getColorspaceDetails(d.sws.get(), &inv, &srcRange, &tab, &dstRange, &b, &ct, &sat);
        sws_setColorspaceDetails(d.sws.get(), inv, 1, tab, 1, b, ct, sat);
    }
    return e;
}

std::optional<VideoPacket> FrameEncoder::encode(const QImage& image, long slot, QString& error)
{
    QImage img = image;
    if (img.isNull()) {
        error = QStringLiteral("The camera gave no picture");
        return std::nullopt;
    }
    if (img.size() != settings_.size)
        img = img.scaled(settings_.size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (img.format() != QImage::Format_RGB32 && img.format() != QImage::Format_ARGB32)
        img = img.convertToFormat(QImage::Format_RGB32);
    if (av_frame_make_writable(d->frame.get()) < 0) {
        error = QStringLiteral("out of memory");
        return std::nullopt;
    }
    // Rows go in top first for every codec: FFmpeg's AVI muxer declares uncompressed RGB
    // top-down (a negative height), so flipping here would store the picture upside down.
    if (settings_.codec == VideoCodec::Mjpeg) {
        rgb32ToYuvj420(img, d->frame.get());
    } else {
        const uint8_t* src[1] = {img.constBits()};
        const int stride[1] = {int(img.bytesPerLine())};
        sws_scale(d->sws.get(), src, stride, 0, img.height(), d->frame->data, d->frame->linesize);
    }
    d->frame->pts = slot;
    d->frame->quality = d->enc->global_quality;
    d->frame->pict_type = AV_PICTURE_TYPE_I;
    int r = avcodec_send_frame(d->enc.get(), d->frame.get());
    if (r >= 0)
        r = avcodec_receive_packet(d->enc.get(), d->packet.get());
    if (r < 0) {
        error = QStringLiteral("The video compressor failed: %1").arg(avError(r));
        return std::nullopt;
    }
    VideoPacket out;
    out.data = QByteArray(reinterpret_cast<const char*>(d->packet->data), d->packet->size);
    out.slot = slot;
    out.keyFrame = true;
    av_packet_unref(d->packet.get());
    return out;
}

// Durability: libavformat writes into the file through our own I/O (so a path is never taken
// for a protocol and the file is ours to sync), and every packet is handed to the system at
// once, so a crashed station loses only what was still being compressed. After each packet
// the header's frame counts are set to the whole chunks in the file, so a file cut short
// still reads as long as it is and never longer. A sync thread makes the file (data and
// counts together) durable every kSyncInterval against a power cut; it holds the muxer lock
// only for a flush, never for the sync itself, so the compressor is not held up by the disk.
struct AviRecorder::Impl {
    static constexpr std::chrono::milliseconds kSyncInterval{200};

    av::FormatOutput oc;   // null once finish() has closed the file
    QFile file;
    AVIOContext* io = nullptr;
    QString ioError;       // the file's own reason for the last failed write
    std::unique_ptr<FrameEncoder> encoder;   // null when the camera's packets are stored
    AVRational slotBase{1, 30};
    av::Packet packet;
    AVStream* video = nullptr;
    AVStream* audio = nullptr;
    long lastSlot = -1;
    long long audioSamples = 0;
    bool headerWritten = false;
    std::atomic<bool> failed{false};
    std::mutex mux;   // the video and audio threads share the muxer
    std::atomic<qint64> bytes{0};

    // Under mux: the header's count fields and how far the chunks have been counted.
    CountFields counts;
    qint64 scanPos = 0;
    long chunksOnDisk = 0;
    QString failure;       // the first reason the recording failed
    bool kept = true;
    int handle = -1;

    // Marks the recording failed; the first reason is the one told.
    void fail(const QString& why)
    {
        std::lock_guard lock(mux);
        if (failure.isEmpty())
            failure = why;
        failed = true;
    }

    std::thread syncThread;
    std::mutex syncM;
    std::condition_variable syncCv;
    bool stopSync = false;

    static int writeIo(void* opaque, const uint8_t* buf, int size)
    {
        auto* self = static_cast<Impl*>(opaque);
        // A write cut short by a full disk says why only when tried again.
        for (int done = 0; done < size;) {
            const qint64 n = self->file.write(reinterpret_cast<const char*>(buf) + done, size - done);
            if (n <= 0) {
                self->ioError = self->file.errorString();
                return AVERROR(EIO);
            }
            done += int(n);
        }
        return size;
    }

    static int64_t seekIo(void* opaque, int64_t offset, int whence)
    {
        QFile& f = static_cast<Impl*>(opaque)->file;
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return f.size();
        case SEEK_SET: break;
        case SEEK_CUR: offset += f.pos(); break;
        case SEEK_END: offset += f.size(); break;
        default: return AVERROR(EINVAL);
        }
        return f.seek(offset) ? offset : AVERROR(EIO);
    }

    // What failed, in the file's words where it gave some.
    QString why(int r) const { return ioError.isEmpty() ? avError(r) : ioError; }

    bool openIo(const QString& path, QString& error)
    {
        file.setFileName(path);
        if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered)) {
            error = file.errorString();
            return false;
        }
        handle = file.handle();
        auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
        io = buffer ? avio_alloc_context(
                          buffer, kIoBufferBytes, 1, this, nullptr,
                          // FFmpeg 7 made the written bytes const; take either.
                          [](void* o, auto* b, int n) { return writeIo(o, b, n); }, &seekIo) : nullptr;
        if (!io) {
            av_free(buffer);
            error = QStringLiteral("out of memory");
            return false;
        }
        io->seekable = AVIO_SEEKABLE_NORMAL;
        oc->pb = io;
        oc->flush_packets = 1;
        return true;
    }

    // Frees the I/O context (after a final flush) and leaves the file open.
    void closeIo()
    {
        if (!io)
            return;
        avio_flush(io);
        if (oc && oc->pb == io)
            oc->pb = nullptr;
        av_freep(&io->buffer);
        avio_context_free(&io);
    }

    // Counts the video chunks in the file from scanPos on, stepping into the RIFF and LIST
    // headers of OpenDML's later parts. A chunk cut short is not counted.
    void countChunks()
    {
        const qint64 keep = file.pos();
        const qint64 end = file.size();
        while (scanPos + 8 <= end && file.seek(scanPos)) {
            char h[12];
            if (file.read(h, 8) != 8)
                break;
            const QByteArray id(h, 4);
            if (id == "RIFF" || id == "LIST") {
                scanPos += 12;
                continue;
            }
            const qint64 size = le32(h + 4);
            if (scanPos + 8 + size > end)
                break;
            if (id.startsWith("00d"))
                ++chunksOnDisk;
            scanPos += 8 + size + (size & 1);
        }
        file.seek(keep);
    }

    void writeCounts()
    {
        const qint64 keep = file.pos();
        char v[4];
        qToLittleEndian(quint32(chunksOnDisk), v);
        for (qint64 at : {counts.mainTotal, counts.videoLength, counts.odmlTotal})
            if (at >= 0 && (!file.seek(at) || file.write(v, 4) != 4))
                break;
        file.seek(keep);
    }

    // One round of the sync thread. False once the file cannot be written or synced.
    bool syncOnce()
    {
        {
            std::lock_guard lock(mux);
            if (!io)
                return true;
            avio_flush(io);
            if (io->error < 0) {
                if (failure.isEmpty())
                    failure = QStringLiteral("Writing the video failed: %1").arg(why(io->error));
                failed = true;
                return false;
            }
            countChunks();
            writeCounts();
        }
        if (!syncHandleToDisk(handle)) {
            fail(QStringLiteral("The video did not reach the disk"));
            return false;
        }
        return true;
    }

    void syncLoop(const QString& folder)
    {
        bool folderSynced = false;
        auto next = std::chrono::steady_clock::now();
        std::unique_lock lock(syncM);
        for (;;) {
            next += kSyncInterval;
            if (syncCv.wait_until(lock, next, [&] { return stopSync; }))
                return;
            lock.unlock();
            const bool ok = syncOnce();
            // The new file's name is not durable until its folder is.
            if (ok && !folderSynced)
                folderSynced = syncFolder(folder);
            lock.lock();
            if (!ok)
                return;
            next = std::max(next, std::chrono::steady_clock::now() - kSyncInterval / 2);
        }
    }

    void stopSyncThread()
    {
        if (!syncThread.joinable())
            return;
        {
            std::lock_guard lock(syncM);
            stopSync = true;
        }
        syncCv.notify_all();
        syncThread.join();
    }

    // reason: why it failed, taken under the lock the other writer shares.
    int writePacket(AVPacket* p, QString& reason)
    {
        std::lock_guard lock(mux);
        const int r = av_interleaved_write_frame(oc.get(), p);
        if (r < 0)
            reason = why(r);
        if (oc->pb)
            bytes = avio_tell(oc->pb);
        const long before = chunksOnDisk;
        if (r >= 0)
            countChunks();
        if (chunksOnDisk != before)
            writeCounts();
        return r;
    }

    // One packet into the file at its slot; the muxer fills a gap with empty chunks.
    bool store(const QByteArray& data, long slot, bool key, QString& error)
    {
        AVPacket* p = packet.get();
        av_packet_unref(p);
        if (av_new_packet(p, int(data.size())) < 0) {
            error = QStringLiteral("out of memory");
            return false;
        }
        memcpy(p->data, data.constData(), size_t(data.size()));
        p->stream_index = video->index;
        p->pts = p->dts = av_rescale_q(slot, slotBase, video->time_base);
        p->duration = av_rescale_q(1, slotBase, video->time_base);
        p->flags = key ? AV_PKT_FLAG_KEY : 0;
        QString reason;
        const int r = writePacket(p, reason);
        av_packet_unref(p);
        if (r < 0) {
            error = QStringLiteral("Writing the video failed: %1").arg(reason);
            return false;
        }
        return true;
    }
};

AviRecorder::AviRecorder(const RecorderSettings& s) : settings_(s), d(std::make_unique<Impl>()) {}

AviRecorder::~AviRecorder()
{
    d->stopSyncThread();
    d->closeIo();
}

std::unique_ptr<AviRecorder> AviRecorder::create(const RecorderSettings& s, QString& error)
{
    std::unique_ptr<AviRecorder> rec(new AviRecorder(s));
    Impl& d = *rec->d;
    const QString shown = QDir::toNativeSeparators(s.path);
    const auto fail = [&](const QString& why) {
        error = QStringLiteral("Cannot record to %1: %2").arg(shown, why);
        const bool opened = d.file.isOpen();
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

    d.slotBase = AVRational{1, s.framesPerSecond};
    d.video = avformat_new_stream(d.oc.get(), nullptr);
    if (!d.video)
        return fail(QStringLiteral("out of memory"));
    d.video->time_base = d.slotBase;
    d.video->avg_frame_rate = AVRational{s.framesPerSecond, 1};
    d.video->r_frame_rate = d.video->avg_frame_rate;
    if (s.stream) {
        AVCodecParameters* p = d.video->codecpar;
        p->codec_type = AVMEDIA_TYPE_VIDEO;
        p->codec_id = AVCodecID(s.stream->codecId);
        p->width = s.size.width();
        p->height = s.size.height();
        p->codec_tag = 0;   // the muxer's own tag for the codec: MJPG, H264, HEVC
        const QByteArray& extra = s.stream->extradata;
        if (!extra.isEmpty()) {
            p->extradata = static_cast<uint8_t*>(av_mallocz(size_t(extra.size()) + AV_INPUT_BUFFER_PADDING_SIZE));
            if (!p->extradata)
                return fail(QStringLiteral("out of memory"));
            memcpy(p->extradata, extra.constData(), size_t(extra.size()));
            p->extradata_size = int(extra.size());
        }
    } else {
        QString why;
        d.encoder = FrameEncoder::create(s, why);
        if (!d.encoder)
            return fail(why);
        avcodec_parameters_from_context(d.video->codecpar, d.encoder->d->enc.get());
        if (s.codec == VideoCodec::Uncompressed)
            d.video->codecpar->codec_tag = 0;   // BI_RGB
    }

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

    QString ioError;
    if (!d.openIo(s.path, ioError))
        return fail(ioError);
    r = avformat_write_header(d.oc.get(), nullptr);
    if (r >= 0) {
        avio_flush(d.io);
        r = d.io->error;
    }
    if (r < 0)
        return fail(d.why(r));
    d.headerWritten = true;
    d.counts = findCountFields(d.file);
    d.scanPos = d.file.size();   // just inside the 'movi' list
    d.file.seek(d.scanPos);

    d.packet = av::makePacket();
    if (!d.packet)
        return fail(QStringLiteral("out of memory"));
    d.bytes = avio_tell(d.oc->pb);
    d.syncThread = std::thread([&d, folder = QFileInfo(s.path).absolutePath()] { d.syncLoop(folder); });
    return rec;
}

bool AviRecorder::writeVideo(const QImage& image, long slot, QString& error)
{
    if (d->failed) {
        std::lock_guard lock(d->mux);
        error = d->failure.isEmpty() ? QStringLiteral("The recording has already failed") : d->failure;
        return false;
    }
    if (slot <= d->lastSlot)
        return true;
    if (!d->encoder) {
        error = QStringLiteral("This recording stores the camera's own pictures");
        return false;
    }
    const std::optional<VideoPacket> p = d->encoder->encode(image, slot, error);
    if (!p) {
        d->fail(error);
        return false;
    }
    return writePacket(*p, error);
}

bool AviRecorder::writePacket(const VideoPacket& packet, QString& error)
{
    if (d->failed) {
        std::lock_guard lock(d->mux);
        error = d->failure.isEmpty() ? QStringLiteral("The recording has already failed") : d->failure;
        return false;
    }
    if (packet.slot <= d->lastSlot)
        return true;
    if (!d->store(packet.data, packet.slot, packet.keyFrame, error)) {
        d->fail(error);
        return false;
    }
    d->lastSlot = packet.slot;
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
    p->pts = p->dts = av_rescale_q(slot, d->slotBase, d->video->time_base);
    p->flags = AV_PKT_FLAG_KEY;
    QString reason;
    const int r = d->writePacket(p, reason);
    if (r < 0) {
        error = QStringLiteral("Writing the video failed: %1").arg(reason);
        d->fail(error);
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
    QString reason;
    const int r = d->writePacket(p.get(), reason);
    if (r < 0) {
        error = QStringLiteral("Writing the sound failed: %1").arg(reason);
        d->fail(error);
        return false;
    }
    return true;
}

bool AviRecorder::finish(QString& error)
{
    if (!d->oc)
        return true;
    d->stopSyncThread();
    bool ok = true;
    const bool failedBefore = d->failed;
    if (failedBefore && ok) {
        ok = false;
        error = d->failure.isEmpty() ? QStringLiteral("The recording has already failed") : d->failure;
    }
    if (d->headerWritten) {
        std::lock_guard lock(d->mux);
        const int r = av_write_trailer(d->oc.get());
        if (r < 0 && ok) {
            ok = false;
            error = QStringLiteral("Writing the index failed: %1").arg(d->why(r));
        }
        avio_flush(d->io);
        d->countChunks();
        // A trailer the disk refused has not set the counts: the header keeps those of the
        // last sync unless they are set here, within what the file already holds.
        if (r < 0 || d->io->error < 0)
            d->writeCounts();
    }
    d->closeIo();
    d->oc.reset();
    const QString shown = QDir::toNativeSeparators(settings_.path);
    const QString folder = QFileInfo(settings_.path).absolutePath();
    if (d->chunksOnDisk == 0 && !ok) {
        // Nothing of the jump is in it: an empty file would only be mistaken for a recording.
        d->file.close();
        d->file.remove();
        d->kept = false;
        syncFolder(folder);
        error = QStringLiteral("No frame could be written to %1, so no file was kept: %2").arg(shown, error);
        return false;
    }
    QString markError;
    if (!markAsCaptureFile(settings_.path, markError) && ok) {
        ok = false;
        error = markError;
    }
    // The station reports the recording done only after this: the log and the side file
    // that call it measured must not outlive the video in a power cut.
    const bool synced = syncHandleToDisk(d->handle);
    d->file.close();
    if ((!synced || !syncFolder(folder)) && ok) {
        ok = false;
        error = QStringLiteral("The recording %1 did not reach the disk").arg(shown);
    }
    return ok;
}

qint64 AviRecorder::bytesWritten() const { return d->bytes; }

bool AviRecorder::fileKept() const { return d->kept; }

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
