#include "media/video_reader.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "media/av_handles.h"

#include <sys/mman.h>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace tarvex {

namespace {

using SharedFrame = std::shared_ptr<AVFrame>;

// Null when out of memory: the picture is then simply not kept.
SharedFrame shareFrame(const AVFrame* f)
{
    return SharedFrame(av::cloneFrame(f));
}

// One packet of the video stream as the index knows it.
struct PacketInfo {
    int64_t slot = 0;   // position in the stream, empty chunks counted, from 0
    int64_t pos = 0;    // byte position of its chunk
    bool key = false;
    int64_t ts = 0;     // the demuxer's timestamp, what a seek takes
    int size = 0;       // bytes the index promises
    bool cut = false;   // the file ends before its chunk does
};

// Bytes in memory read as a file: each demuxer keeps its own position.
struct MemoryReader {
    std::shared_ptr<const QByteArray> bytes;
    int64_t pos = 0;

    static int read(void* opaque, uint8_t* buf, int size)
    {
        auto* m = static_cast<MemoryReader*>(opaque);
        const int64_t left = m->bytes->size() - m->pos;
        if (left <= 0)
            return AVERROR_EOF;
        const int n = int(std::min<int64_t>(size, left));
        std::memcpy(buf, m->bytes->constData() + m->pos, size_t(n));
        m->pos += n;
        return n;
    }
    static int64_t seek(void* opaque, int64_t offset, int whence)
    {
        auto* m = static_cast<MemoryReader*>(opaque);
        const int64_t size = m->bytes->size();
        int64_t to = 0;
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return size;
        case SEEK_SET: to = offset; break;
        case SEEK_CUR: to = m->pos + offset; break;
        case SEEK_END: to = size + offset; break;
        default: return AVERROR(EINVAL);
        }
        if (to < 0 || to > size)
            return AVERROR(EINVAL);
        m->pos = to;
        return to;
    }
};

enum class DecodeStatus { Ok, Damaged, EndOfStream, Failed };

// The picture memory of readers closed, for the next clip opened: its pages are given back
// lazily (the kernel takes them only when it is short of memory), so the next clip finds them
// mapped in rather than clearing fresh ones, as malloc keeps what it had for the peer's pictures.
struct SpareMappings {
    static constexpr size_t kMaxBytes = size_t(256) << 20;
    std::mutex mutex;
    std::vector<std::pair<void*, size_t>> mappings;
    size_t bytes = 0;

    // Outlives every reader, whichever thread drops the last picture at exit.
    static SpareMappings& instance()
    {
        static auto* spare = new SpareMappings;
        return *spare;
    }
    void put(void* at, size_t length)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (bytes + length > kMaxBytes || madvise(at, length, MADV_FREE) != 0) {
            munmap(at, length);
            return;
        }
        mappings.emplace_back(at, length);
        bytes += length;
    }
    void* take(size_t length)
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto it = mappings.begin(); it != mappings.end(); ++it)
            if (it->second == length) {
                void* at = it->first;
                mappings.erase(it);
                bytes -= length;
                return at;
            }
        return nullptr;
    }
};

// The pictures of long groups, for the decoders of the foreground and the worker alike: the
// cache keeps the very pictures a decoder made, so nothing is copied, and the buffer of a
// picture the cache drops serves the next decode. Each decoder's own pool would instead keep
// every buffer it ever lent until that decoder is gone. Buffers are cut from mappings of a
// few pictures, mapped in whole: faulting a picture's 800 pages in one by one cost more than
// decoding it. (Huge pages cost more here: a fresh one is cleared at once, and on a virtual
// machine that returns freed memory to its host, every one is fresh.)
// Freed when it is closed and the last picture handed out is back.
class PicturePool {
public:
    static PicturePool* create() { return new PicturePool; }

    // A buffer of `size` bytes; null when the pool serves another size or memory is short.
    AVBufferRef* get(size_t size)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (size_ == 0)
            size_ = (size + 63) / 64 * 64;
        if (size > size_)
            return nullptr;
        if (free_.empty() && !grow())
            return nullptr;
        uint8_t* data = free_.back();
        AVBufferRef* buffer = av_buffer_create(data, size_, &PicturePool::release, this, 0);
        if (!buffer)
            return nullptr;
        free_.pop_back();
        ++lent_;
        return buffer;
    }

    bool owns(const AVFrame* f) const { return f->buf[0] && !f->buf[1] && av_buffer_get_opaque(f->buf[0]) == this; }

    void close()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        closed_ = true;
        if (lent_ == 0) {
            lock.unlock();
            delete this;
        }
    }

private:
    PicturePool() = default;
    ~PicturePool()
    {
        for (const auto& [at, length] : mappings_)
            SpareMappings::instance().put(at, length);
    }

    static void release(void* opaque, uint8_t* data)
    {
        auto* pool = static_cast<PicturePool*>(opaque);
        std::unique_lock<std::mutex> lock(pool->mutex_);
        pool->free_.push_back(data);
        if (--pool->lent_ == 0 && pool->closed_) {
            lock.unlock();
            delete pool;
        }
    }

    bool grow()
    {
        constexpr size_t kPictures = 4;
        const size_t length = size_ * kPictures;
        void* mapped = SpareMappings::instance().take(length);
        if (mapped) {
#ifdef MADV_POPULATE_WRITE
            // Pages the kernel took back in the meantime come in at once.
            madvise(mapped, length, MADV_POPULATE_WRITE);
#endif
        } else {
            mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
            if (mapped == MAP_FAILED)
                return false;
        }
        mappings_.emplace_back(mapped, length);
        for (size_t i = kPictures; i-- > 0;)
            free_.push_back(static_cast<uint8_t*>(mapped) + i * size_);
        return true;
    }

    std::mutex mutex_;
    size_t size_ = 0;
    std::vector<uint8_t*> free_;
    std::vector<std::pair<void*, size_t>> mappings_;
    int lent_ = 0;
    bool closed_ = false;
};

// A decoder's pictures from the reader's pool, laid out as FFmpeg's own allocator would
// (aligned dimensions, rows of 64-byte multiples, padding at the end).
int getPoolBuffer(AVCodecContext* ctx, AVFrame* f, int flags)
{
    auto* pool = static_cast<PicturePool*>(ctx->opaque);
    const auto format = AVPixelFormat(f->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (!pool || !desc || (desc->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_PAL)))
        return avcodec_default_get_buffer2(ctx, f, flags);
    int w = f->width;
    int h = f->height;
    int align[AV_NUM_DATA_POINTERS];
    avcodec_align_dimensions2(ctx, &w, &h, align);
    int linesize[4] = {};
    if (av_image_fill_linesizes(linesize, format, w) < 0)
        return avcodec_default_get_buffer2(ctx, f, flags);
    ptrdiff_t rows[4] = {};
    for (int i = 0; i < 4; ++i)
        rows[i] = ptrdiff_t(linesize[i] + 63) / 64 * 64;
    size_t planes[4] = {};
    if (av_image_fill_plane_sizes(planes, format, h, rows) < 0)
        return avcodec_default_get_buffer2(ctx, f, flags);
    const size_t total = planes[0] + planes[1] + planes[2] + planes[3] + 16 + 64;
    AVBufferRef* buffer = pool->get(total);
    if (!buffer)
        return avcodec_default_get_buffer2(ctx, f, flags);
    f->buf[0] = buffer;
    uint8_t* at = buffer->data;
    for (int i = 0; i < 4; ++i) {
        f->data[i] = planes[i] ? at : nullptr;
        f->linesize[i] = planes[i] ? int(rows[i]) : 0;
        at += planes[i];
    }
    f->extended_data = f->data;
    return 0;
}

