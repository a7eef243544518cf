#include "capture/libav_frame_source.h"
#include "capture/av_error.h"

#include <atomic>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace tarvex {

namespace {

class LibavFrameSource : public FrameSource {
public:
    ~LibavFrameSource() override
    {
        sws_freeContext(sws_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&dec_);
        avformat_close_input(&in_);
    }

    bool open(const QString& format, const QString& url, const QMap<QString, QString>& options, QString& error)
    {
        avdevice_register_all();
        const AVInputFormat* fmt = av_find_input_format(format.toUtf8().constData());
        if (!fmt) {
            error = QStringLiteral("This build has no %1 input").arg(format);
            return false;
        }
        in_ = avformat_alloc_context();
        in_->interrupt_callback.callback = &LibavFrameSource::interrupted;
        in_->interrupt_callback.opaque = this;
        AVDictionary* opts = nullptr;
        for (auto it = options.begin(); it != options.end(); ++it)
            av_dict_set(&opts, it.key().toUtf8().constData(), it.value().toUtf8().constData(), 0);
        int r = avformat_open_input(&in_, url.toUtf8().constData(), fmt, &opts);
        av_dict_free(&opts);
        if (r < 0) {
            error = QStringLiteral("Cannot open %1: %2").arg(url, avError(r));
            return false;
        }
        r = avformat_find_stream_info(in_, nullptr);
        stream_ = av_find_best_stream(in_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (r < 0 || stream_ < 0) {
            error = QStringLiteral("%1 delivers no pictures").arg(url);
            return false;
        }
        const AVCodecParameters* par = in_->streams[stream_]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        if (!codec) {
            error = QStringLiteral("No decoder for the pictures of %1").arg(url);
            return false;
        }
        dec_ = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(dec_, par);
        dec_->thread_count = 1;
        if ((r = avcodec_open2(dec_, codec, nullptr)) < 0) {
            error = QStringLiteral("Cannot decode the pictures of %1: %2").arg(url, avError(r));
            return false;
        }
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        return true;
    }

    std::optional<Frame> next() override
    {
        while (!stop_) {
            const int r = av_read_frame(in_, packet_);
            if (r == AVERROR(EAGAIN))
                continue;
            if (r < 0) {
                if (!stop_)
                    error_ = QStringLiteral("The capture device stopped: %1").arg(avError(r));
                return std::nullopt;
            }
            const auto taken = CaptureClock::now();
            if (packet_->stream_index != stream_) {
                av_packet_unref(packet_);
                continue;
            }
            const int s = avcodec_send_packet(dec_, packet_);
            av_packet_unref(packet_);
            if (s < 0)
                continue;   // a damaged picture from the device: wait for the next
            if (avcodec_receive_frame(dec_, frame_) < 0)
                continue;
            QImage image(frame_->width, frame_->height, QImage::Format_RGB32);
            sws_ = sws_getCachedContext(sws_, frame_->width, frame_->height, AVPixelFormat(frame_->format),
                                        frame_->width, frame_->height, AV_PIX_FMT_RGB32, SWS_POINT, nullptr,
                                        nullptr, nullptr);
            if (!sws_ || image.isNull()) {
                error_ = QStringLiteral("Cannot convert the device's pictures");
                return std::nullopt;
            }
            uint8_t* dst[1] = {image.bits()};
            int dstStride[1] = {int(image.bytesPerLine())};
            sws_scale(sws_, frame_->data, frame_->linesize, 0, frame_->height, dst, dstStride);
            av_frame_unref(frame_);
            return Frame{image, taken};
        }
        return std::nullopt;
    }

    void interrupt() override { stop_ = true; }
    QString error() const override { return error_; }

private:
    static int interrupted(void* self) { return static_cast<LibavFrameSource*>(self)->stop_ ? 1 : 0; }

    AVFormatContext* in_ = nullptr;
    AVCodecContext* dec_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* sws_ = nullptr;
    int stream_ = -1;
    std::atomic<bool> stop_{false};
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
