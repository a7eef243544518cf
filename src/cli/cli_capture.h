#pragma once
// tarvex-cli's capture commands: "record" tries a camera, "rehearsal-grid" writes the grid
// file of the rehearsal camera from the ground truth of one of its videos.
#include <QStringList>
#include <QTextStream>

namespace tarvex {

// Runs command when it is one of these and sets status; false for any other command.
bool runCaptureCommand(const QString& command, const QStringList& args, QTextStream& out, QTextStream& err,
                       int& status);

} // namespace tarvex
