#include "cli/cli_video.h"

#include "cli/cli.h"
#include "media/avi_file.h"
#include "media/frame_extract.h"
#include "media/video_reader.h"

extern "C" {
#include <libavutil/log.h>
}

namespace tarvex {

namespace {

const char kVideoUsage[] =
    "  tarvex-cli avi-info FILE\n"
    "      print the AVI file information list (type, size, length, rate, caps, flags)\n"
    "  tarvex-cli frame FILE N --out F.bmp\n"
    "      write frame N (0-based) as a 24-bit bitmap; exit 1 when N is outside the clip\n"
    "      or the frame is damaged\n";

// The station's message boxes become lines on stderr.
class StreamPrompter : public Prompter {
public:
    explicit StreamPrompter(QTextStream& err) : err_(err) {}
    void message(const QString& text, const QString&, Icon) override
    {
        err_ << QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")) << "\n";
    }
    bool askYesNo(const QString&, const QString&, Icon, bool) override { return false; }
    std::optional<QString> input(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> openFile(const FileRequest&) override { return std::nullopt; }
    std::optional<QString> saveFile(const FileRequest&) override { return std::nullopt; }

private:
    QTextStream& err_;
};

int usage(QTextStream& err, const QString& problem)
{
    err << "tarvex-cli: " << problem << "\n" << kVideoUsage;
    return kCliUsage;
}

int runAviInfo(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 1)
        return usage(err, QStringLiteral("avi-info takes one file"));
    StreamPrompter p(err);
    AviFileInfo info;
    // One check first, so an unreadable file gives its message once, not once per line.
    if (!GetAviFileInfo(p, args[0], info))
        return kCliUsage;
    for (const QString& line : aviInformationList(p, args[0]))
        out << line << "\n";
    return kCliOk;
}

int runFrame(const QStringList& args, QTextStream& err)
{
    QStringList positional;
    QString outPath;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--out") && i + 1 < args.size())
            outPath = args[++i];
        else if (args[i].startsWith(QLatin1String("--out=")))
            outPath = args[i].mid(6);
        else if (args[i].startsWith(QLatin1String("--")))
            return usage(err, QStringLiteral("unknown option %1").arg(args[i]));
        else
            positional << args[i];
    }
    bool ok = false;
    const int n = positional.size() == 2 ? positional[1].toInt(&ok) : 0;
    if (positional.size() != 2 || !ok || outPath.isEmpty())
        return usage(err, QStringLiteral("frame takes FILE N --out F.bmp"));
    StreamPrompter p(err);
    // FFmpeg's notes (such as swscale's on JPEG pixel formats) are no business of the user.
    av_log_set_level(AV_LOG_ERROR);
    VideoReader video(int64_t(64) << 20);
    // One frame: the pictures after it would only be decoded for nothing.
    video.setReadAhead(false);
    if (!video.open(positional[0])) {
        if (video.openError() == VideoReader::OpenError::NoDecoder)
            p.message(QStringLiteral("No suitable decompressor found for this video stream!\r\n") + video.error(), {},
                      Icon::Information);
        else
            p.message(QStringLiteral("There was an error working with the file:\r\n") + positional[0]
                          + QStringLiteral("\r\n") + video.error(),
                      {}, Icon::Information);
        return kCliUsage;
    }
    // Said once, in the command line's own words.
    if (n < 0 || n >= video.frameCount()) {
        err << "frame " << n << " is outside the clip of " << video.frameCount() << " frames\n";
        return kCliNoResult;
    }
    switch (extractFrame(p, video, n, outPath)) {
    case ExtractResult::Ok:
        return kCliOk;
    case ExtractResult::Damaged:
        return kCliNoResult;
    default:
        return kCliUsage;
    }
}

} // namespace

std::optional<int> runVideoCli(const QString& command, const QStringList& args, QTextStream& out,
                               QTextStream& err)
{
    if (command == QLatin1String("avi-info"))
        return runAviInfo(args, out, err);
    if (command == QLatin1String("frame"))
        return runFrame(args, err);
    return std::nullopt;
}

} // namespace tarvex
