#include "review/video_frame_source.h"

namespace tarvex {

std::shared_ptr<VideoFrameSource> VideoFrameSource::open(const QString& path, QString* error)
{
    std::shared_ptr<VideoFrameSource> s(new VideoFrameSource);
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
