#pragma once
// The chosen frame of a video as a 24-bit bottom-up bitmap file ("currentcapture.bmp" for
// the measuring screen), with the review screen's messages when it cannot be made.
#include "common/prompter.h"

#include <QString>

namespace tarvex {

class VideoReader;

// Every message names why on a line of its own after the screen's text.
enum class ExtractResult { Ok, NoDecoder, FileError, OutsideClip, Damaged, WriteFailed };

// From a reader already open on the video (the frame on screen is usually in its cache).
ExtractResult extractFrame(Prompter& prompter, VideoReader& video, int n, const QString& bmpPath);
// Opens the video for this one frame.
ExtractResult extractFrame(Prompter& prompter, const QString& videoPath, int n, const QString& bmpPath);

} // namespace tarvex
