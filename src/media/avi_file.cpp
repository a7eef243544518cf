#include "media/avi_file.h"

#include "media/file_helpers.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace tarvex {

namespace {

const QString kAppTitle = QStringLiteral("Tarvex");
const QString kCrLf = QStringLiteral("\r\n");
// The text the AVI file interface gives as the file type of an AVI file.
const QString kAviFileTypeText = QStringLiteral("Audio/Visual");
// A header list of a real file has a handful of chunks; a file made of millions of tiny
// chunks is refused rather than walked.
constexpr int kMaxChunks = 4096;

uint32_t le32(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}

uint32_t fourcc(const char (&s)[5])
{
    return le32(s);
}

// Reads exactly n bytes at pos, or nothing.
bool readAt(QIODevice& d, qint64 pos, char* buf, qint64 n)
{
    return pos >= 0 && pos + n <= d.size() && d.seek(pos) && d.read(buf, n) == n;
}

struct Chunk {
    uint32_t id = 0;
    uint32_t size = 0;
    uint32_t listType = 0;   // LIST chunks only
    qint64 data = 0;         // first byte after the header (after the list type for LIST)
    qint64 end = 0;          // first byte after the data, without padding
};

// The chunk at pos inside [pos, limit). False when it does not fit there.
bool chunkAt(QIODevice& d, qint64 pos, qint64 limit, Chunk& c)
{
    char h[12];
    if (pos + 8 > limit || !readAt(d, pos, h, 8))
        return false;
    c.id = le32(h);
    c.size = le32(h + 4);
    c.data = pos + 8;
    c.end = c.data + qint64(c.size);
    if (c.end > limit)
        return false;
    if (c.id == fourcc("LIST")) {
        if (c.size < 4 || !readAt(d, c.data, h + 8, 4))
            return false;
        c.listType = le32(h + 8);
        c.data += 4;
    }
    return true;
}

qint64 nextChunk(const Chunk& c)
{
    return c.end + (c.size & 1);
}

bool isUncompressed(uint32_t compression)
{
    return compression == 0 || compression == 3 || compression == fourcc("DIB ")
        || compression == fourcc("RGB ") || compression == fourcc("RAW ");
}

bool isIntraOnly(uint32_t compression)
{
    if (isUncompressed(compression))
        return true;
    const AVCodecTag* const tags[] = {avformat_get_riff_video_tags(), nullptr};
    const AVCodecID id = av_codec_get_id(tags, compression);
    const AVCodecDescriptor* desc = avcodec_descriptor_get(id);
    return desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY);
}

struct StreamList {
    bool video = false;
    uint32_t handler = 0, scale = 0, rate = 0, length = 0;
    uint32_t compression = 0;
    bool haveFormat = false;
};

bool readStreamList(QIODevice& d, const Chunk& strl, StreamList& s)
{
    int chunks = 0;
    for (qint64 pos = strl.data; pos < strl.end; ) {
        Chunk c;
        if (++chunks > kMaxChunks || !chunkAt(d, pos, strl.end, c))
            return false;
        if (c.id == fourcc("strh")) {
            char b[36];
            if (c.size < 36 || !readAt(d, c.data, b, 36))
                return false;
            s.video = le32(b) == fourcc("vids");
            s.handler = le32(b + 4);
            s.scale = le32(b + 20);
            s.rate = le32(b + 24);
            s.length = le32(b + 32);
        } else if (c.id == fourcc("strf") && c.size >= 20) {
            char b[20];
            if (!readAt(d, c.data, b, 20))
                return false;
            s.compression = le32(b + 16);
            s.haveFormat = true;
        }
        pos = nextChunk(c);
    }
    return true;
}

// dwTotalFrames of the OpenDML extended header, when there is one.
std::optional<uint32_t> readOdml(QIODevice& d, const Chunk& odml)
{
    int chunks = 0;
    for (qint64 pos = odml.data; pos < odml.end; ) {
        Chunk c;
        if (++chunks > kMaxChunks || !chunkAt(d, pos, odml.end, c))
            return std::nullopt;
        if (c.id == fourcc("dmlh") && c.size >= 4) {
            char b[4];
            if (!readAt(d, c.data, b, 4))
                return std::nullopt;
            return le32(b);
        }
        pos = nextChunk(c);
    }
    return std::nullopt;
}