// A demuxer and a decoder of the same file; the foreground and the worker have one each.
struct Decoder {
    // Declared before the demuxer, which reads through them until it is closed.
    std::unique_ptr<MemoryReader> memory;
    av::IoContext io;
    av::FormatInput fmt;
    av::CodecContext ctx;
    av::Packet pkt;
    av::Frame frm;
    int stream = -1;
    int next = -1;          // index of the next packet to send; -1: position unknown
    bool drained = false;   // the decoder has been flushed at the end of the stream
    // Long groups: the pictures a run from a key frame hands out, counted into places.
    int runGroup = -1;        // the group the run started at; -1: no run
    int runFrom = 0;          // picture index of its key frame
    int runPlace = 0;         // picture index the next picture of the run takes
    bool runStarted = false;  // the key frame has come out
    bool runFresh = false;    // the key frame's place is a guess, proven at the next key frame
    bool runFailed = false;   // the guess was wrong: the run's pictures take no places

    bool valid() const { return next >= 0 && !drained; }
};

} // namespace

struct VideoReader::Impl {
    explicit Impl(int64_t budget) : cacheBudget(budget) {}
    ~Impl()
    {
        stopWorker();
        cache.clear();
        fg = Decoder();
        if (picturePool)
            picturePool->close();
    }

    // ---- set once by open() ----
    QString path;
    std::shared_ptr<const QByteArray> memory;   // the file's bytes when opened from memory
    int decoderThreads = 0;                      // 0: as many as the machine has
    QString error;
    OpenError openError = OpenError::None;
    bool opened = false;
    int width = 0, height = 0;
    FrameRate rate;
    bool intra = false;
    std::vector<PacketInfo> packets;                 // decode order, ascending slot
    std::unordered_map<int64_t, int> packetOfPos;    // chunk position -> packet index
    std::unordered_map<int64_t, int> packetOfSlot;
    int64_t slotCount = 0;                           // the frame count
    int64_t fileBytes = -1;

    // ---- shared with the worker, under mutex ----
    mutable std::mutex mutex;
    std::condition_variable changed;
    // Picture index j is the picture shown j-th; in a clip with B-frames it is the one of
    // packet firstKey + j's group that the decoder hands out in that place, learnt when the
    // group is decoded (-1 before).
    std::vector<int64_t> pictures;     // picture index -> packet slot
    std::vector<int> display;          // display index -> picture index
    std::vector<int64_t> displaySlot;  // display index -> the slot it stands for
    std::unordered_set<int64_t> damagedSlots;          // packets cut short or decoded with errors
    std::unordered_map<int64_t, int> displayOfSlot;   // packet slot -> first display index
    std::vector<int> firstDisplay;     // picture index -> first display index
    // Groups of a clip with B-frames: each starts at a key frame and holds the pictures
    // of its own packets, so its places are known before its order is.
    int firstKey = 0;                  // packets before the first key frame show nothing
    std::vector<int> keys;             // packet index of each group's key frame
    std::vector<char> learned;         // the group's order is known
    bool openGroups = false;           // found in the clip: runs start where the order is known
    std::map<int64_t, SharedFrame> cache;              // packet slot -> decoded picture
    int64_t cacheBudget;
    int64_t cacheUsed = 0;
    bool readAhead = true;
    int current = 0;                                   // display index last asked for
    int direction = 1;                                 // of the last step: +1 forward, -1 back
    // The worker decodes a whole group (long groups), or packets first..last one by one
    // (intra-only), the operator's direction of travel first.
    struct Job {
        int group = -1;
        int first = -1;
        int last = -1;
        bool operator==(const Job&) const = default;
    };
    std::optional<Job> pendingJob;
    std::optional<Job> runningJob;
    bool dropRunning = false;                          // the running job is no longer wanted
    PicturePool* picturePool = nullptr;                // long groups' pictures, while open
    bool stopping = false;
    std::thread worker;

    Decoder fg;
    av::SwsContextPtr toDisplay;
    av::SwsContextPtr toBitmap;

    // ------------------------------------------------------------------ opening
    static bool headerSuffices(const AVFormatContext* fmt)
    {
        if (!QByteArray(fmt->iformat->name).contains("avi"))
            return false;
        for (unsigned i = 0; i < fmt->nb_streams; ++i) {
            const AVCodecParameters* par = fmt->streams[i]->codecpar;
            if (par->codec_type == AVMEDIA_TYPE_VIDEO)
                return par->codec_id != AV_CODEC_ID_NONE && par->width > 0 && par->height > 0;
        }
        return false;
    }

    // FFmpeg's code: 0 or more when open.
    int openInput(Decoder& dec)
    {
        if (!memory) {
            // "file:" keeps a name holding ':' a file, not an address of some protocol.
            const QByteArray url = QByteArrayLiteral("file:") + path.toUtf8();
            return av::openInput(dec.fmt, url.constData());
        }
        constexpr int kBufferBytes = 64 * 1024;
        dec.memory = std::make_unique<MemoryReader>(MemoryReader{memory, 0});
        dec.io = av::makeIoContext(kBufferBytes, dec.memory.get(), &MemoryReader::read, &MemoryReader::seek);
        dec.fmt = av::makeFormatInput();
        if (!dec.io || !dec.fmt)
            return AVERROR(ENOMEM);
        dec.fmt->pb = dec.io.get();
        const QByteArray name = path.toUtf8();
        return av::openInput(dec.fmt, name.constData());
    }

    static QString avErrorText(int code)
    {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(code, text, sizeof text);
        return QString::fromUtf8(text);
    }

    // Names the codec, or the stream's four-character code when FFmpeg knows no codec by it.
    QString noDecoderText(const AVCodecParameters* par) const
    {
        if (par->codec_id == AV_CODEC_ID_NONE) {
            char tag[AV_FOURCC_MAX_STRING_SIZE] = {};
            av_fourcc_make_string(tag, par->codec_tag);
            return QStringLiteral("No decoder for the video stream of %1: its codec %2 is unknown")
                .arg(path, QString::fromLatin1(tag));
        }
        return QStringLiteral("No decoder for the %1 video stream of %2")
            .arg(QString::fromLatin1(avcodec_get_name(par->codec_id)), path);
    }

