#include "media/frame_extract.h"

#include "media/bitmap.h"
#include "media/video_reader.h"

namespace tarvex {

namespace {

const QString kAppTitle = QStringLiteral("Tarvex");

// The message the screen always gave, and on a line of its own why.
ExtractResult fileError(Prompter& p, const QString& path, const QString& why,
                        ExtractResult r = ExtractResult::FileError)
{
    QString text = QStringLiteral("There was an error working with the file:\r\n") + path;
    if (!why.isEmpty())
        text += QStringLiteral("\r\n") + why;
    p.message(text, kAppTitle, Icon::Information);
    return r;
}

} // namespace

ExtractResult extractFrame(Prompter& prompter, VideoReader& video, int n, const QString& bmpPath)
{
    if (!video.isOpen())
        return fileError(prompter, video.path(), video.error());
    if (n < 0 || n >= video.frameCount())
        return fileError(prompter, video.path(),
                         QStringLiteral("Frame %1 is outside the clip (0 to %2).").arg(n).arg(video.frameCount() - 1),
                         ExtractResult::OutsideClip);
    QString problem;
    bool damaged = false;
    const QByteArray bits = video.bitmapPixels(n, &problem, &damaged);
    // A damaged frame measured would be a wrong result that looks right.
    if (damaged)
        return fileError(prompter, video.path(), QStringLiteral("frame %1 is damaged").arg(n), ExtractResult::Damaged);
    Bitmap dib;
    if (bits.isEmpty())
        return fileError(prompter, video.path(), problem);
    if (!dib.CreateFromFrame(video.width(), video.height(), bits))
        return fileError(prompter, video.path(), QStringLiteral("The frame does not fit a bitmap."));
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
    // One frame needs no background work, no large cache and no decoder threads, whose
    // start costs a one-frame command more than they save.
    VideoReader video(int64_t(64) << 20);
    video.setReadAhead(false);
    video.setDecoderThreads(1);
    if (!video.open(videoPath)) {
        if (video.openError() == VideoReader::OpenError::NoDecoder) {
            prompter.message(QStringLiteral("No suitable decompressor found for this video stream!\r\n") + video.error(),
                             kAppTitle, Icon::Information);
            return ExtractResult::NoDecoder;
        }
        return fileError(prompter, videoPath, video.error());
    }
    return extractFrame(prompter, video, n, bmpPath);
}

} // namespace tarvex
