#pragma once
// The seam between FfmpegCaptureDevice and the devices it records from: a backend lists
// the devices of one kind (V4L2 nodes, DirectShow filters, the rehearsal camera) and opens
// one of them as a FrameSource. Everything platform-specific sits behind it, so the
// device itself is plain Qt and FFmpeg.
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QByteArray>
#include <QSize>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tarvex {

using CaptureClock = std::chrono::steady_clock;

// One colour format of a device with the frame sizes it offers in it.
struct VideoFormatInfo {
    QString name;              // shown to the operator: "YUYV", "MJPG", "RGB32"
    QString ffmpegName;        // libavdevice's input_format: "yuyv422", "mjpeg"; empty = device default
    QList<QSize> sizes;
    QList<int> framesPerSecond;   // whole rates the driver reports for the first size; empty = any
};

struct VideoDeviceInfo {
    QString name;              // unique within its list: a second camera of the same make gets " #2"
    QString id;                // what the backend needs to open it: a device node, a filter name
    QList<VideoFormatInfo> formats;
    QStringList inputs;
    bool tuner = false;
    int lowestChannel = 0;
    int highestChannel = 0;

    bool operator==(const VideoDeviceInfo& o) const { return name == o.name && id == o.id; }
};

struct VideoOpenRequest {
    QSize size;
    int formatIndex = 0;
    int input = 0;
    int channel = 0;
    int framesPerSecond = 30;
};

// How a camera that compresses its pictures itself (MJPEG from USB cameras, H.264 and H.265
// from network cameras) sends them, so a recording can store its packets as they arrive.
struct CompressedStream {
    int codecId = 0;             // AVCodecID
    QString codecName;           // for the operator: "MJPEG", "H.264", "H.265"
    QSize size;
    QByteArray extradata;        // the codec's global header (H.264 SPS/PPS); may be empty
    double framesPerSecond = 0;  // as the camera announces it; 0 = not announced
};

// A device opened for streaming. next() is called from the capture thread only.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    struct Frame {
        QImage image;                    // Format_RGB32; null when only the packet is given
        CaptureClock::time_point time;   // when the picture was taken
        // The camera's own compressed picture, when compressedStream() names its codec; the
        // preview and stills decode it on demand, a recording stores it as it is.
        QByteArray packet;
        bool keyFrame = true;
    };
    // A source that has to reach its camera first (over the network) does it here, on the
    // capture thread, so nobody else waits for it; false with the reason in error.
    virtual bool connectsLater() const { return false; }
    virtual bool start(QString& error) { (void)error; return true; }
    // Set when next() delivers packets (image may then be null); fixed once the source has
    // started.
    virtual std::optional<CompressedStream> compressedStream() const { return std::nullopt; }
    // Called from the capture thread with news an operator should see ("North tower is silent:
    // reconnecting"); set before the first next().
    virtual void setNoticeHandler(std::function<void(const QString&)> handler) { (void)handler; }
    // Blocks until the next frame or until interrupt(); nullopt when interrupted or when the
    // device failed, with the reason in error().
    virtual std::optional<Frame> next() = 0;
    // Thread-safe: makes a blocked next() return soon.
    virtual void interrupt() = 0;
    virtual QString error() const = 0;
    // A source that runs on a clock of its own (the rehearsal camera) names the moment of its
    // next frame, so a recording can start exactly on it; real devices answer nullopt.
    virtual std::optional<CaptureClock::time_point> nextFrameTime() const { return std::nullopt; }
    // Called just before a recording starts at time `start`; the rehearsal camera begins
    // its scripted jump there.
    virtual void recordingStarts(CaptureClock::time_point start, int framesPerSecond) { (void)start; (void)framesPerSecond; }
};

class VideoBackend {
public:
    virtual ~VideoBackend() = default;
    // Cheap enough to be called once a second for plugging and unplugging.
    virtual QList<VideoDeviceInfo> devices() = 0;
    // Opens the device; null with the reason in error.
    virtual std::unique_ptr<FrameSource> open(const VideoDeviceInfo& device, const VideoOpenRequest& request,
                                              QString& error) = 0;
};

// The system's own capture devices: V4L2 on Linux, DirectShow on Windows (platform files).
std::unique_ptr<VideoBackend> makePlatformVideoBackend();

struct AudioDeviceInfo {
    QString name;
    QString format;   // libavdevice input format: "alsa", "pulse", "dshow"
    QString id;       // device as that format names it

    bool operator==(const AudioDeviceInfo&) const = default;
};

// Audio devices through libavdevice; lists nothing where no audio input format is built in.
class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    virtual QList<AudioDeviceInfo> devices() = 0;
};

std::unique_ptr<AudioBackend> makeLibavdeviceAudioBackend();

} // namespace tarvex