    // Frame threads keep every core busy on a long run but hand pictures out late and
    // restart on every flush; intra-only pictures are decoded one at a time, with slice
    // threads only.
    bool openCodec(Decoder& dec, QString& problem, bool primary, bool frameThreads)
    {
        const AVCodecParameters* par = dec.fmt->streams[dec.stream]->codecpar;
        const AVCodec* c = avcodec_find_decoder(par->codec_id);
        dec.ctx = c ? av::makeCodecContext(c) : av::CodecContext();
        if (!dec.ctx || avcodec_parameters_to_context(dec.ctx.get(), par) < 0) {
            if (primary)
                openError = OpenError::NoDecoder;
            problem = noDecoderText(par);
            return false;
        }
        dec.ctx->thread_count = decoderThreads > 0 ? decoderThreads : std::max(1, QThread::idealThreadCount());
        if (!frameThreads)
            dec.ctx->thread_type = FF_THREAD_SLICE;
        if (frameThreads && (c->capabilities & AV_CODEC_CAP_DR1)) {
            if (!picturePool)
                picturePool = PicturePool::create();
            dec.ctx->opaque = picturePool;
            dec.ctx->get_buffer2 = &getPoolBuffer;
#if FF_API_THREAD_SAFE_CALLBACKS
            // The pool takes its lock; this FFmpeg still wants to be told.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
            dec.ctx->thread_safe_callbacks = 1;
#pragma GCC diagnostic pop
#endif
        }
        // No camera sends more than 8K; a header claiming more would cost gigabytes a frame.
        dec.ctx->max_pixels = int64_t(7680) * 4320;
        if (avcodec_open2(dec.ctx.get(), c, nullptr) < 0) {
            if (primary)
                openError = OpenError::NoDecoder;
            problem = noDecoderText(par);
            return false;
        }
        return true;
    }

    // `primary`: the foreground's decoder, which also records what the file holds.
    bool openDecoder(Decoder& dec, QString& problem, bool primary)
    {
        if (const int ret = openInput(dec); ret < 0) {
            if (ret == AVERROR_INVALIDDATA)
                problem = QStringLiteral("%1 is not an AVI file nor any other video file").arg(path);
            else
                problem = QStringLiteral("The file cannot be opened as a video: %1 (%2)").arg(path, avErrorText(ret));
            return false;
        }
        // An AVI header already names the codec and the picture size; probing the streams
        // would decode frames only to learn what the first decode tells anyway, and costs
        // a B-frame clip most of its time to the first picture.
        if (!headerSuffices(dec.fmt.get()) && avformat_find_stream_info(dec.fmt.get(), nullptr) < 0) {
            problem = QStringLiteral("The file's streams cannot be read: %1").arg(path);
            return false;
        }
        dec.stream = av_find_best_stream(dec.fmt.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (dec.stream < 0) {
            problem = QStringLiteral("The file holds no video stream: %1").arg(path);
            return false;
        }
        for (unsigned i = 0; i < dec.fmt->nb_streams; ++i)
            if (int(i) != dec.stream)
                dec.fmt->streams[i]->discard = AVDISCARD_ALL;
        const AVCodecDescriptor* desc = avcodec_descriptor_get(dec.fmt->streams[dec.stream]->codecpar->codec_id);
        const bool intraCodec = desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY);
        if (!openCodec(dec, problem, primary, !intra && !intraCodec))
            return false;
        dec.pkt = av::makePacket();
        dec.frm = av::makeFrame();
        if (!dec.pkt || !dec.frm) {
            problem = QStringLiteral("Not enough memory to read %1").arg(path);
            return false;
        }
        return true;
    }

    void buildIndex()
    {
        AVStream* st = fg.fmt->streams[fg.stream];
        const int entries = avformat_index_get_entries_count(st);
        const bool counted = QByteArray(fg.fmt->iformat->name).contains("avi");
        int64_t chunks = 0;   // every chunk of the stream, empty ones included
        if (entries > 0) {
            for (int i = 0; i < entries; ++i) {
                const AVIndexEntry* e = avformat_index_get_entry(st, i);
                ++chunks;
                if (e->size <= 0)
                    continue;   // an empty chunk: its slot stays a gap
                const bool cut = fileBytes >= 0 && e->pos + e->size > fileBytes;
                packets.push_back({e->timestamp, e->pos, (e->flags & AVINDEX_KEYFRAME) != 0, e->timestamp,
                                   e->size, cut});
            }
        } else {
            // No index in the file: read every packet once.
            int64_t counter = 0;
            while (av_read_frame(fg.fmt.get(), fg.pkt.get()) >= 0) {
                if (fg.pkt->stream_index == fg.stream) {
                    const int64_t slot = counted && fg.pkt->dts != AV_NOPTS_VALUE ? fg.pkt->dts : counter;
                    ++chunks;
                    if (fg.pkt->size > 0)
                        packets.push_back({slot, fg.pkt->pos, (fg.pkt->flags & AV_PKT_FLAG_KEY) != 0, slot,
                                           fg.pkt->size, (fg.pkt->flags & AV_PKT_FLAG_CORRUPT) != 0});
                    counter = slot + 1;
                }
                av_packet_unref(fg.pkt.get());
            }
        }
        std::stable_sort(packets.begin(), packets.end(),
                         [](const PacketInfo& a, const PacketInfo& b) { return a.ts < b.ts; });
        packets.erase(std::unique(packets.begin(), packets.end(),
                                  [](const PacketInfo& a, const PacketInfo& b) { return a.ts == b.ts; }),
                      packets.end());
        const std::optional<int64_t> first = numberSlots(chunks);
        for (int i = 0; i < int(packets.size()); ++i) {
            packetOfPos[packets[i].pos] = i;
            packetOfSlot[packets[i].slot] = i;
            if (packets[i].cut)
                damagedSlots.insert(packets[i].slot);
        }
        // The clip ends with its last picture: the stream header's length cannot tell empty
        // chunks at the very end from a recording cut short, which has no frames to show.
        slotCount = packets.empty() ? 0 : packets.back().slot + 1;
        if (entries > 0 && first)
            for (int64_t entry : repeatedIndexEntries())
                if (entry - *first >= 0 && entry - *first < slotCount)
                    damagedSlots.insert(entry - *first);
    }

    // The file's bytes from `at`, as many as it holds of `size`.
    QByteArray bytesAt(QFile& file, int64_t at, int64_t size) const
    {
        if (memory)
            return at >= 0 && at < memory->size() ? memory->mid(qsizetype(at), qsizetype(size)) : QByteArray();
        return file.seek(at) ? file.read(size) : QByteArray();
    }

