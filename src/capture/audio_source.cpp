#include "capture/audio_source.h"
#include "capture/av_error.h"

#include <atomic>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace tarvex {

namespace {

class LibavAudioSource : public AudioSource {
public:
    ~LibavAudioSource() override
    {
        swr_free(&swr_);
        av_packet_free(&packet_);
        av_frame_free(&frame_);
        avcodec_free_context(&dec_);
        avformat_close_input(&in_);
    }

    bool open(const AudioDeviceInfo& d, int rate, int channels, int bits, QString& error)
    {
        avdevice_register_all();
        rate_ = rate;
        channels_ = channels;
        bits_ = bits;
        const AVInputFormat* fmt = av_find_input_format(d.format.toUtf8().constData());
        if (!fmt) {
            error = QStringLiteral("This build has no %1 sound input").arg(d.format);
            return false;
        }
        in_ = avformat_alloc_context();
        in_->interrupt_callback.callback = [](void* self) { return static_cast<LibavAudioSource*>(self)->stop_ ? 1 : 0; };
        in_->interrupt_callback.opaque = this;
        AVDictionary* opts = nullptr;
        av_dict_set_int(&opts, "sample_rate", rate, 0);
        av_dict_set_int(&opts, "channels", channels, 0);
        const QString url = d.format == QLatin1String("dshow") ? QStringLiteral("audio=") + d.id : d.id;
        int r = avformat_open_input(&in_, url.toUtf8().constData(), fmt, &opts);
        av_dict_free(&opts);
        if (r < 0) {
            error = QStringLiteral("Cannot open the sound device %1: %2").arg(d.name, avError(r));
            return false;
        }
        stream_ = av_find_best_stream(in_, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (stream_ < 0) {
            error = QStringLiteral("The sound device %1 delivers no sound").arg(d.name);
            return false;
        }
        const AVCodecParameters* par = in_->streams[stream_]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        dec_ = codec ? avcodec_alloc_context3(codec) : nullptr;
        if (!dec_ || avcodec_parameters_to_context(dec_, par) < 0 || avcodec_open2(dec_, codec, nullptr) < 0) {
            error = QStringLiteral("Cannot decode the sound of %1").arg(d.name);
            return false;
        }
        // Whatever the device gives, the file gets the format the operator chose.
        AVChannelLayout out{};
        av_channel_layout_default(&out, channels);
        r = swr_alloc_set_opts2(&swr_, &out, bits == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16, rate, &dec_->ch_layout,
                                dec_->sample_fmt, dec_->sample_rate, 0, nullptr);
        if (r < 0 || swr_init(swr_) < 0) {
            error = QStringLiteral("Cannot convert the sound of %1").arg(d.name);
            return false;
        }
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        return true;
    }

    QByteArray read() override
    {
        while (!stop_) {
            const int r = av_read_frame(in_, packet_);
            if (r == AVERROR(EAGAIN))
                continue;
            if (r < 0) {
                if (!stop_)
                    error_ = QStringLiteral("The sound device stopped: %1").arg(avError(r));
                return {};
            }
            if (packet_->stream_index != stream_ || avcodec_send_packet(dec_, packet_) < 0) {
                av_packet_unref(packet_);
                continue;
            }
            av_packet_unref(packet_);
            QByteArray out;
            while (avcodec_receive_frame(dec_, frame_) >= 0) {
                const int room = swr_get_out_samples(swr_, frame_->nb_samples);
                QByteArray chunk(room * channels_ * bits_ / 8, Qt::Uninitialized);
                uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(chunk.data())};
                const int got = swr_convert(swr_, dst, room, const_cast<const uint8_t**>(frame_->extended_data),
                                            frame_->nb_samples);
                if (got > 0)
                    out.append(chunk.left(got * channels_ * bits_ / 8));
                av_frame_unref(frame_);
            }
            if (!out.isEmpty())
                return out;
        }
        return {};
    }

    void interrupt() override { stop_ = true; }
    QString error() const override { return error_; }

private:
    AVFormatContext* in_ = nullptr;
    AVCodecContext* dec_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwrContext* swr_ = nullptr;
    int stream_ = -1, rate_ = 0, channels_ = 0, bits_ = 0;
    std::atomic<bool> stop_{false};
    QString error_;
};

} // namespace

std::unique_ptr<AudioSource> openAudioSource(const AudioDeviceInfo& device, int sampleRate, int channels, int bits,
                                             QString& error)
{
    auto s = std::make_unique<LibavAudioSource>();
    if (!s->open(device, sampleRate, channels, bits, error))
        return nullptr;
    return s;
}

} // namespace tarvex
