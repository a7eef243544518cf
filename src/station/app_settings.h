#pragma once
// Program-wide state that mirrors the persistent settings and carries facts between
// screens. One instance per run, zeroed at start.
#include "station/arrival.h"

#include <QString>
#include <cstdint>

namespace tarvex {

struct AppSettings {
    QString CapturesPath;         // never ends with a separator
    QString MeasurementLogName;   // "JumpMeasurementLog" + mm dd yy + ".txt"
    QString ResultsFilePath;
    QString PicturesPath;
    QString SetupFilesPath;
    // Read-only outside setArrival: the text of `arrival`, kept for the code that reads it.
    QString NavigationTag;
    Arrival arrival = Arrival::None;
    void setArrival(Arrival a)
    {
        arrival = a;
        NavigationTag = navigationTagOf(a);
    }

    bool BarefootTiming = false;
    bool BarefootMode = false;
    bool SitSkiMode = false;
    bool RightToLeft = false;
    bool LineControlOff = false;
    QString MarkerStyle;          // readers test only for "cross"
    long MessageColor = 0;        // RGB as 0xBBGGRR: 0 black, 16777215 white, 65535 yellow
    QString MessageColorName;
    QString PictureSaveMode;
    QString VideoSaveMode;
    bool WstimsEnabled = false;
    QString PictureExtension;
    // One standard uncertainty of a click (picture pixels) and of a surveyed coordinate
    // (metres): what the "+/- cm" of every distance is made of.
    double ClickUncertaintyPixels = 0.5;
    double SurveyUncertaintyMetres = 0.01;

    // Hand-over values between capture, review and log viewers.
    int16_t ContactFrameHint = 0;
    int16_t CapturedFrameCount = 0;
    double CaptureFrameRate = 0;
    QString LogViewFile;
    QString MeasureVideoFile;
    int MeasureFrameNumber = 0;
};

} // namespace tarvex
