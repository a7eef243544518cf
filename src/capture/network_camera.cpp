#include "capture/network_camera.h"
#include "capture/av_error.h"
#include "media/av_handles.h"
#include "station/settings_store.h"

#include <QRegularExpression>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tarvex {

namespace {

using namespace std::chrono;

const QStringList kSchemes = {QStringLiteral("rtsp"), QStringLiteral("rtsps"), QStringLiteral("http"),
                              QStringLiteral("https"), QStringLiteral("udp"), QStringLiteral("srt")};

QString schemeOf(const QString& address)
{
    const int colon = int(address.indexOf(QStringLiteral("://")));
    return colon > 0 ? address.left(colon).toLower() : QString();
}

QString operatorCodecName(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_H264: return QStringLiteral("H.264");
    case AV_CODEC_ID_HEVC: return QStringLiteral("H.265");
    case AV_CODEC_ID_MJPEG: return QStringLiteral("MJPEG");
    default: return QString::fromLatin1(avcodec_get_name(id)).toUpper();
    }
}

// Codecs a recording can keep as they arrive; anything else is decoded into pictures.
bool storable(AVCodecID id) { return id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC || id == AV_CODEC_ID_MJPEG; }

// "59.94", "30", "12.5"
QString rateText(double fps)
{
    QString t = QString::number(fps, 'f', 2);
    while (t.endsWith(QLatin1Char('0')))
        t.chop(1);
    if (t.endsWith(QLatin1Char('.')))
        t.chop(1);
    return t;
}

QString secondsText(int ms) { return rateText(ms / 1000.0); }

// One connection to a camera: the demuxer, the video stream and (when pictures are wanted) a
// decoder. Every blocking call FFmpeg makes polls the interrupt callback, which ends it when
// the deadline set before the call has passed or when the source is interrupted.
class Connection {
public:
    explicit Connection(const std::atomic<bool>& stop) : stop_(stop) {}

