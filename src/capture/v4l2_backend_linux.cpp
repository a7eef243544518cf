// The station's only POSIX file: V4L2 devices as the driver describes them. Streaming
// goes through libavdevice's video4linux2 input, so only the listing talks to the driver.
#include "capture/capture_backend.h"
#include "capture/libav_frame_source.h"

#include <QDir>
#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tarvex {

namespace {

int xioctl(int fd, unsigned long request, void* arg)
{
    int r;
    do
        r = ioctl(fd, request, arg);
    while (r == -1 && errno == EINTR);
    return r;
}

QString fourcc(quint32 f)
{
    QString s;
    for (int i = 0; i < 4; ++i)
        s += QChar(char((f >> (8 * i)) & 0xff));
    return s.trimmed();
}

// libavdevice's name for a V4L2 pixel format; empty when we cannot decode it.
QString ffmpegFormatOf(quint32 f)
{
    switch (f) {
    case V4L2_PIX_FMT_YUYV: return QStringLiteral("yuyv422");
    case V4L2_PIX_FMT_UYVY: return QStringLiteral("uyvy422");
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG: return QStringLiteral("mjpeg");
    case V4L2_PIX_FMT_NV12: return QStringLiteral("nv12");
    case V4L2_PIX_FMT_YUV420: return QStringLiteral("yuv420p");
    case V4L2_PIX_FMT_RGB24: return QStringLiteral("rgb24");
    case V4L2_PIX_FMT_BGR24: return QStringLiteral("bgr24");
    case V4L2_PIX_FMT_GREY: return QStringLiteral("gray");
    case V4L2_PIX_FMT_H264: return QStringLiteral("h264");
    default: return {};
    }
}

QList<int> ratesOf(int fd, quint32 pixfmt, QSize size)
{
    QList<int> rates;
    v4l2_frmivalenum iv{};
    iv.pixel_format = pixfmt;
    iv.width = quint32(size.width());
    iv.height = quint32(size.height());
    for (iv.index = 0; xioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &iv) == 0; ++iv.index) {
        if (iv.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
            if (iv.discrete.numerator > 0) {
                const int fps = int((iv.discrete.denominator + iv.discrete.numerator / 2) / iv.discrete.numerator);
                if (fps > 0 && !rates.contains(fps))
                    rates << fps;
            }
        } else {
            return {};   // a continuous range: any whole rate the component asks for
        }
    }
    std::sort(rates.begin(), rates.end());
    return rates;
}

QList<QSize> sizesOf(int fd, quint32 pixfmt)
{
    QList<QSize> sizes;
    v4l2_frmsizeenum fs{};
    fs.pixel_format = pixfmt;
    for (fs.index = 0; xioctl(fd, VIDIOC_ENUM_FRAMESIZES, &fs) == 0; ++fs.index) {
        if (fs.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            sizes << QSize(int(fs.discrete.width), int(fs.discrete.height));
        } else {
            // Stepwise or continuous: offer the usual sizes that fit the range.
            for (QSize s : {QSize(320, 240), QSize(640, 480), QSize(800, 600), QSize(1280, 720), QSize(1920, 1080)})
                if (quint32(s.width()) >= fs.stepwise.min_width && quint32(s.width()) <= fs.stepwise.max_width
                    && quint32(s.height()) >= fs.stepwise.min_height && quint32(s.height()) <= fs.stepwise.max_height)
                    sizes << s;
            break;
        }
    }
    std::sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) {
        return a.width() * a.height() < b.width() * b.height();
    });
    return sizes;
}

std::optional<VideoDeviceInfo> describe(const QString& node)
{
    const int fd = ::open(QFile::encodeName(node).constData(), O_RDWR | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    VideoDeviceInfo d;
    v4l2_capability cap{};
    const bool ok = xioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
    const quint32 caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    // Metadata nodes of the same camera have no video capture capability: not a device.
    if (!ok || !(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) {
        ::close(fd);
        return std::nullopt;
    }
    d.name = QString::fromUtf8(reinterpret_cast<const char*>(cap.card)).trimmed();
    d.id = node;

    v4l2_fmtdesc fd2{};
    fd2.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (fd2.index = 0; xioctl(fd, VIDIOC_ENUM_FMT, &fd2) == 0; ++fd2.index) {
        const QString ff = ffmpegFormatOf(fd2.pixelformat);
        if (ff.isEmpty())
            continue;
        VideoFormatInfo f;
        f.name = fourcc(fd2.pixelformat);
        f.ffmpegName = ff;
        f.sizes = sizesOf(fd, fd2.pixelformat);
        if (!f.sizes.isEmpty())
            f.framesPerSecond = ratesOf(fd, fd2.pixelformat, f.sizes.first());
        d.formats << f;
    }

    v4l2_input in{};
    for (in.index = 0; xioctl(fd, VIDIOC_ENUMINPUT, &in) == 0; ++in.index) {
        d.inputs << QString::fromUtf8(reinterpret_cast<const char*>(in.name)).trimmed();
        if (in.type == V4L2_INPUT_TYPE_TUNER) {
            d.tuner = true;
            // Tuners are tuned by frequency; the station's channel numbers are the usual
            // broadcast ones.
            d.lowestChannel = 2;
            d.highestChannel = 69;
        }
    }
    if (d.inputs.size() == 1 && !d.tuner)
        d.inputs.clear();   // one fixed input is nothing to choose
    ::close(fd);
    return d;
}

class V4l2Backend : public VideoBackend {
public:
    QList<VideoDeviceInfo> devices() override
    {
        QList<VideoDeviceInfo> out;
        QStringList nodes = QDir(QStringLiteral("/dev")).entryList({QStringLiteral("video*")}, QDir::System);
        std::sort(nodes.begin(), nodes.end(), [](const QString& a, const QString& b) {
            return a.mid(5).toInt() < b.mid(5).toInt();
        });
        for (const QString& n : nodes)
            if (auto d = describe(QStringLiteral("/dev/") + n)) {
                // Two cameras of one make must still be told apart in the list.
                QString name = d->name;
                for (int k = 2; std::any_of(out.begin(), out.end(), [&](const VideoDeviceInfo& o) { return o.name == name; }); ++k)
                    name = d->name + QStringLiteral(" #%1").arg(k);
                d->name = name;
                out << *d;
            }
        return out;
    }

    std::unique_ptr<FrameSource> open(const VideoDeviceInfo& device, const VideoOpenRequest& r, QString& error) override
    {
        QMap<QString, QString> opts;
        opts[QStringLiteral("video_size")] = QStringLiteral("%1x%2").arg(r.size.width()).arg(r.size.height());
        opts[QStringLiteral("framerate")] = QString::number(r.framesPerSecond);
        if (r.formatIndex >= 0 && r.formatIndex < device.formats.size()
            && !device.formats[r.formatIndex].ffmpegName.isEmpty())
            opts[QStringLiteral("input_format")] = device.formats[r.formatIndex].ffmpegName;
        if (!device.inputs.isEmpty())
            opts[QStringLiteral("channel")] = QString::number(r.input);
        return openLibavFrameSource(QStringLiteral("video4linux2"), device.id, opts, error);
    }
};

} // namespace

std::unique_ptr<VideoBackend> makePlatformVideoBackend() { return std::make_unique<V4l2Backend>(); }

} // namespace tarvex
