#pragma once
// What other screens tell the measuring screen. The measuring screen implements it;
// Station::measureSession() finds it.
#include "station/app_settings.h"

#include <QMap>
#include <QPointF>
#include <QString>
#include <optional>

namespace tarvex {

// The frame the review screen fixed; its picture is the program folder's currentcapture.bmp.
struct FrameHandOver {
    QString videoFile;
    int frame = 0;
    // The contact detector's impact point (twips of the picture) and its frame, when it
    // found one: a suggestion the measuring screen offers, never a mark by itself.
    std::optional<QPointF> suggestedImpact;
    int suggestedFrame = -1;
    // A take recorded by several cameras: each camera's file by its grid, and the camera
    // whose file videoFile is. Empty for a clip of one camera.
    QMap<int, QString> cameraFiles;
    int camera = 1;
    // When the take's files were deleted on the hand-over (the video-save setting): each
    // camera's matching frame, and its picture drawn out before, by grid.
    QMap<int, int> cameraFrames;
    QMap<int, QString> cameraPictures;
};

// What a frame hand-over leaves for the screen that shows it (the measuring screen, or the
// grid setup screen while a grid is not set up).
inline void noteFrameHandOver(AppSettings& s, const FrameHandOver& handOver)
{
    s.MeasureVideoFile = handOver.videoFile;
    s.MeasureFrameNumber = handOver.frame;
    s.setArrival(Arrival::FrameChosen);
}

class MeasureSession {
public:
    virtual ~MeasureSession() = default;
    // The chosen frame becomes the picture on every activation until the screen is left or
    // another picture is loaded.
    virtual void openFrame(const FrameHandOver& handOver) = 0;
};

} // namespace tarvex
