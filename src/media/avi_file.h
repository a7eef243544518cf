#pragma once
// AVI inspection: what the AVI file interface of the operating system reports about a file
// (size, length, rate, type, capability and flag bits), read by our own RIFF reader because
// FFmpeg does not expose the header's flag and capability bits. Every query is stateless and
// opens and closes the file on its own.
#include "common/prompter.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

class QIODevice;

namespace tarvex {

// The 108-byte information block, field by field.
struct AviFileInfo {
    uint32_t dwMaxBytesPerSec = 0;
    uint32_t dwFlags = 0;
    uint32_t dwCaps = 0;
    uint32_t dwStreams = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwWidth = 0;
    uint32_t dwHeight = 0;
    uint32_t dwScale = 0;
    uint32_t dwRate = 0;
    uint32_t dwLength = 0;
    uint32_t dwEditCount = 0;
    QString szFileType;   // at most 63 characters, as in the 64-character field
};

constexpr uint32_t kAviFileHasIndex = 0x10;
constexpr uint32_t kAviFileMustUseIndex = 0x20;
constexpr uint32_t kAviFileIsInterleaved = 0x100;
constexpr uint32_t kAviFileWasCaptureFile = 0x10000;
constexpr uint32_t kAviFileCopyrighted = 0x20000;
constexpr uint32_t kAviCapsCanRead = 0x1;
constexpr uint32_t kAviCapsCanWrite = 0x2;
constexpr uint32_t kAviCapsAllKeyFrames = 0x10;
constexpr uint32_t kAviCapsNoCompression = 0x20;

// What the RIFF headers of an AVI say, before the file's own permissions are added.
enum class AviParse { Ok, NotAvi, Damaged };
struct AviHeaders {
    AviParse status = AviParse::NotAvi;
    AviFileInfo info;   // dwCaps holds can-read, all-key-frames and no-compression only
};

// Reads only the header list; never reads past the device or allocates more than a chunk
// the device really holds. The device must be open for reading and seekable.
AviHeaders readAviHeaders(QIODevice& device);

bool IsAviFile(Prompter& prompter, const QString& path);
bool GetAviFileInfo(Prompter& prompter, const QString& path, AviFileInfo& info);
int32_t AviFrameWidth(Prompter& prompter, const QString& path);
int32_t AviFrameHeight(Prompter& prompter, const QString& path);
int32_t AviFrameCount(Prompter& prompter, const QString& path);
int32_t AviFrameRate(Prompter& prompter, const QString& path);
QString AviFileType(Prompter& prompter, const QString& path);
bool AviIsCompressed(Prompter& prompter, const QString& path);
bool AviAllKeyFrames(Prompter& prompter, const QString& path);
bool AviCanRead(Prompter& prompter, const QString& path);
bool AviCanWrite(Prompter& prompter, const QString& path);
bool AviHasIndex(Prompter& prompter, const QString& path);
bool AviMustUseIndex(Prompter& prompter, const QString& path);
bool AviIsInterleaved(Prompter& prompter, const QString& path);
bool AviWasCaptureFile(Prompter& prompter, const QString& path);
bool AviHasCopyright(Prompter& prompter, const QString& path);

// rate / scale to the nearest whole number, halves to even; 0 for scale 0.
int32_t aviRoundedRate(uint32_t rate, uint32_t scale);

// The review screen's file information list for one file, in its order ("Filename: ...",
// "File Type: ...", ..., "Interleaved: True"). Each value is one query, as the screen does.
QStringList aviInformationList(Prompter& prompter, const QString& path);

} // namespace tarvex