AviParse readHeaderList(QIODevice& d, const Chunk& hdrl, AviFileInfo& info)
{
    bool haveMain = false, haveVideo = false;
    std::optional<uint32_t> totalFrames;
    int chunks = 0;
    for (qint64 pos = hdrl.data; pos < hdrl.end; ) {
        Chunk c;
        if (++chunks > kMaxChunks || !chunkAt(d, pos, hdrl.end, c))
            return AviParse::Damaged;
        if (c.id == fourcc("avih")) {
            char b[40];
            if (c.size < 40 || !readAt(d, c.data, b, 40))
                return AviParse::Damaged;
            info.dwMaxBytesPerSec = le32(b + 4);
            info.dwFlags = le32(b + 12);
            info.dwStreams = le32(b + 24);
            info.dwSuggestedBufferSize = le32(b + 28);
            info.dwWidth = le32(b + 32);
            info.dwHeight = le32(b + 36);
            haveMain = true;
        } else if (c.id == fourcc("LIST") && c.listType == fourcc("strl")) {
            StreamList s;
            if (!readStreamList(d, c, s))
                return AviParse::Damaged;
            if (s.video && !haveVideo) {
                haveVideo = true;
                info.dwScale = s.scale;
                info.dwRate = s.rate;
                info.dwLength = s.length;
                const uint32_t compression = s.haveFormat ? s.compression : s.handler;
                info.dwCaps |= kAviCapsCanRead;
                if (isIntraOnly(compression))
                    info.dwCaps |= kAviCapsAllKeyFrames;
                if (isUncompressed(compression))
                    info.dwCaps |= kAviCapsNoCompression;
            }
        } else if (c.id == fourcc("LIST") && c.listType == fourcc("odml")) {
            totalFrames = readOdml(d, c);
        }
        pos = nextChunk(c);
    }
    if (!haveMain)
        return AviParse::Damaged;
    // The stream header of an OpenDML file may count the first RIFF only.
    if (haveVideo && totalFrames && *totalFrames > info.dwLength)
        info.dwLength = *totalFrames;
    info.dwCaps |= kAviCapsCanRead;
    info.szFileType = kAviFileTypeText;
    return AviParse::Ok;
}

QString withPath(const char* text, const QString& path)
{
    return QString::fromLatin1(text) + kCrLf + path;
}

// Opens the file for reading with the messages of a failed open; nullopt after a message.
bool openForReading(Prompter& prompter, QFile& file, const QString& path)
{
    if (!FileIsPresent(path)) {
        prompter.message(withPath("File does not exist:", path), kAppTitle, Icon::Critical);
        return false;
    }
    if (file.open(QIODevice::ReadOnly))
        return true;
    if (file.error() == QFileDevice::PermissionsError)
        prompter.message(withPath("File is locked - cannot access:", path), {}, Icon::Critical);
    else
        prompter.message(file.errorString(), {}, Icon::Information);
    return false;
}

std::optional<AviFileInfo> infoOf(Prompter& prompter, const QString& path)
{
    AviFileInfo info;
    if (!GetAviFileInfo(prompter, path, info))
        return std::nullopt;
    return info;
}

bool capsBit(Prompter& p, const QString& path, uint32_t bit)
{
    const auto info = infoOf(p, path);
    return info && (info->dwCaps & bit);
}

bool flagBit(Prompter& p, const QString& path, uint32_t bit)
{
    const auto info = infoOf(p, path);
    return info && (info->dwFlags & bit);
}

} // namespace

AviHeaders readAviHeaders(QIODevice& d)
{
    AviHeaders h;
    char b[12];
    if (!readAt(d, 0, b, 12) || le32(b) != fourcc("RIFF") || le32(b + 8) != fourcc("AVI "))
        return h;
    h.status = AviParse::Damaged;
    // The RIFF size is not trusted beyond the file's own length.
    const qint64 riffEnd = std::min<qint64>(8 + qint64(le32(b + 4)), d.size());
    int chunks = 0;
    for (qint64 pos = 12; pos < riffEnd; ) {
        Chunk c;
        if (++chunks > kMaxChunks || !chunkAt(d, pos, riffEnd, c))
            return h;
        if (c.id == fourcc("LIST") && c.listType == fourcc("hdrl")) {
            h.status = readHeaderList(d, c, h.info);
            return h;
        }
        if (c.id == fourcc("LIST") && c.listType == fourcc("movi"))
            return h;   // the header list must come before the data
        pos = nextChunk(c);
    }
    return h;
}

bool IsAviFile(Prompter& prompter, const QString& path)
{
    QFile file(path);
    if (!openForReading(prompter, file, path))
        return false;
    char b[12];
    return file.read(b, 12) == 12 && le32(b) == fourcc("RIFF") && le32(b + 8) == fourcc("AVI ");
}

