#pragma once
// The names the Station knows its screens by (also each screen's objectName).
#include <QString>

namespace tarvex::screen {

inline const QString MainForm = QStringLiteral("MainForm");
inline const QString Config = QStringLiteral("Config");
inline const QString Grid_Setup = QStringLiteral("Grid_Setup");
inline const QString Calibrate = QStringLiteral("Calibrate");
inline const QString Measure = QStringLiteral("Measure");
inline const QString Results = QStringLiteral("Results");
inline const QString frmManual = QStringLiteral("frmManual");
inline const QString PreviewForm = QStringLiteral("PreviewForm");
inline const QString frmSetStart = QStringLiteral("frmSetStart");

} // namespace tarvex::screen

// Windows made for each opening and deleted when closed (Station::openWindow).
namespace tarvex::window {

inline const QString LogView = QStringLiteral("LogView");
inline const QString PictureLogView = QStringLiteral("PictureLogView");

} // namespace tarvex::window
