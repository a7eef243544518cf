#pragma once
// VideoReader: the frames of a video file by number, exact in display order, for stepping
// to the frame of first contact both ways at decode speed.
//
// AVI carries no presentation times, so frames are counted, never timed: every packet is
// sent with its slot in the file (its decode-order index, empty chunks included) as its
// timestamp, and the display order is learnt once: from the index for intra-only codecs,
// by one decoding pass in the background for codecs with B-frames. An empty chunk (a
// dropped frame of a capture) repeats the picture before it, so frame numbers stay true to
// time; a damaged packet keeps its number too, but its frame is reported as damaged, never
// passed off as good. Decoded frames of the current group and its neighbours are kept in a
// cache bounded in bytes; while the operator rests on a frame one worker thread decodes the
// group before.
#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
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
// a lock. The reader's own background worker (started by open() for codecs with B-frames,
// joined by close() and the destructor) opens the file a second time with a demuxer and
// decoder of its own; it reads what open() set up before starting it (the packet index,
// size, rate) and touches the shared state (display order, cache, pending job) only under
// the reader's mutex. So frameCount(), cachedBytes() and cachedFrames(), which take that
// mutex, see the worker's progress: frameCount() may still change until waitUntilIdle()
// returns.
class VideoReader {
public:
    static constexpr int64_t kDefaultCacheBytes = int64_t(512) << 20;

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

    void setCacheBytes(int64_t bytes);
    int64_t cacheBytes() const;
    int64_t cachedBytes() const;   // what the cache holds now
    int cachedFrames() const;

    // For codecs with B-frames the display order is learnt in the background; this waits
    // for it (tests and the benchmark use it to measure steady-state steps).
    void waitUntilIdle();

    struct Impl;

private:
    bool openInput(const QString& path, std::shared_ptr<const QByteArray> memory);

    std::unique_ptr<Impl> d_;
};

} // namespace tarvex
