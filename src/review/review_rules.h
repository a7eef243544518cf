#pragma once
// The review screen's rules, apart from the screen: which video names are the station's own
// (skier + "jump" + pass + ".avi"), the side file beside a measured video, the contact-frame
// line of the measurement log, the free-space read-out, the new name after a capture whose
// skier name had to change, and what becomes of a fresh capture once its frame is fixed.
#include "common/prompter.h"

#include <QDateTime>
#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

namespace tarvex {

// Skier and pass as the file name tells them, when it follows the station's pattern: the
// first ".avi" at position 8 or later, "jump" at most 7 characters before it, after the last
// folder separator. So a pass of up to three digits is recognised: "Annjump12.avi" is skier
// "Ann", jump "12"; "Annjump1234.avi" is not standard.
struct StandardName {
    bool standard = false;
    QString skier;
    QString jump;
};
StandardName parseStandardName(const QString& path);

// P + ".info": one line "P,frame" CR LF.
QString videoSideFilePath(const QString& videoPath);
QByteArray videoSideFileBytes(const QString& videoPath, int frame);
// The frame stored beside the video; nullopt when there is no readable side file. The frame
// is the last field of the line, so a comma inside the path does not move it.
std::optional<int> readVideoSideFile(const QString& videoPath);
// The frame measured in the take `videoPath` belongs to, in that file's own frames: its own
// side file's, else another camera's (the matching frame by the times files); nullopt when
// no camera of the take was measured.
std::optional<int> readTakeSideFile(const QString& videoPath);
// Replaces the side file whole; the reason when it cannot be written.
std::optional<QString> writeVideoSideFile(const QString& videoPath, int frame);

// The measurement log's contact-frame line, print-zoned, without its CR LF. It ends with the
// path (no padding after it), so the log viewer finds the video by its last characters.
QString contactFrameLogLine(const QDateTime& now, const QString& skier, const QString& jump, int frame,
                            const QString& videoPath);

// The pixels of a picture as a 24-bit bottom-up bitmap holds them (blue, green, red; rows
// padded with zeros to 4 bytes); empty for a null picture. For the frame on screen this is
// what decoding the frame again into a bitmap gives, without the second decode.
QByteArray bitmapPixelsOf(const QImage& picture);

// "150 MB" for 150 000 000 bytes: whole millions of bytes.
QString diskSpaceText(qint64 freeBytes);
// Below 200 MB the review screen warns.
bool diskSpaceLow(qint64 freeBytes);
// The drive a Windows station names: the first two characters of the folder text when its
// second one is ":", otherwise "C:".
QString windowsDriveOf(const QString& folderText);

// The review screen's first size: 1280 x 800 where the screen's available area (less room
// for the window frame) holds it, otherwise what that area holds, never below `minimum`.
QSize firstReviewSize(QSize available, QSize minimum);

// The name check after a capture whose skier name was changed to keep an existing file: the
// operator may give the real name; the video then becomes <folder>/<name>jump1.avi, asked
// again while such a file exists. nullopt keeps the capture as it is (the operator
// cancelled or gave no name twice).
struct FixedSkierName {
    QString name;
    QString path;
};
std::optional<FixedSkierName> askFixedSkierName(Prompter& prompter, const QString& capturesPath,
                                                const QString& currentName, const QString& currentPath);

// Moves every file of the take `currentPath` belongs to (each camera's video, its times and
// side files) along with its first camera's file, which becomes `newFirst`
// ("Annjump1-cam2.avi.times" goes to "Bobjump1-cam2.avi.times"). All or nothing: when one
// cannot be moved, those already moved go back and the message names the one that failed.
std::optional<QString> renameTake(const QString& currentPath, const QString& newFirst);

// What the video-save setting does with a fresh capture once its frame is fixed: "NoSave"
// deletes it, "Ask" asks and deletes on No, anything else keeps it. The capture is the whole
// take: every camera's video with its side file and times file.
struct VideoDisposal {
    bool deleted = false;
    QString error;   // a file that should have gone but could not be removed
};
// Whether the setting lets the capture go (asking when it says "Ask").
bool captureToBeDisposed(Prompter& prompter, const QString& videoSaveMode);
VideoDisposal removeTake(const QString& videoPath);
VideoDisposal disposeCapturedVideo(Prompter& prompter, const QString& videoSaveMode, const QString& videoPath);

} // namespace tarvex
