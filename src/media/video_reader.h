#pragma once
// VideoReader: the frames of a video file by number, exact in display order, for stepping
// to the frame of first contact both ways at decode speed.
//
// AVI carries no presentation times, so frames are counted, never timed: every packet is
// sent with its slot in the file (its decode-order index, empty chunks included) as its
// timestamp. A group (a key frame and the packets up to the next) shows the pictures of its
// own packets, so its frames are numbered from the packet index; the order they show in is
// learnt when the group is first decoded, so any frame costs at most its group's decoding.
// An empty chunk (a dropped frame of a capture) repeats the picture before it, so frame
// numbers stay true to time; a damaged packet keeps its number too, but its frame is
// reported as damaged, never passed off as good. Decoded pictures around the frame on
// screen are kept in a cache bounded in bytes; one worker thread decodes ahead of the
// operator in the direction of travel (the next pictures of an intra-only clip, the group
// before when stepping back through long groups).
#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace tarvex {

struct FrameRate {
    int num = 0;
    int den = 1;
    double value() const { return den ? double(num) / den : 0.0; }
};

// Threads: one caller at a time. Every public call, open() and close() included, is made by
// one thread at a time; the caller may change (the review screen opens a reader on the
// user-interface thread and hands it to the frame view's worker), but two calls must never
// overlap: frame() and bitmapPixels() decode on the caller's demuxer and converters without
// a lock. The reader's own worker (started by the first step, joined by close() and the
// destructor) opens the file a second time with a demuxer and decoder of its own; it reads
// what open() set up (the packet index, size, rate) and touches the shared state (learnt
// order, cache, pending job) only under the reader's mutex, so cachedBytes() and
// cachedFrames(), which take that mutex, see its progress.
class VideoReader {
public:
    static constexpr int64_t kDefaultCacheBytes = int64_t(256) << 20;

    explicit VideoReader(int64_t cacheBytes = kDefaultCacheBytes);
    ~VideoReader();
    VideoReader(const VideoReader&) = delete;
    VideoReader& operator=(const VideoReader&) = delete;

    enum class OpenError { None, File, NoDecoder };
    // Opens the file and indexes its first video stream. False with error() and
    // openError() set when the file cannot be read (or is not a regular file) or no decoder
    // takes its video.
    bool open(const QString& path);
    // The same for a file's bytes held in memory; `name` stands for the file in messages.
    bool openMemory(const QByteArray& bytes, const QString& name);
    void close();
    bool isOpen() const;
    QString error() const;
    OpenError openError() const;
    QString path() const;

    int frameCount() const;
    FrameRate frameRate() const;
    double frameRateValue() const { return frameRate().value(); }
    int width() const;
    int height() const;
    bool intraOnly() const;

    // Frame n (0-based, display order) in Format_RGB32; a null image with `error` set when
    // n is outside the clip or the frame cannot be decoded.
    // A damaged frame (its chunk cut by the end of the file or unlike its index entry, or
    // its decode reporting an error) is refused with "frame N is damaged", unless `damaged`
    // is given: then the picture the reader has for it (what the decoder made of it, or the
    // picture before) comes back and *damaged says whether it is.
    QImage frame(int n, QString* error = nullptr, bool* damaged = nullptr);
    // Frame n as the pixel bytes of a 24-bit bottom-up bitmap, rows padded to 4 bytes.
    QByteArray bitmapPixels(int n, QString* error = nullptr, bool* damaged = nullptr);

    // Decoder threads for the next open(); 0 (the default) takes one per core. One thread
    // makes each open cheaper where pictures are tiny and opens many (the fuzz target).
    void setDecoderThreads(int threads);

    // Off: nothing is decoded ahead (one frame wanted, as by the command line).
    void setReadAhead(bool on);

    void setCacheBytes(int64_t bytes);
    int64_t cacheBytes() const;
    int64_t cachedBytes() const;   // what the cache holds now
    int cachedFrames() const;

    // Waits until the worker has decoded what it was asked to read ahead (tests and the
    // benchmark use it to measure steady-state steps).
    void waitUntilIdle();

    struct Impl;

private:
    bool openInput(const QString& path, std::shared_ptr<const QByteArray> memory);
    // Frame n in RGB32 rows that `rows` hands out for its size; frame() wraps them in a
    // QImage in a file of its own, so a program that never shows a picture loads no Qt Gui.
    struct Rows {
        unsigned char* data = nullptr;
        int stride = 0;
    };
    bool screenPixels(int n, const std::function<Rows(int width, int height)>& rows, QString* error, bool* damaged);

    std::unique_ptr<Impl> d_;
};

} // namespace tarvex
