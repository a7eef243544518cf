#include "capture/capture_backend.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
}

namespace tarvex {

namespace {

class LibavdeviceAudioBackend : public AudioBackend {
public:
    QList<AudioDeviceInfo> devices() override
    {
        avdevice_register_all();
        QList<AudioDeviceInfo> out;
#ifdef Q_OS_WIN
        const char* formats[] = {"dshow"};
#else
        const char* formats[] = {"pulse", "alsa"};
#endif
        for (const char* name : formats) {
            const AVInputFormat* fmt = av_find_input_format(name);
            AVDeviceInfoList* list = nullptr;
            if (!fmt || avdevice_list_input_sources(fmt, nullptr, nullptr, &list) < 0 || !list)
                continue;
            for (int i = 0; i < list->nb_devices; ++i) {
                const AVDeviceInfo* info = list->devices[i];
                bool audio = info->nb_media_types == 0;
                for (int k = 0; k < info->nb_media_types; ++k)
                    audio = audio || info->media_types[k] == AVMEDIA_TYPE_AUDIO;
                // ALSA's "null" makes silence without end: nothing an operator records from.
                if (!audio || qstrcmp(info->device_name, "null") == 0)
                    continue;
                out << AudioDeviceInfo{QString::fromUtf8(info->device_description), QString::fromLatin1(name),
                                       QString::fromUtf8(info->device_name)};
            }
            avdevice_free_list_devices(&list);
            if (!out.isEmpty())
                break;   // PulseAudio already lists what ALSA would, under better names
        }
        return out;
    }
};

} // namespace

std::unique_ptr<AudioBackend> makeLibavdeviceAudioBackend() { return std::make_unique<LibavdeviceAudioBackend>(); }

} // namespace tarvex