    // Opens within boundMs; on failure says why in error (without the address).
    bool open(const NetworkCamera& camera, int boundMs, bool wantPictures, QString& error)
    {
        static std::once_flag networkReady;
        std::call_once(networkReady, [] { avformat_network_init(); });
        in_ = av::makeFormatInput();
        if (!in_) {
            error = avError(AVERROR(ENOMEM));
            return false;
        }
        in_->interrupt_callback.callback = &Connection::interrupted;
        in_->interrupt_callback.opaque = this;
        setDeadline(boundMs);
        av::Dictionary opts;
        const QString scheme = schemeOf(camera.address);
        // Interleaved RTP over the RTSP connection first: no UDP ports to open in a firewall,
        // and no packets lost on a busy network. A server that offers only UDP gets UDP.
        const bool rtsp = scheme.startsWith(QLatin1String("rtsp"));
        if (rtsp)
            av_dict_set(opts.address(), "rtsp_transport", "tcp", 0);
        // A late stream is probed for one second at most; the operator is waiting.
        av_dict_set(opts.address(), "analyzeduration", "1000000", 0);
        // Room for a few key frames of 1080p arriving at once over UDP.
        if (scheme == QLatin1String("udp") || rtsp)
            av_dict_set(opts.address(), "buffer_size", "4194304", 0);
        const QByteArray url = addressWithCredentials(camera).toUtf8();
        int r = av::openInput(in_, url.constData(), nullptr, &opts);
        if (r < 0 && rtsp && !timedOut() && !stop_) {
            in_ = av::makeFormatInput();
            if (!in_) {
                error = avError(AVERROR(ENOMEM));
                return false;
            }
            in_->interrupt_callback.callback = &Connection::interrupted;
            in_->interrupt_callback.opaque = this;
            av::Dictionary udp;
            av_dict_set(udp.address(), "rtsp_transport", "udp", 0);
            av_dict_set(udp.address(), "analyzeduration", "1000000", 0);
            av_dict_set(udp.address(), "buffer_size", "4194304", 0);
            r = av::openInput(in_, url.constData(), nullptr, &udp);
        }
        // What the probe reads is not handed on later: it would come out all at once, long
        // after it was sent, and a live picture's time is when it arrives.
        if (r >= 0)
            in_->flags |= AVFMT_FLAG_NOBUFFER;
        if (r >= 0)
            r = avformat_find_stream_info(in_.get(), nullptr);
        if (r < 0) {
            error = timedOut() ? QStringLiteral("no answer within %1 s").arg(secondsText(boundMs)) : avError(r);
            in_.reset();
            return false;
        }
        stream_ = av_find_best_stream(in_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (stream_ < 0) {
            error = QStringLiteral("it sends no pictures");
            in_.reset();
            return false;
        }
        const AVStream* st = in_->streams[stream_];
        const AVCodecParameters* par = st->codecpar;
        codec_ = par->codec_id;
        size_ = QSize(par->width, par->height);
        timeBase_ = av_q2d(st->time_base);
        // The multipart and plain JPEG demuxers make their time stamps up (25 a second);
        // only a real container's stamps say when a picture was taken.
        const QString demuxer = QString::fromLatin1(in_->iformat->name);
        realStamps_ = !demuxer.contains(QLatin1String("jpeg")) && !demuxer.startsWith(QLatin1String("image2"));
        const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
        fps_ = realStamps_ && rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;
        if (par->extradata && par->extradata_size > 0)
            extradata_ = QByteArray(reinterpret_cast<const char*>(par->extradata), par->extradata_size);
        if (wantPictures || !storable(codec_)) {
            const AVCodec* codec = avcodec_find_decoder(codec_);
            if (!codec) {
                error = QStringLiteral("the station cannot decode its %1 pictures").arg(operatorCodecName(codec_));
                in_.reset();
                return false;
            }
            dec_ = av::makeCodecContext(codec);
            if (!dec_ || avcodec_parameters_to_context(dec_.get(), par) < 0
                || (r = avcodec_open2(dec_.get(), codec, nullptr)) < 0) {
                error = QStringLiteral("the station cannot decode its %1 pictures").arg(operatorCodecName(codec_));
                in_.reset();
                return false;
            }
            frame_ = av::makeFrame();
        }
        packet_ = av::makePacket();
        return bool(packet_);
    }

    // The next packet of the video stream within boundMs; <0 on failure or silence.
    int read(int boundMs)
    {
        setDeadline(boundMs);
        for (;;) {
            const int r = av_read_frame(in_.get(), packet_.get());
            if (r == AVERROR(EAGAIN))
                continue;
            if (r < 0)
                return r;
            if (packet_->stream_index == stream_)
                return 0;
            av_packet_unref(packet_.get());
        }
    }

    // Decodes the packet read last; a null picture while the decoder still waits for more.
    QImage decode()
    {
        if (!dec_ || avcodec_send_packet(dec_.get(), packet_.get()) < 0)
            return {};
        if (avcodec_receive_frame(dec_.get(), frame_.get()) < 0)
            return {};
        QImage image(frame_->width, frame_->height, QImage::Format_RGB32);
        // JPEG's full-range formats are told to the converter as a range, not a format.
        AVPixelFormat format = AVPixelFormat(frame_->format);
        bool fullRange = true;
        switch (format) {
        case AV_PIX_FMT_YUVJ420P: format = AV_PIX_FMT_YUV420P; break;
        case AV_PIX_FMT_YUVJ422P: format = AV_PIX_FMT_YUV422P; break;
        case AV_PIX_FMT_YUVJ444P: format = AV_PIX_FMT_YUV444P; break;
        default: fullRange = frame_->color_range == AVCOL_RANGE_JPEG; break;
        }
        if (image.isNull()
            || !av::reuseSwsContext(sws_, frame_->width, frame_->height, format, frame_->width, frame_->height,
                                    AV_PIX_FMT_RGB32, SWS_POINT)) {
            av_frame_unref(frame_.get());
            return {};
        }
        const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
        sws_setColorspaceDetails(sws_.get(), coefficients, fullRange ? 1 : 0, coefficients, 1, 0, 1 << 16, 1 << 16);
        uint8_t* dst[1] = {image.bits()};
        int dstStride[1] = {int(image.bytesPerLine())};
        sws_scale(sws_.get(), frame_->data, frame_->linesize, 0, frame_->height, dst, dstStride);
        av_frame_unref(frame_.get());
        return image;
    }

    bool timedOut() const { return !stop_ && steady_clock::now().time_since_epoch().count() > deadline_; }
    // An interrupted read that was not asked to stop ran into its deadline.
    bool silent(int result) const { return !stop_ && (result == AVERROR_EXIT || timedOut()); }

    AVPacket* packet() const { return packet_.get(); }
    AVCodecID codec() const { return codec_; }
    QSize size() const { return size_; }
    double framesPerSecond() const { return fps_; }
    double timeBase() const { return timeBase_; }
    bool realStamps() const { return realStamps_; }
    const QByteArray& extradata() const { return extradata_; }
    bool decodes() const { return bool(dec_); }

private:
    static int interrupted(void* self)
    {
        auto* c = static_cast<Connection*>(self);
        return c->stop_ || steady_clock::now().time_since_epoch().count() > c->deadline_ ? 1 : 0;
    }
    void setDeadline(int ms) { deadline_ = (steady_clock::now() + milliseconds(ms)).time_since_epoch().count(); }

    const std::atomic<bool>& stop_;
    std::atomic<steady_clock::rep> deadline_{0};
    av::FormatInput in_;
    av::CodecContext dec_;
    av::Frame frame_;
    av::Packet packet_;
    av::SwsContextPtr sws_;
    int stream_ = -1;
    AVCodecID codec_ = AV_CODEC_ID_NONE;
    QSize size_;
    double fps_ = 0;
    double timeBase_ = 0;
    bool realStamps_ = false;
    QByteArray extradata_;
};

class NetworkFrameSource : public FrameSource {
public:
    NetworkFrameSource(NetworkCamera camera, int framesPerSecond, NetworkTimings timings)
        : camera_(std::move(camera)), interval_(1.0 / std::max(1, framesPerSecond)), timings_(timings)
    {
    }

