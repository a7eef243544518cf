// DirectShow cameras through libavdevice's dshow input, listed by the input itself.
#include "capture/capture_backend.h"
#include "capture/libav_frame_source.h"

#include <algorithm>

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
}

namespace tarvex {

namespace {

class DirectShowBackend : public VideoBackend {
public:
    QList<VideoDeviceInfo> devices() override
    {
        QList<VideoDeviceInfo> out;
        avdevice_register_all();
        const AVInputFormat* fmt = av_find_input_format("dshow");
        AVDeviceInfoList* list = nullptr;
        if (!fmt || avdevice_list_input_sources(fmt, nullptr, nullptr, &list) < 0)
            return out;
        for (int i = 0; i < list->nb_devices; ++i) {
            const AVDeviceInfo* info = list->devices[i];
            bool video = info->nb_media_types == 0;
            for (int k = 0; k < info->nb_media_types; ++k)
                video = video || info->media_types[k] == AVMEDIA_TYPE_VIDEO;
            if (!video)
                continue;
            VideoDeviceInfo d;
            d.name = QString::fromUtf8(info->device_description);
            d.id = QString::fromUtf8(info->device_name);
            // DirectShow offers no listing of sizes through libavdevice; the usual ones are
            // offered and the filter refuses what it cannot do when opened.
            d.formats = {VideoFormatInfo{QStringLiteral("Default"), {},
                                         {QSize(640, 480), QSize(1280, 720), QSize(1920, 1080)}, {}}};
            out << d;
        }
        avdevice_free_list_devices(&list);
        return out;
    }

    std::unique_ptr<FrameSource> open(const VideoDeviceInfo& device, const VideoOpenRequest& r, QString& error) override
    {
        QMap<QString, QString> opts;
        opts[QStringLiteral("video_size")] = QStringLiteral("%1x%2").arg(r.size.width()).arg(r.size.height());
        opts[QStringLiteral("framerate")] = QString::number(r.framesPerSecond);
        return openLibavFrameSource(QStringLiteral("dshow"), QStringLiteral("video=") + device.id, opts, error);
    }
};

} // namespace

std::unique_ptr<VideoBackend> makePlatformVideoBackend() { return std::make_unique<DirectShowBackend>(); }

} // namespace tarvex
