#pragma once
// tarvex-cli's video commands: "avi-info FILE" and "frame FILE N --out F.bmp".
#include <QStringList>
#include <QTextStream>
#include <optional>

namespace tarvex {

// The exit status when `command` is a video command, nullopt when it is none.
std::optional<int> runVideoCli(const QString& command, const QStringList& args, QTextStream& out,
                               QTextStream& err);

} // namespace tarvex