    // The video entries of the AVI index (idx1) that name a chunk an earlier entry names
    // too, counted from the stream's first entry. FFmpeg keeps the first of them and leaves
    // the later one's slot empty, where it would pass for a dropped frame.
    std::vector<int64_t> repeatedIndexEntries() const
    {
        std::vector<int64_t> repeated;
        QFile file(path);
        if (!memory && !file.open(QIODevice::ReadOnly))
            return repeated;
        const int64_t size = memory ? memory->size() : file.size();
        const auto le32 = [](const char* b) { return qFromLittleEndian<quint32>(b); };
        // The top-level chunks after the RIFF header; each holds 8 bytes at least, so the
        // walk is bounded by the file.
        for (int64_t at = 12; at + 8 <= size;) {
            const QByteArray head = bytesAt(file, at, 8);
            if (head.size() < 8)
                break;
            const int64_t length = le32(head.constData() + 4);
            if (head.startsWith("idx1")) {
                const QByteArray index = bytesAt(file, at + 8, std::min(length, size - at - 8));
                const char digits[3] = {char('0' + fg.stream / 10), char('0' + fg.stream % 10), 0};
                std::unordered_set<quint32> named;
                int64_t entry = 0;
                for (qsizetype e = 0; e + 16 <= index.size(); e += 16) {
                    const char* b = index.constData() + e;
                    if (b[0] != digits[0] || b[1] != digits[1] || b[2] != 'd')
                        continue;
                    if (le32(b + 12) > 0 && !named.insert(le32(b + 8)).second)
                        repeated.push_back(entry);
                    ++entry;
                }
                break;
            }
            at += 8 + length + (length & 1);
        }
        return repeated;
    }

    // Slots count chunks from the first. The demuxer's timestamps do so too, from the start
    // and in the unit a stream header states; a header can state anything, so timestamps
    // that span more slots than the file could hold chunks (each takes 8 bytes at least,
    // empty ones too) are not believed and the packets are simply numbered in order. What
    // the reader holds then grows with the file, never with a header.
    // The first timestamp, when the timestamps are believed.
    std::optional<int64_t> numberSlots(int64_t chunks)
    {
        if (packets.empty())
            return std::nullopt;
        const int64_t room = std::max(chunks, fileBytes / 8);
        const int64_t first = packets.front().ts;
        // Sorted, so with a first timestamp of 0 or more the span cannot overflow.
        const bool believed = first >= 0 && packets.back().ts - first < room;
        for (size_t i = 0; i < packets.size(); ++i)
            packets[i].slot = believed ? packets[i].ts - first : int64_t(i);
        return believed ? std::optional<int64_t>(first) : std::nullopt;
    }

    // Display index -> picture index: a slot whose packet gives a picture shows it; any
    // other slot (an empty chunk, a packet that decodes to nothing) repeats the one before.
    // Slots before the first picture (a clip cut in the middle of a group) are not frames
    // at all: a sequential decode never shows them.
    void buildDisplay(const std::vector<char>& produces)
    {
        display.clear();
        displaySlot.clear();
        displayOfSlot.clear();
        int c = 0;
        for (int64_t s = 0; s < slotCount; ++s) {
            if (!produces[size_t(s)] && c == 0)
                continue;
            display.push_back(produces[size_t(s)] ? c++ : c - 1);
            displaySlot.push_back(s);
        }
        for (int k = int(display.size()) - 1; k >= 0; --k) {
            const size_t j = size_t(display[size_t(k)]);
            if (j < pictures.size())
                displayOfSlot[pictures[j]] = k;
        }
    }

    void provisionalOrder()
    {
        std::vector<char> produces(size_t(slotCount), 0);
        pictures.clear();
        keys.clear();
        firstKey = 0;
        if (!intra) {
            // A clip cut in the middle of a group: the decoder shows nothing before the
            // first key frame, so its frames start there.
            while (firstKey < int(packets.size()) && !packets[size_t(firstKey)].key)
                ++firstKey;
            if (firstKey == int(packets.size()))
                firstKey = 0;
            for (int i = firstKey; i < int(packets.size()); ++i)
                if (i == firstKey || packets[size_t(i)].key)
                    keys.push_back(i);
            learned.assign(keys.size(), 0);
            pictures.assign(packets.size() - size_t(firstKey), -1);
        }
        for (int i = firstKey; i < int(packets.size()); ++i) {
            produces[size_t(packets[size_t(i)].slot)] = 1;
            if (intra)
                pictures.push_back(packets[size_t(i)].slot);
        }
        buildDisplay(produces);
        firstDisplay.assign(pictures.size(), -1);
        for (int k = int(display.size()) - 1; k >= 0; --k)
            if (size_t(display[size_t(k)]) < firstDisplay.size())
                firstDisplay[size_t(display[size_t(k)])] = k;
    }

    // --------------------------------------------------------------- decoding
    // Reads the next packet of the video stream with its index; -1 at the end.
    int readPacket(Decoder& dec)
    {
        for (;;) {
            av_packet_unref(dec.pkt.get());
            if (av_read_frame(dec.fmt.get(), dec.pkt.get()) < 0)
                return -1;
            if (dec.pkt->stream_index != dec.stream || dec.pkt->size <= 0)
                continue;
            // The index names a chunk by its header, a packet by its data, 8 bytes on.
            auto it = packetOfPos.find(dec.pkt->pos - 8);
            if (it == packetOfPos.end())
                it = packetOfPos.find(dec.pkt->pos);
            if (it == packetOfPos.end())
                continue;
            if (it->second < dec.next)
                continue;   // the seek landed before the packet asked for
            // Cut by the end of the file, or not the chunk the index promised there.
            const PacketInfo& p = packets[size_t(it->second)];
            if ((dec.pkt->flags & AV_PKT_FLAG_CORRUPT) || dec.pkt->size != p.size)
                markDamaged(p.slot);
            return it->second;
        }
    }

    // The one send/receive loop: sends a packet (null = drain) and hands every frame out.
    // A packet the decoder refuses, or a picture it reports as concealed or corrupt, marks
    // its slot damaged.
    DecodeStatus decode(Decoder& dec, AVPacket* pkt, const std::function<void(const AVFrame*)>& onFrame)
    {
        int ret = avcodec_send_packet(dec.ctx.get(), pkt);
        const bool damaged = ret < 0 && ret != AVERROR(EAGAIN) && ret != AVERROR_EOF;
        // Frame threads report a packet's error with a later one, so only a decoder without
        // them names the packet; with them a packet that gives no picture is found by its
        // caller.
        const bool blames = pkt && !(dec.ctx->active_thread_type & FF_THREAD_FRAME);
        if (damaged && blames)
            markDamaged(pkt->pts);
        for (;;) {
            ret = avcodec_receive_frame(dec.ctx.get(), dec.frm.get());
            if (ret == AVERROR(EAGAIN))
                return damaged ? DecodeStatus::Damaged : DecodeStatus::Ok;
            if (ret == AVERROR_EOF)
                return DecodeStatus::EndOfStream;
            if (ret < 0) {
                if (blames)
                    markDamaged(pkt->pts);
                return DecodeStatus::Damaged;
            }
            const AVFrame* f = dec.frm.get();
            if ((f->flags & AV_FRAME_FLAG_CORRUPT) || f->decode_error_flags)
                markDamaged(f->pts);
            onFrame(dec.frm.get());
            av_frame_unref(dec.frm.get());
        }
    }

    void markDamaged(int64_t slot)
    {
        std::lock_guard<std::mutex> lock(mutex);
        damagedSlots.insert(slot);
    }

    // Frame n stands for a damaged packet, or repeats the picture of one.
    bool damagedLocked(int n, int64_t pictureSlot) const
    {
        return damagedSlots.count(displaySlot[size_t(n)]) > 0 || damagedSlots.count(pictureSlot) > 0;
    }

