#pragma once
// Writes one recording: video frames encoded by the chosen compressor (and PCM audio) into
// an AVI through libavformat, which keeps the full index and switches to OpenDML beyond
// 1 GiB. Frames carry their time slot: a slot that never arrives becomes an empty chunk, so
// frame n of the file is always the picture of time n / fps.
#include "capture/capture_backend.h"

#include <QImage>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace tarvex {

enum class VideoCodec { Mjpeg, Ffv1, H264Intra, Uncompressed };

// The compressors this build can offer, in the order they are listed (uncompressed, the
// boundary's "none", is not among them).
QList<VideoCodec> availableVideoCodecs();
QString videoCodecName(VideoCodec c);        // "MJPEG", "FFV1", "H.264 (all key frames)"
bool videoCodecHasQuality(VideoCodec c);

struct RecorderSettings {
    QString path;
    QSize size;
    int framesPerSecond = 30;
    VideoCodec codec = VideoCodec::Mjpeg;
    int quality = 85;            // 1..100, where the compressor has one
    bool audio = false;
    int sampleRate = 44100;
    int channels = 2;
    int bits = 16;
    // Set: the camera's own packets are stored as they come (MJPEG, H.264, H.265), no
    // compressor runs and codec/quality are not used.
    std::optional<CompressedStream> stream;
};

// One compressed picture with the time slot it belongs to.
struct VideoPacket {
    QByteArray data;
    long slot = 0;
    bool keyFrame = true;
};

// Compresses pictures as a recording with these settings does. Every compressor offered
// codes each picture on its own, so packets of two encoders with the same settings can
// follow each other in one file (pre-recorded pictures, then the recording's own).
class FrameEncoder {
public:
    ~FrameEncoder();
    FrameEncoder(const FrameEncoder&) = delete;
    FrameEncoder& operator=(const FrameEncoder&) = delete;
    // Null with an operator-readable reason.
    static std::unique_ptr<FrameEncoder> create(const RecorderSettings& s, QString& error);
    // One picture in, its packet out (a picture of another size is scaled).
    std::optional<VideoPacket> encode(const QImage& image, long slot, QString& error);
    const RecorderSettings& settings() const { return settings_; }
    // Whether packets of an encoder made with `other` may be stored in this one's file.
    bool sameOutput(const RecorderSettings& other) const;

private:
    friend class AviRecorder;
    struct Impl;
    explicit FrameEncoder(const RecorderSettings& s);
    RecorderSettings settings_;
    std::unique_ptr<Impl> d;
};

class AviRecorder {
public:
    ~AviRecorder();
    AviRecorder(const AviRecorder&) = delete;
    AviRecorder& operator=(const AviRecorder&) = delete;

    // Creates the file and writes its header; null with an operator-readable reason. A file
    // that could not be started is removed again.
    static std::unique_ptr<AviRecorder> create(const RecorderSettings& s, QString& error);

    // slot must grow; a gap is written as empty chunks. False with error on a failed write.
    bool writeVideo(const QImage& frame, long slot, QString& error);
    // A packet as it is: of the settings' stream, or from a FrameEncoder with the same
    // settings. slot must grow; a gap is written as empty chunks.
    bool writePacket(const VideoPacket& packet, QString& error);
    // Ends the video with empty chunks up to and including slot (frames dropped at the end).
    bool padVideoTo(long slot, QString& error);
    // Interleaved PCM of the recorder's format.
    bool writeAudio(const QByteArray& pcm, QString& error);
    // Flushes, writes the index, marks the file as a capture file and syncs it and its
    // folder to the disk. The file is playable afterwards even when an earlier write failed,
    // as far as it got; a failed recording without a single frame is removed instead (and
    // fileKept() is false). While recording, the header's frame count follows every frame
    // and the file is synced every 0.2 s, so a crash or power cut leaves a playable file of
    // its true length.
    bool finish(QString& error);
    bool fileKept() const;
    qint64 bytesWritten() const;
    const RecorderSettings& settings() const { return settings_; }

private:
    struct Impl;
    explicit AviRecorder(const RecorderSettings& s);
    RecorderSettings settings_;
    std::unique_ptr<Impl> d;
};

// Sets "was a capture file" (0x10000) in the main AVI header's flags, found by walking the
// RIFF chunks. False with the reason when the file is not an AVI with a main header.
bool markAsCaptureFile(const QString& path, QString& error);

} // namespace tarvex