    bool open(QString& error)
    {
        auto c = std::make_unique<Connection>(stop_);
        QString why;
        if (!c->open(camera_, timings_.connectMs, timings_.picturesWithPackets, why)) {
            error = maskCredentials(QStringLiteral("Cannot connect to %1: %2").arg(camera_.name, why));
            return false;
        }
        if (storable(c->codec())) {
            CompressedStream cs;
            cs.codecId = c->codec();
            cs.codecName = operatorCodecName(c->codec());
            cs.size = c->size();
            cs.extradata = c->extradata();
            cs.framesPerSecond = c->framesPerSecond();
            stream_ = cs;
        }
        size_ = c->size();
        connection_ = std::move(c);
        return true;
    }

    QSize size() const { return size_; }
    void whenConnected(std::function<void(QSize)> fn) { connected_ = std::move(fn); }

    bool connectsLater() const override { return true; }
    bool start(QString& error) override
    {
        if (!open(error))
            return false;
        if (connected_)
            connected_(size_);
        return true;
    }

    std::optional<CompressedStream> compressedStream() const override { return stream_; }
    void setNoticeHandler(std::function<void(const QString&)> handler) override { notice_ = std::move(handler); }

    std::optional<Frame> next() override
    {
        while (!stop_) {
            if (!connection_ && !reconnect())
                return std::nullopt;
            const int r = connection_->read(timings_.silenceMs);
            if (stop_)
                return std::nullopt;
            if (r < 0) {
                const bool silent = connection_->silent(r);
                connection_.reset();
                tell(silent ? QStringLiteral("%1 is silent: reconnecting").arg(camera_.name)
                            : QStringLiteral("%1 stopped sending: reconnecting").arg(camera_.name));
                continue;
            }
            AVPacket* p = connection_->packet();
            const auto arrival = CaptureClock::now();
            lastPicture_ = arrival;
            const bool key = (p->flags & AV_PKT_FLAG_KEY) != 0;
            // After a (re)connection the pictures before the first key frame cannot be decoded.
            if (waitingForKey_ && !key && connection_->codec() != AV_CODEC_ID_MJPEG) {
                av_packet_unref(p);
                continue;
            }
            waitingForKey_ = false;
            Frame f;
            f.time = stamp(p, arrival);
            f.keyFrame = key || connection_->codec() == AV_CODEC_ID_MJPEG;
            if (stream_)
                f.packet = QByteArray(reinterpret_cast<const char*>(p->data), p->size);
            if (connection_->decodes()) {
                QImage image = connection_->decode();
                if (!image.isNull())
                    lastImage_ = image;
                // A decoder that holds a picture back still leaves every slot a picture.
                f.image = lastImage_;
            }
            av_packet_unref(p);
            // Pictures wanted but none decoded yet (a decoder that starts late): nothing to give.
            if (f.image.isNull() && (f.packet.isEmpty() || timings_.picturesWithPackets))
                continue;
            return f;
        }
        return std::nullopt;
    }