    // Intra-only pictures need nothing before them, so the decoder is not flushed: its
    // threads stay up and a step back costs what a step forward does. A drained decoder
    // takes nothing more until flushed.
    void seek(Decoder& dec, int packetIndex)
    {
        if (!intra || dec.drained)
            avcodec_flush_buffers(dec.ctx.get());
        // We pick the packet ourselves (a key frame, or the first packet of a clip that
        // starts mid-group), so the demuxer may land on any packet.
        av_seek_frame(dec.fmt.get(), dec.stream, packets[size_t(packetIndex)].ts,
                      AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
        dec.next = packetIndex;
        dec.drained = false;
    }

    // Sends the next packet (or drains at the end); false when nothing more comes.
    bool advance(Decoder& dec, const std::function<void(const AVFrame*)>& onFrame)
    {
        if (dec.drained)
            return false;
        const int idx = readPacket(dec);
        if (idx < 0) {
            decode(dec, nullptr, onFrame);
            dec.drained = true;
            return true;
        }
        dec.next = idx + 1;
        if (dec.runFresh && dec.runGroup >= 0 && idx == keys[size_t(dec.runGroup)] && closesGroup(dec)) {
            std::lock_guard<std::mutex> lock(mutex);
            dec.runFresh = false;
        }
        dec.pkt->pts = packets[size_t(idx)].slot;
        dec.pkt->dts = AV_NOPTS_VALUE;
        decode(dec, dec.pkt.get(), onFrame);
        return true;
    }

    // ------------------------------------------------------------- long groups
    int groupOfPacket(int packet) const
    {
        const auto it = std::upper_bound(keys.begin(), keys.end(), packet);
        return it == keys.begin() ? 0 : int(it - keys.begin()) - 1;
    }
    int groupOfPicture(int j) const { return groupOfPacket(firstKey + j); }
    int groupBegin(int g) const { return keys[size_t(g)] - firstKey; }
    int groupEnd(int g) const
    {
        return (size_t(g) + 1 < keys.size() ? keys[size_t(g) + 1] : int(packets.size())) - firstKey;
    }
    // Open groups (leading pictures that need the group before) leave a group's first
    // place unknown, so such a clip is decoded from its start; its order, once learnt, stays.
    int startGroup(int g) const
    {
        if (!openGroups)
            return g;
        for (int h = g; h > 0; --h)
            if (learned[size_t(h - 1)])
                return h;
        return 0;
    }

    // An H.264 key frame that is an IDR picture closes the group before: nothing after it
    // refers back, so its group's first place is its own and a run from it needs no proof.
    static bool closesGroup(const Decoder& dec)
    {
        if (dec.ctx->codec_id != AV_CODEC_ID_H264)
            return false;
        const uint8_t* b = dec.pkt->data;
        const int size = dec.pkt->size;
        const uint8_t* extra = dec.ctx->extradata;
        if (extra && dec.ctx->extradata_size > 4 && extra[0] == 1) {
            // Length-prefixed units (avcC).
            const int lengthBytes = (extra[4] & 3) + 1;
            for (int at = 0; at + lengthBytes < size;) {
                int64_t length = 0;
                for (int i = 0; i < lengthBytes; ++i)
                    length = (length << 8) | b[at + i];
                at += lengthBytes;
                if (length <= 0 || at + length > size)
                    return false;
                if ((b[at] & 0x1f) == 5)
                    return true;
                at += int(length);
            }
            return false;
        }
        for (int i = 0; i + 3 < size; ++i)
            if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && (b[i + 3] & 0x1f) == 5)
                return true;
        return false;
    }

    // A run from group g's key frame; its pictures take places from the key frame's on.
    void seekGroup(Decoder& dec, int g)
    {
        seek(dec, keys[size_t(g)]);
        dec.runGroup = g;
        dec.runFrom = groupBegin(g);
        dec.runPlace = dec.runFrom;
        dec.runStarted = false;
        dec.runFailed = false;
        // In a clip of closed groups the key frame shows first; checked at the next one.
        dec.runFresh = !(g == 0 || learned[size_t(g - 1)]);
    }

    void placeLocked(int j, int64_t slot)
    {
        if (pictures[size_t(j)] >= 0 && pictures[size_t(j)] != slot)
            displayOfSlot.erase(pictures[size_t(j)]);
        pictures[size_t(j)] = slot;
        displayOfSlot[slot] = firstDisplay[size_t(j)];
    }

    // The run's pictures so far were placed on a guess that proved wrong.
    void failRunLocked(Decoder& dec)
    {
        openGroups = true;
        dec.runFailed = true;
        for (int j = dec.runFrom; j < dec.runPlace; ++j)
            if (!learned[size_t(groupOfPicture(j))]) {
                if (pictures[size_t(j)] >= 0)
                    displayOfSlot.erase(pictures[size_t(j)]);
                pictures[size_t(j)] = -1;
            }
        changed.notify_all();
    }

    void learnLocked(int fromGroup, int toGroup)
    {
        for (int h = std::max(0, fromGroup); h < toGroup && size_t(h) < learned.size(); ++h)
            learned[size_t(h)] = 1;
        changed.notify_all();
    }

    // A picture of a run takes the next place. Returns the picture index it took, -1 when
    // it takes none: a leading picture before the run's key frame shows (it needs the group
    // before), or any picture once the run's guess failed.
    int placeRunPictureLocked(Decoder& dec, const AVFrame* f)
    {
        const auto it = packetOfSlot.find(f->pts);
        if (dec.runFailed || it == packetOfSlot.end() || it->second < firstKey || dec.runGroup < 0)
            return -1;
        const int k = it->second;
        if (!dec.runStarted) {
            if (k != keys[size_t(dec.runGroup)]) {
                if (dec.runFresh)
                    failRunLocked(dec);
                return -1;
            }
            dec.runStarted = true;
        }
        const int j = dec.runPlace;
        if (size_t(j) >= pictures.size())
            return -1;
        if (packets[size_t(k)].key && k != keys[size_t(dec.runGroup)]) {
            const int h = groupOfPacket(k);
            if (dec.runFresh && j != groupBegin(h)) {
                failRunLocked(dec);
                return -1;
            }
            dec.runFresh = false;
            learnLocked(groupOfPicture(dec.runFrom), h);
        }
        // A guess never overwrites what a proven run placed; where they differ the guess is wrong.
        if (dec.runFresh && pictures[size_t(j)] >= 0 && pictures[size_t(j)] != f->pts) {
            failRunLocked(dec);
            return -1;
        }
        ++dec.runPlace;
        placeLocked(j, f->pts);
        insertLocked(f->pts, f);
        return j;
    }

