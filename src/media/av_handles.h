#pragma once
// Owning handles for the FFmpeg objects we hold: each frees its object the one way FFmpeg
// wants it freed, so no code path (an early return on a failed open, a recorder that
// never got its header written) leaks or frees twice. Every freeing call of the program
// lives here; the make functions return a null handle when FFmpeg could not allocate, and
// every caller reports that the way its own errors are reported.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace tarvex::av {

struct InputCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
// An output context owns the file it opened (pb) besides itself.
struct OutputCloser {
    void operator()(AVFormatContext* f) const
    {
        if (f->pb)
            avio_closep(&f->pb);
        avformat_free_context(f);
    }
};
struct CodecContextFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFreer {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};

// A caller's I/O context (an input read from memory): its buffer may have been replaced by
// FFmpeg, so the one the context holds at the end is freed.
struct IoContextFreer {
    void operator()(AVIOContext* c) const
    {
        av_freep(&c->buffer);
        avio_context_free(&c);
    }
};

using FormatInput = std::unique_ptr<AVFormatContext, InputCloser>;
using IoContext = std::unique_ptr<AVIOContext, IoContextFreer>;
using FormatOutput = std::unique_ptr<AVFormatContext, OutputCloser>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using Frame = std::unique_ptr<AVFrame, FrameFreer>;
using Packet = std::unique_ptr<AVPacket, PacketFreer>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsFreer>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrFreer>;

// Options handed to an open call, which takes them by address and leaves the unused ones.
class Dictionary {
public:
    Dictionary() = default;
    ~Dictionary() { av_dict_free(&d_); }
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;
    AVDictionary** address() { return &d_; }
    const AVDictionary* get() const { return d_; }

private:
    AVDictionary* d_ = nullptr;
};

[[nodiscard]] inline Frame makeFrame() { return Frame(av_frame_alloc()); }
// A new reference to the same picture; null when out of memory.
[[nodiscard]] inline Frame cloneFrame(const AVFrame* f) { return Frame(f ? av_frame_clone(f) : nullptr); }
[[nodiscard]] inline Packet makePacket() { return Packet(av_packet_alloc()); }
// Null for no codec as for no memory: both mean there is nothing to decode or encode with.
[[nodiscard]] inline CodecContext makeCodecContext(const AVCodec* codec)
{
    return CodecContext(codec ? avcodec_alloc_context3(codec) : nullptr);
}
// A context for an input to be opened by openInput(), for callers that must set it up first
// (an interrupt callback); null when out of memory.
[[nodiscard]] inline FormatInput makeFormatInput() { return FormatInput(avformat_alloc_context()); }

// An input context reading through `read` and `seek` with `opaque`, for a demuxer's pb;
// null when out of memory. The demuxer does not free it: the handle must outlive the input.
[[nodiscard]] inline IoContext makeIoContext(int bufferBytes, void* opaque, int (*read)(void*, uint8_t*, int),
                                             int64_t (*seek)(void*, int64_t, int))
{
    auto* buffer = static_cast<unsigned char*>(av_malloc(size_t(bufferBytes)));
    if (!buffer)
        return nullptr;
    AVIOContext* c = avio_alloc_context(buffer, bufferBytes, 0, opaque, read, nullptr, seek);
    if (!c)
        av_free(buffer);
    return IoContext(c);
}

// avformat_open_input() frees a caller's context when it fails, so the handle gives it up
// for the call and takes back whatever is left: the open input, or nothing. Returns
// FFmpeg's result.
[[nodiscard]] inline int openInput(FormatInput& in, const char* url, const AVInputFormat* format = nullptr,
                                   Dictionary* options = nullptr)
{
    AVFormatContext* raw = in.release();
    const int r = avformat_open_input(&raw, url, format, options ? options->address() : nullptr);
    in.reset(raw);
    return r;
}

// The muxer of `format` for a file at `path` (the file itself is opened later with avio_open
// on its pb). Null with FFmpeg's error number in `result` when there is no such muxer or no
// memory.
[[nodiscard]] inline FormatOutput makeFormatOutput(const char* format, const char* path, int* result = nullptr)
{
    AVFormatContext* raw = nullptr;
    int r = avformat_alloc_output_context2(&raw, nullptr, format, path);
    if (r >= 0 && !raw)
        r = AVERROR(ENOMEM);
    if (result)
        *result = r;
    return FormatOutput(r < 0 ? nullptr : raw);
}

// A converter between two picture formats and sizes; null when swscale cannot convert them.
[[nodiscard]] inline SwsContextPtr makeSwsContext(int srcW, int srcH, AVPixelFormat srcFormat, int dstW, int dstH,
                                                  AVPixelFormat dstFormat, int flags)
{
    return SwsContextPtr(
        sws_getContext(srcW, srcH, srcFormat, dstW, dstH, dstFormat, flags, nullptr, nullptr, nullptr));
}

// Keeps `sws` when it already converts these formats, else replaces it; false (and `sws`
// null) when swscale cannot convert them. sws_getCachedContext frees the context it is
// given when it fails, so the handle lets go of it for the call.
[[nodiscard]] inline bool reuseSwsContext(SwsContextPtr& sws, int srcW, int srcH, AVPixelFormat srcFormat, int dstW,
                                          int dstH, AVPixelFormat dstFormat, int flags)
{
    sws.reset(sws_getCachedContext(sws.release(), srcW, srcH, srcFormat, dstW, dstH, dstFormat, flags, nullptr,
                                   nullptr, nullptr));
    return sws != nullptr;
}

} // namespace tarvex::av