    void interrupt() override
    {
        stop_ = true;
        std::lock_guard lock(waitM_);
        waitCv_.notify_all();
    }
    QString error() const override { return error_; }

private:
    // Tries again every retryMs until the camera answers, the source is interrupted or the
    // give-up time has passed.
    bool reconnect()
    {
        bool first = true;
        while (!stop_) {
            const auto silentFor = duration_cast<milliseconds>(steady_clock::now() - lastPicture_).count();
            if (timings_.giveUpMs > 0 && silentFor >= timings_.giveUpMs) {
                error_ = QStringLiteral("Lost %1: no picture for %2 s").arg(camera_.name, secondsText(timings_.giveUpMs));
                return false;
            }
            if (!first) {
                std::unique_lock lock(waitM_);
                waitCv_.wait_for(lock, milliseconds(timings_.retryMs), [this] { return bool(stop_); });
                if (stop_)
                    return false;
            }
            first = false;
            auto c = std::make_unique<Connection>(stop_);
            QString why;
            if (c->open(camera_, timings_.connectMs, timings_.picturesWithPackets, why)) {
                connection_ = std::move(c);
                waitingForKey_ = true;
                anchored_ = false;
                tell(QStringLiteral("Reconnected to %1").arg(camera_.name));
                return true;
            }
        }
        return false;
    }

    // When the picture was taken: the stream's own time stamps where it has real ones.
    // Where it has none (MJPEG over HTTP) the pictures are put on a grid of the recording's
    // frame interval that follows the arrivals: a picture held up on the network, or a
    // burst after a hold-up, still fills its own slot of a recording. Only an arrival far
    // off the grid (a camera at another rate, a reconnection) sets the grid to it again.
    CaptureClock::time_point stamp(const AVPacket* p, CaptureClock::time_point arrival)
    {
        const auto interval = duration_cast<CaptureClock::duration>(duration<double>(interval_));
        CaptureClock::time_point t = arrival;
        const int64_t ts = p->dts != AV_NOPTS_VALUE ? p->dts : p->pts;
        if (connection_->realStamps() && ts != AV_NOPTS_VALUE) {
            const double since = anchored_ ? (ts - anchorStamp_) * connection_->timeBase() : 0;
            // A stamp that jumps (a camera restarted its clock) starts the count again, and so
            // does one that would put a picture after its own arrival: the anchor came late.
            const double ahead = anchored_ ? duration<double>(anchorTime_ - arrival).count() + since : 0;
            if (!anchored_ || since < 0 || ahead > 0.002 || ahead < -1.0) {
                anchored_ = true;
                anchorStamp_ = ts;
                anchorTime_ = arrival;
            } else {
                t = anchorTime_ + duration_cast<CaptureClock::duration>(duration<double>(since));
            }
        } else if (last_) {
            const auto grid = *last_ + interval;
            const auto tolerance = std::max(duration_cast<CaptureClock::duration>(milliseconds(100)), 3 * interval);
            if (arrival - grid <= tolerance && grid - arrival <= tolerance)
                t = grid;
        }
        if (last_ && t <= *last_)
            t = *last_ + microseconds(1);   // never back in time
        last_ = t;
        return t;
    }

    void tell(const QString& text)
    {
        if (notice_)
            notice_(maskCredentials(text));
    }

