#pragma once
// A video file as the frame view's source. VideoReader is not safe for calls from two
// threads at once: the reader is opened here and from then on only the frame view's one
// worker thread asks it for frames.
#include "media/video_reader.h"
#include "widgets/clip_source.h"

#include <memory>

namespace tarvex {

class VideoClipSource : public ClipSource {
public:
    // Null with `error` set when the file cannot be read or has no decodable video.
    static std::shared_ptr<VideoClipSource> open(const QString& path, QString* error = nullptr);

    int frameCount() const override { return count_; }
    double frameRate() const override { return rate_; }
    QImage frame(int n) override { return reader_.frame(n); }
    QImage frameAndState(int n, bool& damaged) override { return reader_.frame(n, nullptr, &damaged); }

private:
    VideoClipSource() = default;
    VideoReader reader_;
    int count_ = 0;
    double rate_ = 0;
};

} // namespace tarvex
