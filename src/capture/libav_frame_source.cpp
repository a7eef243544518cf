#include "capture/libav_frame_source.h"
#include "capture/av_error.h"
#include "media/av_handles.h"

#include <atomic>

extern "C" {
#include <libavdevice/avdevice.h>
}

namespace tarvex {

namespace {

class LibavFrameSource : public FrameSource {
public:
    bool open(const QString& format, const QString& url, const QMap<QString, QString>& options, QString& error)
    {
        avdevice_register_all();
        const AVInputFormat* fmt = av_find_input_format(format.toUtf8().constData());
        if (!fmt) {
            error = QStringLiteral("This build has no %1 input").arg(format);
            return false;
        }
        in_ = av::makeFormatInput();
        if (!in_) {
            error = QStringLiteral("Cannot open %1: %2").arg(url, avError(AVERROR(ENOMEM)));
            return false;
        }
        in_->interrupt_callback.callback = &LibavFrameSource::interrupted;
        in_->interrupt_callback.opaque = this;
        av::Dictionary opts;
        for (auto it = options.begin(); it != options.end(); ++it)
            av_dict_set(opts.address(), it.key().toUtf8().constData(), it.value().toUtf8().constData(), 0);
        int r = av::openInput(in_, url.toUtf8().constData(), fmt, &opts);
        if (r < 0) {
            error = QStringLiteral("Cannot open %1: %2").arg(url, avError(r));
            return false;
        }
        r = avformat_find_stream_info(in_.get(), nullptr);
        stream_ = av_find_best_stream(in_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (r < 0 || stream_ < 0) {
            error = QStringLiteral("%1 delivers no pictures").arg(url);
            return false;
        }
        const AVCodecParameters* par = in_->streams[stream_]->codecpar;
        if (par->codec_id == AV_CODEC_ID_MJPEG) {
            // The camera compresses already: its pictures are handed on as they come and only
            // the preview decodes them.
            CompressedStream st;
            st.codecId = AV_CODEC_ID_MJPEG;
            st.codecName = QStringLiteral("MJPEG");
            st.size = QSize(par->width, par->height);
            const AVRational rate = in_->streams[stream_]->avg_frame_rate;
            st.framesPerSecond = rate.den > 0 ? av_q2d(rate) : 0.0;
            compressed_ = st;
            packet_ = av::makePacket();
            if (!packet_) {
                error = QStringLiteral("Cannot open %1: %2").arg(url, avError(AVERROR(ENOMEM)));
                return false;
            }
            return true;
        }
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        if (!codec) {
            error = QStringLiteral("No decoder for the pictures of %1").arg(url);
            return false;
        }
        dec_ = av::makeCodecContext(codec);
        if (!dec_) {
            error = QStringLiteral("Cannot decode the pictures of %1: %2").arg(url, avError(AVERROR(ENOMEM)));
            return false;
        }
        avcodec_parameters_to_context(dec_.get(), par);
        dec_->thread_count = 1;
        if ((r = avcodec_open2(dec_.get(), codec, nullptr)) < 0) {
            error = QStringLiteral("Cannot decode the pictures of %1: %2").arg(url, avError(r));
            return false;
        }
        frame_ = av::makeFrame();
        packet_ = av::makePacket();
        if (!frame_ || !packet_) {
            error = QStringLiteral("Cannot decode the pictures of %1: %2").arg(url, avError(AVERROR(ENOMEM)));
            return false;
        }
        return true;
    }

    std::optional<Frame> next() override
    {
        while (!stop_) {
            const int r = av_read_frame(in_.get(), packet_.get());
            if (r == AVERROR(EAGAIN))
                continue;
            if (r < 0) {
                if (!stop_)
                    error_ = QStringLiteral("The capture device stopped: %1").arg(avError(r));
                return std::nullopt;
            }
            const auto taken = CaptureClock::now();
            if (packet_->stream_index != stream_) {
                av_packet_unref(packet_.get());
                continue;
            }
            if (compressed_) {
                Frame f;
                f.time = taken;
                f.packet = QByteArray(reinterpret_cast<const char*>(packet_->data), packet_->size);
                f.keyFrame = true;
                av_packet_unref(packet_.get());
                if (f.packet.isEmpty())
                    continue;
                return f;
            }
            const int s = avcodec_send_packet(dec_.get(), packet_.get());
            av_packet_unref(packet_.get());
            if (s < 0)
                continue;   // a damaged picture from the device: wait for the next
            if (avcodec_receive_frame(dec_.get(), frame_.get()) < 0)
                continue;
            QImage image(frame_->width, frame_->height, QImage::Format_RGB32);
            const bool converts = av::reuseSwsContext(sws_, frame_->width, frame_->height,
                                                      AVPixelFormat(frame_->format), frame_->width, frame_->height,
                                                      AV_PIX_FMT_RGB32, SWS_POINT);
            if (!converts || image.isNull()) {
                error_ = QStringLiteral("Cannot convert the device's pictures");
                return std::nullopt;
            }
            uint8_t* dst[1] = {image.bits()};
            int dstStride[1] = {int(image.bytesPerLine())};
            sws_scale(sws_.get(), frame_->data, frame_->linesize, 0, frame_->height, dst, dstStride);
            av_frame_unref(frame_.get());
            return Frame{image, taken};
        }
        return std::nullopt;
    }

    std::optional<CompressedStream> compressedStream() const override { return compressed_; }
    void interrupt() override { stop_ = true; }
    QString error() const override { return error_; }

private:
    static int interrupted(void* self) { return static_cast<LibavFrameSource*>(self)->stop_ ? 1 : 0; }

    // Members go in reverse order: the device is closed after the decoder and converter,
    // and the flag its interrupt callback reads outlives it.
    std::atomic<bool> stop_{false};
    av::FormatInput in_;
    av::CodecContext dec_;
    av::Frame frame_;
    av::Packet packet_;
    av::SwsContextPtr sws_;
    int stream_ = -1;
    std::optional<CompressedStream> compressed_;   // set: packets are handed on undecoded
    QString error_;
};

} // namespace

std::unique_ptr<FrameSource> openLibavFrameSource(const QString& format, const QString& url,
                                                  const QMap<QString, QString>& options, QString& error)
{
    auto s = std::make_unique<LibavFrameSource>();
    if (!s->open(format, url, options, error))
        return nullptr;
    return s;
}

} // namespace tarvex
