#pragma once
// Cameras on the network (IP cameras on a pole), reached by an address: rtsp:// and rtsps://
// (H.264, H.265, MJPEG over RTP), http(s):// MJPEG, udp:// and srt:// MPEG-TS. They are read
// through FFmpeg's network demuxers; every read has a deadline, so a camera that goes silent
// is noticed within two seconds, the operator is told through the notice handler and the
// source reconnects by itself.
//
// Credentials are kept apart from the address (the settings store holds them) and are put
// into the address only when FFmpeg opens it; every text this file hands out has them masked.
#include "capture/capture_backend.h"

#include <QMap>
#include <QString>
#include <mutex>

namespace tarvex {

class SettingsStore;

struct NetworkCamera {
    QString name;       // as the operator named it: "North tower"
    QString address;    // without credentials: "rtsp://10.0.0.21:554/stream1"
    QString user;
    QString password;

    bool operator==(const NetworkCamera&) const = default;
};

// True for an address the station can read a camera from (by its scheme).
bool isNetworkCameraAddress(const QString& text);
// The address as FFmpeg opens it, with user and password (percent-encoded) put in.
QString addressWithCredentials(const NetworkCamera& camera);
// Moves credentials written into the address ("rtsp://me:pw@host/x") into user and password.
NetworkCamera withCredentialsSeparated(NetworkCamera camera);
// Every "scheme://user:password@" in text becomes "scheme://user:***@".
QString maskCredentials(const QString& text);

// The cameras the operator added, as the settings store keeps them.
QList<NetworkCamera> loadNetworkCameras(const SettingsStore& store);
void saveNetworkCameras(SettingsStore& store, const QList<NetworkCamera>& cameras);

struct NetworkTimings {
    int silenceMs = 2000;      // a read that waits longer: the camera is silent
    int connectMs = 3000;      // the bound on opening (and probing) the stream
    int retryMs = 1000;        // between two attempts to reconnect
    int giveUpMs = 0;          // silent this long: next() fails; 0 = reconnect for ever
    // Compressed streams come as packets, which the recording stores as they are and only
    // the preview decodes; on, they are decoded here as well.
    bool picturesWithPackets = false;
};

// What a connection test found.
struct NetworkProbe {
    bool ok = false;
    QString text;   // "Connected to North tower: 1920x1080 H.264 at 59.94 fps" or why not
    QSize size;
    QString codecName;
    double framesPerSecond = 0;
};

// Connects, reads a few pictures and closes again; blocks for at most about
// timings.connectMs + 2 s, so it runs off the user-interface thread.
NetworkProbe probeNetworkCamera(const NetworkCamera& camera, const NetworkTimings& timings = {});

// Opens a camera; the first connection is bounded by timings.connectMs. Null with the reason
// (credentials masked) in error.
std::unique_ptr<FrameSource> openNetworkCamera(const NetworkCamera& camera, int framesPerSecond,
                                               const NetworkTimings& timings, QString& error);

// The operator's network cameras as a device list, after the local devices. Thread-safe:
// the panel changes the list while the capture device lists and opens.
class NetworkCameraBackend : public VideoBackend {
public:
    explicit NetworkCameraBackend(NetworkTimings timings = {}) : timings_(timings) {}

    void setCameras(const QList<NetworkCamera>& cameras);
    QList<NetworkCamera> cameras() const;
    NetworkTimings timings() const { return timings_; }

    QList<VideoDeviceInfo> devices() override;
    std::unique_ptr<FrameSource> open(const VideoDeviceInfo& device, const VideoOpenRequest& request,
                                      QString& error) override;
    // The picture size of the camera with this device id when it was last opened; invalid
    // before that. A network camera names its size only once it is connected.
    QSize lastSize(const QString& id) const;

private:
    NetworkTimings timings_;
    mutable std::mutex m_;
    QList<NetworkCamera> cameras_;
    // Shared with the sources, which note their camera's size when they connect.
    std::shared_ptr<std::pair<std::mutex, QMap<QString, QSize>>> sizes_ =
        std::make_shared<std::pair<std::mutex, QMap<QString, QSize>>>();
};

} // namespace tarvex
