#include "media/frame_extract.h"

#include "media/bitmap.h"
#include "media/video_reader.h"

namespace tarvex {

namespace {

const QString kAppTitle = QStringLiteral("Tarvex");

ExtractResult fileError(Prompter& p, const QString& path, ExtractResult r = ExtractResult::FileError)
{
    p.message(QStringLiteral("There was an error working with the file:\r\n") + path, kAppTitle,
              Icon::Information);
    return r;
}

} // namespace

ExtractResult extractFrame(Prompter& prompter, VideoReader& video, int n, const QString& bmpPath)
{
    if (!video.isOpen())
        return fileError(prompter, video.path());
    if (n < 0 || n >= video.frameCount())
        return fileError(prompter, video.path(), ExtractResult::OutsideClip);
    QString problem;
    const QByteArray bits = video.bitmapPixels(n, &problem);
    Bitmap dib;
    if (bits.isEmpty() || !dib.CreateFromFrame(video.width(), video.height(), bits))
        return fileError(prompter, video.path());
    // A picture the measuring screen will load must not silently stay the old one.
    if (!dib.WriteToFile(bmpPath, &problem)) {
        prompter.message(QStringLiteral("There was an error working with the file:\r\n") + bmpPath
                             + QStringLiteral("\r\n") + problem,
                         kAppTitle, Icon::Information);
        return ExtractResult::WriteFailed;
    }
    return ExtractResult::Ok;
}

ExtractResult extractFrame(Prompter& prompter, const QString& videoPath, int n, const QString& bmpPath)
{
    // One frame needs no background work or a large cache.
    VideoReader video(int64_t(64) << 20);
    if (!video.open(videoPath)) {
        if (video.openError() == VideoReader::OpenError::NoDecoder) {
            prompter.message(QStringLiteral("No suitable decompressor found for this video stream!"), kAppTitle,
                             Icon::Information);
            return ExtractResult::NoDecoder;
        }
        return fileError(prompter, videoPath);
    }
    return extractFrame(prompter, video, n, bmpPath);
}

} // namespace tarvex
