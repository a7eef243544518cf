#pragma once
// Every key of the settings store, named once. The store matches keys without regard to
// case, so the spelling here is only how the code reads; the file holds them in lower case.
#include <QString>

namespace tarvex::key {

// The uncertainty of every distance: no screen sets these; a site that knows its survey
// better or worse edits them in the settings file.
inline const QString clickUncertaintyPixels = QStringLiteral("clickUncertaintyPixels");
inline const QString surveyUncertaintyMetres = QStringLiteral("surveyUncertaintyMetres");

// Start-up and the main screen
inline const QString logpath = QStringLiteral("logpath");
inline const QString logfile = QStringLiteral("logfile");
inline const QString barefoot = QStringLiteral("barefoot");

// Capture device panel
inline const QString device = QStringLiteral("device");
inline const QString VideoResolution = QStringLiteral("VideoResolution");
inline const QString ColorFormat = QStringLiteral("ColorFormat");
inline const QString VideoInput = QStringLiteral("VideoInput");
inline const QString compression = QStringLiteral("compression");   // index in the list, "None" = 0
// The compressor by name, so a reordered or longer list keeps the choice; "compression" is
// read only when no name is stored (a station set up before names were kept).
inline const QString compressionName = QStringLiteral("compressionName");
inline const QString framerate = QStringLiteral("framerate");
// The cameras of grids 2 and 3, by device name ("" or absent: none); recorded with the
// panel's own camera, which is grid 1's.
inline QString gridCamera(int grid) { return QStringLiteral("camera%1").arg(grid); }

// Capture screen
inline const QString captureTime = QStringLiteral("captureTime");
inline const QString preRecord = QStringLiteral("preRecord");                 // 0/1
inline const QString preRecordSeconds = QStringLiteral("preRecordSeconds");   // 2..10

// Configuration screen
inline const QString TournamentName = QStringLiteral("TournamentName");
inline const QString SetupFiles = QStringLiteral("SetupFiles");
inline const QString labelcolor = QStringLiteral("labelcolor");
inline const QString grids = QStringLiteral("grids");
inline const QString right2left = QStringLiteral("right2left");
inline const QString boxlineoff = QStringLiteral("boxlineoff");
inline const QString tournamentType = QStringLiteral("tournamentType");
inline const QString TxioPath = QStringLiteral("TxioPath");
inline const QString WSTIMS = QStringLiteral("WSTIMS");
inline const QString Loupe = QStringLiteral("Loupe");
inline const QString buoymarker = QStringLiteral("buoymarker");
inline const QString PictureSave = QStringLiteral("PictureSave");
inline const QString VideoSave = QStringLiteral("VideoSave");

// Where a screen was last seen: "x y width height maximised" of the named screen.
inline QString screenPlace(const QString& screenName) { return QStringLiteral("place_") + screenName; }

// The grid parameter file last saved or loaded for grid n (1..3).
inline QString gridFile(int n) { return QStringLiteral("grid%1File").arg(n); }

} // namespace tarvex::key
