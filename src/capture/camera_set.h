#pragma once
// Several cameras recording one pass: each to a file of its own, named after the first
// camera's file plus its grid number ("Annjump1.avi", "Annjump1-cam2.avi"), all started on one
// common moment so slot n of every file is the picture taken nearest start + n / fps. Beside
// each file a times file holds, one line per frame, the microseconds from the common start to
// the moment its picture was taken: a real camera's clock is not the station's, so the frame
// of another camera that matches a frame is looked up by time, never assumed by number.
#include "capture/capture_device.h"

#include <QList>
#include <QMap>
#include <QStringList>
#include <QString>

namespace tarvex {

inline constexpr int kMaxCameras = 3;

// The file of camera `camera` (1..3) of the take whose first file is firstPath.
QString cameraFilePath(const QString& firstPath, int camera);
// The camera a file of a take belongs to: 2 for "Annjump1-cam2.avi", 1 otherwise.
int cameraOfFile(const QString& path);
// The first camera's file of the take that `path` belongs to.
QString firstCameraFile(const QString& path);
// "<video>.times" beside a video.
QString frameTimesPath(const QString& videoPath);
// The files of the take that `path` belongs to that exist, by camera; a take recorded by one
// camera (or any other clip) gives only its own file under its camera.
QMap<int, QString> cameraFilesOf(const QString& path);
// Every file of the take that `path` belongs to that exists: camera by camera its video, its
// times file and the files beside it named by adding one of `besides` (".info"). Files of
// another take never match, however alike their names ("Annjump10.avi", "Bobjump1-cam2.avi").
QStringList takeFilesOf(const QString& path, const QStringList& besides = {});

// The times of a recording's frames, microseconds from the common start, in frame order.
struct FrameTimes {
    QList<qint64> micros;

    // False with the reason in error when the file is missing or holds anything but one
    // whole number a line in order.
    static bool read(const QString& path, FrameTimes& out, QString& error);
    bool write(const QString& path, QString& error) const;
    // The frame taken nearest `micros`; on a tie the earlier; -1 when there are none.
    int nearest(qint64 at) const;
    // The frame of `other` that matches frame `frame` of this one; -1 when either is empty
    // or the frame is not one of this recording.
    int matching(int frame, const FrameTimes& other) const;
};

// For each file of a take (by camera), the frame that matches frame `frame` of camera
// `camera`'s file, by the times files; a camera whose times cannot be read (or the camera
// itself) keeps the frame number as it is.
QMap<int, int> matchingFrames(const QMap<int, QString>& files, int camera, int frame);

// Starts every device on one common start: the first device's next frame where it keeps a
// clock, otherwise a moment just ahead so all of them are streaming by then. Each setting's
// start is overwritten. When one refuses, those already started are stopped again and the
// refusal is returned with the camera's number in front of its description.
CaptureResult startTogether(const QList<CaptureDevice*>& devices, QList<RecordingSettings> settings);

} // namespace tarvex
