#include "review/video_clip_source.h"

namespace tarvex {

std::shared_ptr<VideoClipSource> VideoClipSource::open(const QString& path, QString* error)
{
    std::shared_ptr<VideoClipSource> s(new VideoClipSource);
    if (!s->reader_.open(path)) {
        if (error)
            *error = s->reader_.error();
        return nullptr;
    }
    s->count_ = s->reader_.frameCount();
    s->rate_ = s->reader_.frameRateValue();
    return s;
}

} // namespace tarvex
