#include "capture/audio_source.h"
#include "capture/av_error.h"
#include "media/av_handles.h"

#include <atomic>

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace tarvex {

namespace {

class LibavAudioSource : public AudioSource {
public:
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
        in_ = av::makeFormatInput();
        if (!in_) {
            error = QStringLiteral("Cannot open the sound device %1: %2").arg(d.name, avError(AVERROR(ENOMEM)));
            return false;
        }
        in_->interrupt_callback.callback = [](void* self) { return static_cast<LibavAudioSource*>(self)->stop_ ? 1 : 0; };
        in_->interrupt_callback.opaque = this;
        av::Dictionary opts;
        av_dict_set_int(opts.address(), "sample_rate", rate, 0);
        av_dict_set_int(opts.address(), "channels", channels, 0);
        const QString url = d.format == QLatin1String("dshow") ? QStringLiteral("audio=") + d.id : d.id;
        int r = av::openInput(in_, url.toUtf8().constData(), fmt, &opts);
        if (r < 0) {
            error = QStringLiteral("Cannot open the sound device %1: %2").arg(d.name, avError(r));
            return false;
        }
        stream_ = av_find_best_stream(in_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (stream_ < 0) {
            error = QStringLiteral("The sound device %1 delivers no sound").arg(d.name);
            return false;
        }
        const AVCodecParameters* par = in_->streams[stream_]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        dec_ = av::makeCodecContext(codec);
        if (!dec_ || avcodec_parameters_to_context(dec_.get(), par) < 0
            || avcodec_open2(dec_.get(), codec, nullptr) < 0) {
            error = QStringLiteral("Cannot decode the sound of %1").arg(d.name);
            return false;
        }
        // Whatever the device gives, the file gets the format the operator chose.
        AVChannelLayout out{};
        av_channel_layout_default(&out, channels);
        SwrContext* swr = nullptr;
        r = swr_alloc_set_opts2(&swr, &out, bits == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16, rate, &dec_->ch_layout,
                                dec_->sample_fmt, dec_->sample_rate, 0, nullptr);
        swr_.reset(swr);   // swr_alloc_set_opts2 leaves it null when it fails
        if (r < 0 || swr_init(swr_.get()) < 0) {
            error = QStringLiteral("Cannot convert the sound of %1").arg(d.name);
            return false;
        }
        frame_ = av::makeFrame();
        packet_ = av::makePacket();
        if (!frame_ || !packet_) {
            error = QStringLiteral("Cannot decode the sound of %1").arg(d.name);
            return false;
        }
        return true;
    }

    QByteArray read() override
    {
        while (!stop_) {
            const int r = av_read_frame(in_.get(), packet_.get());
            if (r == AVERROR(EAGAIN))
                continue;
            if (r < 0) {
                if (!stop_)
                    error_ = QStringLiteral("The sound device stopped: %1").arg(avError(r));
                return {};
            }
            if (packet_->stream_index != stream_ || avcodec_send_packet(dec_.get(), packet_.get()) < 0) {
                av_packet_unref(packet_.get());
                continue;
            }
            av_packet_unref(packet_.get());
            QByteArray out;
            while (avcodec_receive_frame(dec_.get(), frame_.get()) >= 0) {
                const int room = swr_get_out_samples(swr_.get(), frame_->nb_samples);
                QByteArray chunk(room * channels_ * bits_ / 8, Qt::Uninitialized);
                uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(chunk.data())};
                const int got = swr_convert(swr_.get(), dst, room, const_cast<const uint8_t**>(frame_->extended_data),
                                            frame_->nb_samples);
                if (got > 0)
                    out.append(chunk.left(got * channels_ * bits_ / 8));
                av_frame_unref(frame_.get());
            }
            if (!out.isEmpty())
                return out;
        }
        return {};
    }

    void interrupt() override { stop_ = true; }
    QString error() const override { return error_; }

private:
    // Members go in reverse order: the device is closed after the decoder and resampler,
    // and the flag its interrupt callback reads outlives it.
    std::atomic<bool> stop_{false};
    av::FormatInput in_;
    av::CodecContext dec_;
    av::Frame frame_;
    av::Packet packet_;
    av::SwrContextPtr swr_;
    int stream_ = -1, rate_ = 0, channels_ = 0, bits_ = 0;
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
