#pragma once
// A FrameSource over a libavdevice input ("video4linux2", "dshow"): reads the device's
// packets, decodes them and hands them on as RGB32 pictures (a camera sending MJPEG hands
// on its packets undecoded, see compressedStream). The platform backends open
// their devices through it, so only the listing of devices is platform code.
#include "capture/capture_backend.h"
#include <QMap>

namespace tarvex {

// format: libavdevice input name; url: the device as that input names it; options: the
// input's options ("video_size", "framerate", "input_format", "pixel_format", ...).
std::unique_ptr<FrameSource> openLibavFrameSource(const QString& format, const QString& url,
                                                  const QMap<QString, QString>& options, QString& error);

} // namespace tarvex