    // The flag the interrupt callbacks read outlives the connection.
    std::atomic<bool> stop_{false};
    std::mutex waitM_;
    std::condition_variable waitCv_;
    NetworkCamera camera_;
    double interval_;
    NetworkTimings timings_;
    std::unique_ptr<Connection> connection_;
    std::function<void(QSize)> connected_;
    std::optional<CompressedStream> stream_;
    QSize size_;
    std::function<void(const QString&)> notice_;
    QString error_;
    QImage lastImage_;
    bool waitingForKey_ = true;
    CaptureClock::time_point lastPicture_ = CaptureClock::now();
    std::optional<CaptureClock::time_point> last_;
    bool anchored_ = false;
    int64_t anchorStamp_ = 0;
    CaptureClock::time_point anchorTime_;
};

} // namespace

bool isNetworkCameraAddress(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    return url.isValid() && kSchemes.contains(url.scheme().toLower()) && !url.host().isEmpty();
}

QString addressWithCredentials(const NetworkCamera& camera)
{
    if (camera.user.isEmpty() && camera.password.isEmpty())
        return camera.address;
    const int start = int(camera.address.indexOf(QStringLiteral("://")));
    if (start < 0)
        return camera.address;
    QString userInfo = QString::fromUtf8(QUrl::toPercentEncoding(camera.user));
    if (!camera.password.isEmpty())
        userInfo += QLatin1Char(':') + QString::fromUtf8(QUrl::toPercentEncoding(camera.password));
    return camera.address.left(start + 3) + userInfo + QLatin1Char('@') + camera.address.mid(start + 3);
}

NetworkCamera withCredentialsSeparated(NetworkCamera camera)
{
    camera.address = camera.address.trimmed();
    const int start = int(camera.address.indexOf(QStringLiteral("://")));
    if (start <= 0)
        return camera;
    const int from = start + 3;
    int end = int(camera.address.indexOf(QLatin1Char('/'), from));
    if (end < 0)
        end = int(camera.address.size());
    // The host follows the last '@' of the authority: a password may hold one unencoded.
    const int at = int(camera.address.lastIndexOf(QLatin1Char('@'), end - 1));
    if (at < from)
        return camera;
    const QString userInfo = camera.address.mid(from, at - from);
    const int colon = int(userInfo.indexOf(QLatin1Char(':')));
    camera.user = QUrl::fromPercentEncoding(userInfo.left(colon < 0 ? userInfo.size() : colon).toUtf8());
    camera.password = colon < 0 ? QString() : QUrl::fromPercentEncoding(userInfo.mid(colon + 1).toUtf8());
    camera.address.remove(from, at - from + 1);
    return camera;
}

QString maskCredentials(const QString& text)
{
    // Up to the last '@' of the address: a password typed with '/' or '@' in it is hidden
    // whole, at the price of hiding a path that holds an '@' too.
    static const QRegularExpression credentials(QStringLiteral("([A-Za-z][A-Za-z0-9+.-]*://[^/@:\\s]*):\\S*@"));
    QString out = text;
    out.replace(credentials, QStringLiteral("\\1:***@"));
    return out;
}

QList<NetworkCamera> loadNetworkCameras(const SettingsStore& store)
{
    QList<NetworkCamera> out;
    const int n = std::clamp(store.getInt(QStringLiteral("networkCameras"), 0), 0, 64);
    for (int i = 1; i <= n; ++i) {
        const QString k = QStringLiteral("networkCamera%1").arg(i);
        NetworkCamera c;
        c.name = store.get(k + QStringLiteral("Name")).trimmed();
        c.address = store.get(k + QStringLiteral("Address")).trimmed();
        c.user = store.get(k + QStringLiteral("User"));
        c.password = store.get(k + QStringLiteral("Password"));
        if (!c.name.isEmpty() && isNetworkCameraAddress(c.address))
            out << c;
    }
    return out;
}

void saveNetworkCameras(SettingsStore& store, const QList<NetworkCamera>& cameras)
{
    SettingsStore::Batch batch(store);
    const int before = store.getInt(QStringLiteral("networkCameras"), 0);
    for (int i = 1; i <= std::max(before, int(cameras.size())); ++i) {
        const QString k = QStringLiteral("networkCamera%1").arg(i);
        const NetworkCamera c = i <= cameras.size() ? cameras[i - 1] : NetworkCamera{};
        store.save(k + QStringLiteral("Name"), c.name);
        store.save(k + QStringLiteral("Address"), c.address);
        store.save(k + QStringLiteral("User"), c.user);
        store.save(k + QStringLiteral("Password"), c.password);
    }
    store.save(QStringLiteral("networkCameras"), int(cameras.size()));
}