    // The run reached the end of the clip: a place left over belongs to a packet that gave
    // no picture (cut or damaged); it repeats the picture before and the packet is damaged.
    void finishRunLocked(Decoder& dec)
    {
        if (dec.runFailed || !dec.runStarted || dec.runGroup < 0)
            return;
        const int total = int(pictures.size());
        // Short from a key frame whose place was a guess: an open group's leading pictures
        // may be what is missing, so the run before it decides.
        if (dec.runPlace < total && dec.runFresh && groupOfPicture(dec.runFrom) > 0) {
            failRunLocked(dec);
            return;
        }
        if (dec.runPlace < total) {
            std::unordered_set<int64_t> shown;
            for (int j = dec.runFrom; j < dec.runPlace; ++j)
                shown.insert(pictures[size_t(j)]);
            for (int k = firstKey + dec.runFrom; k < int(packets.size()); ++k)
                if (!shown.count(packets[size_t(k)].slot))
                    damagedSlots.insert(packets[size_t(k)].slot);
            for (int j = std::max(dec.runPlace, 1); j < total; ++j)
                pictures[size_t(j)] = pictures[size_t(j - 1)];
        }
        learnLocked(groupOfPicture(dec.runFrom), int(keys.size()));
        dec.runGroup = -1;
    }

    // The place of picture j is final: its group is learnt, or a run whose start is
    // proven placed it.
    bool placedLocked(const Decoder& dec, int j) const
    {
        if (learned[size_t(groupOfPicture(j))])
            return true;
        return dec.runGroup >= 0 && !dec.runFresh && !dec.runFailed && j >= dec.runFrom && j < dec.runPlace;
    }

    // ------------------------------------------------------------------ cache
    int displayOf(int64_t slot) const
    {
        auto it = displayOfSlot.find(slot);
        return it == displayOfSlot.end() ? -1 : it->second;
    }

    int64_t frameBytes(const AVFrame* f) const
    {
        const int b = av_image_get_buffer_size(AVPixelFormat(f->format), f->width, f->height, 1);
        return b > 0 ? b : int64_t(f->width) * f->height * 4;
    }

    int64_t pictureBytes() const { return std::max<int64_t>(1, int64_t(width) * height * 3 / 2); }

    // Intra-only: a step is one decode anyway, so only the pictures read ahead are kept.
    int64_t budget() const
    {
        if (!intra)
            return cacheBudget;
        const int64_t few = int64_t(width) * height * 4 * (kReadAhead * 2 + 4);
        return std::min(cacheBudget, few);
    }
    static constexpr int kReadAhead = 3;

    void insertLocked(int64_t slot, const AVFrame* f)
    {
        if (cache.count(slot))
            return;
        SharedFrame s(shareFrame(f));
        if (!s)
            return;
        cacheUsed += frameBytes(s.get());
        cache.emplace(slot, std::move(s));
        trimLocked();
        changed.notify_all();
    }

    // Drops the pictures farthest from the one on screen until the cache fits its bound.
    // Beyond the next two either way, pictures behind the walk go first, so a backward walk
    // keeps the group before that the worker decoded for it.
    void trimLocked()
    {
        const int64_t limit = budget();
        while (cacheUsed > limit && !cache.empty()) {
            auto worst = cache.begin();
            int worstDistance = -1;
            for (auto it = cache.begin(); it != cache.end(); ++it) {
                const int d = displayOf(it->first);
                const int offset = d - current;
                const int far = std::abs(offset);
                const int distance = d < 0 ? INT32_MAX : far > 2 && offset * direction < 0 ? (1 << 30) + far : far;
                if (distance > worstDistance) {
                    worstDistance = distance;
                    worst = it;
                }
            }
            cacheUsed -= frameBytes(worst->second.get());
            cache.erase(worst);
        }
    }

    SharedFrame cachedLocked(int64_t slot) const
    {
        if (slot < 0)
            return nullptr;
        auto it = cache.find(slot);
        return it == cache.end() ? nullptr : it->second;
    }

    bool groupCachedLocked(int g) const
    {
        if (!learned[size_t(g)])
            return false;
        for (int j = groupBegin(g); j < groupEnd(g); ++j)
            if (!cache.count(pictures[size_t(j)]))
                return false;
        return true;
    }

    // ----------------------------------------------------------------- worker
    void startWorker()
    {
        if (!worker.joinable())
            worker = std::thread([this] { workerLoop(); });
    }