bool GetAviFileInfo(Prompter& prompter, const QString& path, AviFileInfo& info)
{
    QFile file(path);
    AviHeaders h;
    const QFileInfo about(path);
    // Only a regular file is opened: the open of a named pipe would wait for a writer.
    if (about.isFile() && file.open(QIODevice::ReadOnly))
        h = readAviHeaders(file);
    if (!file.isOpen() || h.status == AviParse::NotAvi) {
        const QString why = !about.exists()  ? QStringLiteral("It does not exist.")
                            : !about.isFile() ? QStringLiteral("It is not a regular file.")
                            : !file.isOpen()  ? file.errorString()
                                              : QStringLiteral("It is not an AVI file.");
        prompter.message(withPath("Unable to open file:", path) + kCrLf + why, kAppTitle, Icon::Critical);
        return false;
    }
    if (h.status != AviParse::Ok) {
        prompter.message(withPath("Unable to read AVI file info from:", path) + kCrLf
                             + QStringLiteral("Its AVI header list is missing or damaged."),
                         kAppTitle, Icon::Critical);
        return false;
    }
    info = h.info;
    if (QFileInfo(path).isWritable())
        info.dwCaps |= kAviCapsCanWrite;
    return true;
}

int32_t aviRoundedRate(uint32_t rate, uint32_t scale)
{
    if (scale == 0)
        return 0;
    const uint64_t whole = rate / scale;
    const uint64_t rest2 = 2 * uint64_t(rate % scale);
    uint64_t r = whole;
    if (rest2 > scale || (rest2 == scale && (whole & 1)))
        ++r;
    return int32_t(r);
}

int32_t AviFrameWidth(Prompter& p, const QString& path)
{
    const auto info = infoOf(p, path);
    return info ? int32_t(info->dwWidth) : 0;
}

int32_t AviFrameHeight(Prompter& p, const QString& path)
{
    const auto info = infoOf(p, path);
    return info ? int32_t(info->dwHeight) : 0;
}

int32_t AviFrameCount(Prompter& p, const QString& path)
{
    const auto info = infoOf(p, path);
    return info ? int32_t(info->dwLength) : 0;
}

int32_t AviFrameRate(Prompter& p, const QString& path)
{
    const auto info = infoOf(p, path);
    return info ? aviRoundedRate(info->dwRate, info->dwScale) : 0;
}

QString AviFileType(Prompter& p, const QString& path)
{
    const auto info = infoOf(p, path);
    return info ? info->szFileType : QString();
}

bool AviIsCompressed(Prompter& p, const QString& path)
{
    const auto info = infoOf(p, path);
    return info && !(info->dwCaps & kAviCapsNoCompression);
}

bool AviAllKeyFrames(Prompter& p, const QString& path) { return capsBit(p, path, kAviCapsAllKeyFrames); }
bool AviCanRead(Prompter& p, const QString& path) { return capsBit(p, path, kAviCapsCanRead); }
bool AviCanWrite(Prompter& p, const QString& path) { return capsBit(p, path, kAviCapsCanWrite); }
bool AviHasIndex(Prompter& p, const QString& path) { return flagBit(p, path, kAviFileHasIndex); }
bool AviMustUseIndex(Prompter& p, const QString& path) { return flagBit(p, path, kAviFileMustUseIndex); }
bool AviIsInterleaved(Prompter& p, const QString& path) { return flagBit(p, path, kAviFileIsInterleaved); }
bool AviWasCaptureFile(Prompter& p, const QString& path) { return flagBit(p, path, kAviFileWasCaptureFile); }
bool AviHasCopyright(Prompter& p, const QString& path) { return flagBit(p, path, kAviFileCopyrighted); }

QStringList aviInformationList(Prompter& p, const QString& path)
{
    const auto tf = [](bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); };
    QStringList l;
    l << QStringLiteral("Filename: ") + path
      << QStringLiteral("File Type: ") + AviFileType(p, path)
      << QStringLiteral("Height: ") + QString::number(AviFrameHeight(p, path))
      << QStringLiteral("Width: ") + QString::number(AviFrameWidth(p, path))
      << QStringLiteral("Length: ") + QString::number(AviFrameCount(p, path)) + QStringLiteral(" frames")
      << QStringLiteral("Rate: ") + QString::number(AviFrameRate(p, path)) + QStringLiteral("fps")
      << QStringLiteral("=== dwCaps ===")
      << QStringLiteral("Compressed: ") + tf(AviIsCompressed(p, path))
      << QStringLiteral("All Key Frames: ") + tf(AviAllKeyFrames(p, path))
      << QStringLiteral("Can Read: ") + tf(AviCanRead(p, path))
      << QStringLiteral("Can Write: ") + tf(AviCanWrite(p, path))
      << QStringLiteral("=== dwFlags ===")
      << QStringLiteral("Contains Copyright Info: ") + tf(AviHasCopyright(p, path))
      << QStringLiteral("Capture File: ") + tf(AviWasCaptureFile(p, path))
      << QStringLiteral("Has Index: ") + tf(AviHasIndex(p, path))
      << QStringLiteral("Must Use Index: ") + tf(AviMustUseIndex(p, path))
      << QStringLiteral("Interleaved: ") + tf(AviIsInterleaved(p, path));
    return l;
}

} // namespace tarvex