NetworkProbe probeNetworkCamera(const NetworkCamera& camera, const NetworkTimings& timings)
{
    NetworkProbe probe;
    std::atomic<bool> stop{false};
    Connection c(stop);
    QString why;
    if (!c.open(camera, timings.connectMs, false, why)) {
        probe.text = maskCredentials(QStringLiteral("Cannot connect to %1: %2").arg(camera.name, why));
        return probe;
    }
    probe.size = c.size();
    probe.codecName = operatorCodecName(c.codec());
    probe.framesPerSecond = c.framesPerSecond();
    // A camera that announces no rate is timed: a dozen pictures, two seconds at most.
    if (probe.framesPerSecond <= 0) {
        std::optional<CaptureClock::time_point> first;
        int pictures = 0;
        const auto until = CaptureClock::now() + seconds(2);
        while (pictures < 13 && CaptureClock::now() < until && c.read(timings.silenceMs) >= 0) {
            av_packet_unref(c.packet());
            if (!first)
                first = CaptureClock::now();
            else
                ++pictures;
        }
        if (pictures >= 2)
            probe.framesPerSecond = pictures / duration<double>(CaptureClock::now() - *first).count();
    }
    probe.ok = true;
    const QString rate = probe.framesPerSecond > 0 ? QStringLiteral(" at %1 fps").arg(rateText(probe.framesPerSecond))
                                                   : QString();
    probe.text = maskCredentials(QStringLiteral("Connected to %1: %2x%3 %4%5")
                                     .arg(camera.name)
                                     .arg(probe.size.width())
                                     .arg(probe.size.height())
                                     .arg(probe.codecName, rate));
    return probe;
}

std::unique_ptr<FrameSource> openNetworkCamera(const NetworkCamera& camera, int framesPerSecond,
                                               const NetworkTimings& timings, QString& error)
{
    auto s = std::make_unique<NetworkFrameSource>(camera, framesPerSecond, timings);
    if (!s->open(error))
        return nullptr;
    return s;
}

void NetworkCameraBackend::setCameras(const QList<NetworkCamera>& cameras)
{
    std::lock_guard lock(m_);
    cameras_ = cameras;
}

QList<NetworkCamera> NetworkCameraBackend::cameras() const
{
    std::lock_guard lock(m_);
    return cameras_;
}

QList<VideoDeviceInfo> NetworkCameraBackend::devices()
{
    std::scoped_lock lock(m_, sizes_->first);
    const QMap<QString, QSize>& sizes = sizes_->second;
    QList<VideoDeviceInfo> out;
    for (const NetworkCamera& c : cameras_) {
        VideoDeviceInfo d;
        d.name = c.name;
        d.id = c.address;
        // The camera decides size and format; the station takes what it sends.
        VideoFormatInfo f;
        f.name = QStringLiteral("Camera's own");
        if (sizes.contains(c.address))
            f.sizes << sizes.value(c.address);
        d.formats << f;
        out << d;
    }
    return out;
}

std::unique_ptr<FrameSource> NetworkCameraBackend::open(const VideoDeviceInfo& device, const VideoOpenRequest& request,
                                                        QString& error)
{
    std::optional<NetworkCamera> camera;
    {
        std::lock_guard lock(m_);
        for (const NetworkCamera& c : cameras_)
            if (c.name == device.name && c.address == device.id)
                camera = c;
    }
    if (!camera) {
        error = QStringLiteral("%1 is no longer in the list of network cameras").arg(device.name);
        return nullptr;
    }
    // Connecting is the source's start, on the capture thread.
    auto s = std::make_unique<NetworkFrameSource>(*camera, request.framesPerSecond, timings_);
    s->whenConnected([book = sizes_, address = camera->address](QSize size) {
        std::lock_guard lock(book->first);
        book->second[address] = size;
    });
    return s;
}

QSize NetworkCameraBackend::lastSize(const QString& id) const
{
    std::lock_guard lock(sizes_->first);
    return sizes_->second.value(id);
}

} // namespace tarvex