    void stopWorker()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
            pendingJob.reset();
        }
        changed.notify_all();
        if (worker.joinable())
            worker.join();
    }

    bool jobCancelled(const Job& job)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return stopping || dropRunning || (pendingJob && !(*pendingJob == job));
    }

    void workerLoop()
    {
        Decoder dec;
        bool ready = false;
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stopping || pendingJob; });
                if (stopping)
                    return;
                job = *pendingJob;
                pendingJob.reset();
                runningJob = job;
                dropRunning = false;
            }
            // The second demuxer and decoder only once the operator steps.
            QString problem;
            if (!ready)
                ready = openDecoder(dec, problem, false);
            if (ready)
                runJob(dec, job);
            // A long group's decoder holds a picture buffer per reference; between the
            // operator's rests it would only hold memory.
            if (ready && job.group >= 0) {
                dec = Decoder();
                ready = false;
            }
            std::lock_guard<std::mutex> lock(mutex);
            runningJob.reset();
            changed.notify_all();
        }
    }

    void runJob(Decoder& dec, const Job& job)
    {
        if (job.group >= 0) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                seekGroup(dec, startGroup(job.group));
            }
            auto onFrame = [&](const AVFrame* f) {
                std::lock_guard<std::mutex> lock(mutex);
                placeRunPictureLocked(dec, f);
            };
            while (!jobCancelled(job)) {
                const bool more = advance(dec, onFrame);
                std::lock_guard<std::mutex> lock(mutex);
                if (dec.drained)
                    finishRunLocked(dec);
                if (!more || dec.runFailed || dec.runPlace >= groupEnd(job.group))
                    break;
            }
            dec.next = -1;
            return;
        }
        const int step = job.last >= job.first ? 1 : -1;
        for (int k = job.first; !jobCancelled(job); k += step) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (cache.count(packets[size_t(k)].slot) == 0) {
                    // fall through to decode
                } else if (k == job.last) {
                    break;
                } else {
                    continue;
                }
            }
            decodeIntra(dec, k);
            if (k == job.last)
                break;
        }
    }

    // After a frame is shown: ask the worker for what the operator reaches next.
    void planReadAheadLocked(int n)
    {
        if (display.empty())
            return;
        std::optional<Job> job;
        if (intra && readAhead) {
            const int from = n + direction;
            const int to = std::clamp(n + direction * kReadAhead, 0, int(display.size()) - 1);
            if (from < 0 || from >= int(display.size()))
                return;
            const int a = firstKey + display[size_t(from)];
            const int b = firstKey + display[size_t(to)];
            bool missing = false;
            for (int k = std::min(a, b); k <= std::max(a, b); ++k)
                missing = missing || !cache.count(packets[size_t(k)].slot);
            if (missing)
                job = Job{-1, a, b};
        } else if (direction < 0 && readAhead) {
            // Backwards in a long group: the group before, while the operator looks, once
            // the cache has room for its last pictures beside this group's ones still ahead;
            // the cache keeps the ones the walk reaches first.
            const int g = groupOfPicture(display[size_t(n)]);
            if (g == 0)
                return;
            const int last = groupEnd(g - 1) - 1;
            if (learned[size_t(g - 1)] && cache.count(pictures[size_t(last)]))
                return;
            constexpr int kRoom = 16;
            if (int64_t(display[size_t(n)] - groupBegin(g) + 1 + kRoom) * pictureBytes() > budget())
                return;
            job = Job{g - 1, -1, -1};
        }
        // What the operator no longer heads for is not decoded on: it would take the cores
        // the next step needs.
        if (runningJob && !(job && *runningJob == *job))
            dropRunning = true;
        if (!job || (runningJob && *runningJob == *job)) {
            pendingJob.reset();
            return;
        }
        pendingJob = job;
        startWorker();
        changed.notify_all();
    }

    bool coversLocked(const Job& job, int n) const
    {
        const int j = display[size_t(n)];
        if (job.group >= 0)
            return j >= groupBegin(startGroup(job.group)) && j < groupEnd(job.group);
        const int k = firstKey + j;
        return k >= std::min(job.first, job.last) && k <= std::max(job.first, job.last);
    }

    // ------------------------------------------------------------ frame access
    // `damaged` is set when the frame's packet is damaged (then the picture is what the
    // decoder made of it, or the one before).
    SharedFrame picture(int n, QString* err, bool& damaged)
    {
        damaged = false;
        const auto fail = [&](const QString& text) {
            if (err)
                *err = text;
            return SharedFrame();
        };
        if (!opened)
            return fail(QStringLiteral("No video is open."));
        std::unique_lock<std::mutex> lock(mutex);
        const int count = int(display.size());
        if (n < 0 || n >= count)
            return fail(QStringLiteral("Frame %1 is outside the clip (0 to %2).").arg(n).arg(count - 1));
        if (n != current)
            direction = n < current ? -1 : 1;
        current = n;
        const int j = display[size_t(n)];
        const auto served = [&](SharedFrame got) {
            damaged = damagedLocked(n, pictures[size_t(j)]);
            planReadAheadLocked(n);
            return got;
        };
        if (SharedFrame hit = cachedLocked(pictures[size_t(j)]); hit && (intra || placedLocked(fg, j)))
            return served(hit);
        // The worker is decoding what holds it: waiting costs less than decoding it twice.
        // Anything else it decodes would only take the cores this frame needs.
        if (runningJob && !coversLocked(*runningJob, n)) {
            dropRunning = true;
            pendingJob.reset();
        }
        changed.wait(lock, [&] { return !runningJob || !coversLocked(*runningJob, n); });
        if (SharedFrame hit = cachedLocked(pictures[size_t(j)]); hit && (intra || learned[size_t(groupOfPicture(j))]))
            return served(hit);
        lock.unlock();
        SharedFrame got = intra ? pictureIntra(j) : pictureOfGroup(j);
        lock.lock();
        if (!got)
            return fail(QStringLiteral("Frame %1 cannot be decoded.").arg(n));
        return served(got);
    }

    // Decodes packet k alone; its picture, or null when it gives none.
    SharedFrame decodeIntra(Decoder& dec, int k)
    {
        const int64_t want = packets[size_t(k)].slot;
        if (!dec.valid() || dec.next != k)
            seek(dec, k);
        SharedFrame got;
        auto onFrame = [&](const AVFrame* f) {
            std::lock_guard<std::mutex> lock(mutex);
            if (f->pts == want)
                got = shareFrame(f);
            insertLocked(f->pts, f);
        };
        // A decoder with a picture delay hands a picture out a few packets late.
        const int lag = (dec.ctx->active_thread_type & FF_THREAD_FRAME) ? dec.ctx->thread_count : dec.ctx->has_b_frames;
        while (!got && advance(dec, onFrame))
            if (!dec.drained && dec.next > k + lag + 1)
                break;
        return got;
    }

    // A packet of an intra-only stream that gives no picture is damaged; the picture
    // before stands in for it on screen.
    SharedFrame pictureIntra(int j)
    {
        const int k = firstKey + j;
        SharedFrame got = decodeIntra(fg, k);
        if (!got)
            markDamaged(packets[size_t(k)].slot);
        for (int back = k - 1; !got && back >= 0 && back >= k - 8; --back)
            got = decodeIntra(fg, back);
        return got;
    }

    // Picture j of a clip with B-frames: from its group's key frame, or on from where the
    // decoder is when that is hardly farther.
    SharedFrame pictureOfGroup(int j)
    {
        const int g = groupOfPicture(j);
        SharedFrame got;
        auto onFrame = [&](const AVFrame* f) {
            std::lock_guard<std::mutex> lock(mutex);
            if (placeRunPictureLocked(fg, f) == j)
                got = shareFrame(f);
        };
        for (int tries = 0; tries < 3; ++tries) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                const int from = groupBegin(startGroup(g));
                const bool goOn = tries == 0 && fg.valid() && fg.runGroup >= 0 && !fg.runFailed && fg.runStarted
                                  && fg.runPlace <= j && j - fg.runPlace <= j - from + 16;
                if (!goOn)
                    seekGroup(fg, startGroup(g));
            }
            got.reset();
            for (;;) {
                const bool more = advance(fg, onFrame);
                std::lock_guard<std::mutex> lock(mutex);
                if (fg.drained)
                    finishRunLocked(fg);
                if (got && placedLocked(fg, j))
                    return got;
                if (learned[size_t(g)] && pictures[size_t(j)] >= 0 && (!got || fg.runGroup < 0)) {
                    if (SharedFrame hit = cachedLocked(pictures[size_t(j)]))
                        return hit;
                }
                if (!more || fg.runFailed || fg.runGroup < 0)
                    break;
            }
        }
        return nullptr;
    }

    bool convert(const AVFrame* f, av::SwsContextPtr& sws, AVPixelFormat to, int flags, uint8_t* dst, int stride)
    {
        if (!av::reuseSwsContext(sws, f->width, f->height, AVPixelFormat(f->format), f->width, f->height, to, flags))
            return false;
        uint8_t* planes[4] = {dst, nullptr, nullptr, nullptr};
        int strides[4] = {stride, 0, 0, 0};
        return sws_scale(sws.get(), f->data, f->linesize, 0, f->height, planes, strides) == f->height;
    }
};

VideoReader::VideoReader(int64_t cacheBytes) : d_(std::make_unique<Impl>(cacheBytes)) {}

VideoReader::~VideoReader() = default;

bool VideoReader::open(const QString& path)
{
    close();
    // A pipe or a device could block the first read for ever; a folder is no video.
    const QFileInfo info(path);
    if (!info.isFile()) {
        d_->path = path;
        d_->openError = OpenError::File;
        d_->error = info.exists() ? QStringLiteral("%1 is not a regular file").arg(path)
                                  : QStringLiteral("%1 does not exist").arg(path);
        return false;
    }
    return openInput(path, nullptr);
}

bool VideoReader::openMemory(const QByteArray& bytes, const QString& name)
{
    close();
    return openInput(name, std::make_shared<const QByteArray>(bytes));
}

