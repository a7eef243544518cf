#pragma once
// What other screens tell the review screen: how it is to open on its next arrival. The
// review screen implements it; Station::reviewSession() finds it. Each operation notes the
// arrival and its hand-over values; the screen acts on them once its showing is done.
#include "station/app_settings.h"

#include <QString>

namespace tarvex {

// A recording the capture screen has just finished.
struct Recording {
    QString path;
    int contactHint = 0;   // the frame to open at; 0 or less: the first frame
    int frameCount = 0;
    double frameRate = 0;
};

// What each hand-over leaves in the shared settings, where other code reads it; also noted
// by a sender that finds no review screen.
inline void noteRecording(AppSettings& s, const Recording& recording)
{
    s.ContactFrameHint = int16_t(recording.contactHint);
    s.CapturedFrameCount = int16_t(recording.frameCount);
    s.CaptureFrameRate = recording.frameRate;
    s.setArrival(Arrival::Recorded);
}

inline void noteLoggedVideo(AppSettings& s, const QString& path)
{
    s.LogViewFile = path;
    s.setArrival(Arrival::LoggedVideo);
}

class ReviewSession {
public:
    virtual ~ReviewSession() = default;
    // The path in the review screen's video box (`Text6`).
    virtual QString videoPath() const = 0;
    virtual void setVideoPath(const QString& path) = 0;

    // A fresh recording: opened at its contact hint; once its frame is fixed the video-save
    // setting applies to it.
    virtual void openRecording(const Recording& recording) = 0;
    // A video named in the measurement log; a video measured before says its frame.
    virtual void openLogged(const QString& path) = 0;
    // Nothing in hand: from the main screen (Arrival::FromMainScreen) or from the capture
    // screen without a recording (Arrival::CaptureSkipped).
    virtual void openEmpty(Arrival from) = 0;
};

} // namespace tarvex