bool VideoReader::openInput(const QString& path, std::shared_ptr<const QByteArray> memory)
{
    Impl& d = *d_;
    d.path = path;
    d.memory = std::move(memory);
    QString problem;
    if (!d.openDecoder(d.fg, problem, true)) {
        if (d.openError == OpenError::None)
            d.openError = OpenError::File;
        d.error = problem;
        d.fg = Decoder();
        return false;
    }
    AVStream* st = d.fg.fmt->streams[d.fg.stream];
    d.width = st->codecpar->width;
    d.height = st->codecpar->height;
    AVRational r = QByteArray(d.fg.fmt->iformat->name).contains("avi") ? av_inv_q(st->time_base)
                                                                         : st->avg_frame_rate;
    if (r.num <= 0 || r.den <= 0)
        r = st->r_frame_rate;
    av_reduce(&r.num, &r.den, r.num, r.den, INT32_MAX);
    d.rate = {r.num, r.den};
    d.fileBytes = d.fg.fmt->pb ? avio_size(d.fg.fmt->pb) : -1;
    d.buildIndex();
    if (d.packets.empty()) {
        d.openError = OpenError::File;
        d.error = QStringLiteral("The video stream of %1 holds no frames.").arg(path);
        d.fg = Decoder();
        return false;
    }
    const AVCodecDescriptor* desc = avcodec_descriptor_get(st->codecpar->codec_id);
    d.intra = (desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY))
              || std::all_of(d.packets.begin(), d.packets.end(), [](const PacketInfo& p) { return p.key; });
    // The intra-only codecs FFmpeg does not name so (all-intra H.264) are known only now.
    if (d.intra && (d.fg.ctx->active_thread_type & FF_THREAD_FRAME) && !d.openCodec(d.fg, problem, true, false)) {
        d.error = problem;
        d.fg = Decoder();
        return false;
    }
    d.provisionalOrder();
    d.stopping = false;
    d.opened = true;
    return true;
}

void VideoReader::close()
{
    Impl& d = *d_;
    d.stopWorker();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.fg = Decoder();
    d.memory.reset();
    d.toDisplay.reset();
    d.toBitmap.reset();
    d.packets.clear();
    d.packetOfPos.clear();
    d.packetOfSlot.clear();
    d.pictures.clear();
    d.display.clear();
    d.displaySlot.clear();
    d.damagedSlots.clear();
    d.displayOfSlot.clear();
    d.cache.clear();
    d.cacheUsed = 0;
    // Freed as the last picture a caller still holds is dropped.
    if (d.picturePool)
        d.picturePool->close();
    d.picturePool = nullptr;
    d.slotCount = 0;
    d.fileBytes = -1;
    d.opened = false;
    d.keys.clear();
    d.learned.clear();
    d.openGroups = false;
    d.firstKey = 0;
    d.intra = false;
    d.pendingJob.reset();
    d.runningJob.reset();
    d.stopping = false;
    d.error.clear();
    d.openError = OpenError::None;
    d.current = 0;
    d.direction = 1;
    d.dropRunning = false;
}

void VideoReader::setReadAhead(bool on)
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    d_->readAhead = on;
}

void VideoReader::setDecoderThreads(int threads) { d_->decoderThreads = std::max(0, threads); }

bool VideoReader::isOpen() const { return d_->opened; }
QString VideoReader::error() const { return d_->error; }
VideoReader::OpenError VideoReader::openError() const { return d_->openError; }
QString VideoReader::path() const { return d_->path; }
int VideoReader::frameCount() const
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    return int(d_->display.size());
}
FrameRate VideoReader::frameRate() const { return d_->rate; }
int VideoReader::width() const { return d_->width; }
int VideoReader::height() const { return d_->height; }
bool VideoReader::intraOnly() const { return d_->intra; }

namespace {

// Only a caller that asks may have a damaged frame's picture; to any other it is refused.
bool refuseDamaged(bool damaged, int n, QString* error, bool* damagedOut)
{
    if (damagedOut) {
        *damagedOut = damaged;
        return false;
    }
    if (damaged && error)
        *error = QStringLiteral("frame %1 is damaged").arg(n);
    return damaged;
}

} // namespace

bool VideoReader::screenPixels(int n, const std::function<Rows(int, int)>& rows, QString* error, bool* damaged)
{
    bool bad = false;
    SharedFrame f = d_->picture(n, error, bad);
    if (!f || refuseDamaged(bad, n, error, damaged))
        return false;
    const Rows to = rows(f->width, f->height);
    if (!to.data) {
        if (error)
            *error = QStringLiteral("Frame %1 does not fit in memory.").arg(n);
        return false;
    }
    // AV_PIX_FMT_RGB32 is 0xAARRGGBB in native words, which is what QImage's RGB32 holds.
    if (!d_->convert(f.get(), d_->toDisplay, AV_PIX_FMT_RGB32, SWS_BILINEAR, to.data, to.stride)) {
        if (error)
            *error = QStringLiteral("Frame %1 cannot be converted for display.").arg(n);
        return false;
    }
    return true;
}

QByteArray VideoReader::bitmapPixels(int n, QString* error, bool* damaged)
{
    bool bad = false;
    SharedFrame f = d_->picture(n, error, bad);
    if (!f || refuseDamaged(bad, n, error, damaged))
        return {};
    // swscale writes whole vectors and may run past a row's last pixel, so it converts into
    // rows of its own alignment; the bitmap gets exact rows, bottom first, zero padded.
    const int used = f->width * 3;
    const int row = (used + 3) / 4 * 4;
    const int stride = (used + 63) / 64 * 64;
    std::vector<uint8_t> top(size_t(stride) * size_t(f->height) + 64);
    if (!d_->convert(f.get(), d_->toBitmap, AV_PIX_FMT_BGR24, SWS_BICUBIC, top.data(), stride)) {
        if (error)
            *error = QStringLiteral("Frame %1 cannot be converted to a bitmap.").arg(n);
        return {};
    }
    QByteArray bits(qsizetype(row) * f->height, '\0');
    for (int y = 0; y < f->height; ++y)
        std::memcpy(bits.data() + qsizetype(row) * (f->height - 1 - y), top.data() + size_t(stride) * size_t(y),
                    size_t(used));
    return bits;
}

void VideoReader::setCacheBytes(int64_t bytes)
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    d_->cacheBudget = std::max<int64_t>(0, bytes);
    d_->trimLocked();
}

int64_t VideoReader::cacheBytes() const { return d_->cacheBudget; }

int64_t VideoReader::cachedBytes() const
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    return d_->cacheUsed;
}

int VideoReader::cachedFrames() const
{
    std::lock_guard<std::mutex> lock(d_->mutex);
    return int(d_->cache.size());
}

void VideoReader::waitUntilIdle()
{
    std::unique_lock<std::mutex> lock(d_->mutex);
    if (!d_->worker.joinable())
        return;
    d_->changed.wait(lock, [&] { return !d_->pendingJob && !d_->runningJob; });
}

} // namespace tarvex
