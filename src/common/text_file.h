#pragma once
// The one way the station reads a text file's bytes as text and the one way it appends to
// a file that must never lose or tear a record (results file, measurement log, txraw.dst,
// set-up records, accuracy reports).
#include <QByteArray>
#include <QString>
#include <optional>

class QFileDevice;

namespace tarvex {

// UTF-8 when the whole file is valid UTF-8 (a leading byte order mark dropped), otherwise
// Latin-1, byte for byte: a last Latin-1 letter without a line end is kept.
QString decodeText(const QByteArray& bytes);

// Appends `bytes` in one write, creating the file when missing, and syncs it to the disk
// before returning. A file left ending mid-line (a program killed during an earlier
// append) first gets CR LF, so the new record starts on a line of its own and the earlier
// bytes stay as they were. nullopt on success, otherwise the reason (the file's error text).
std::optional<QString> appendDurably(const QString& path, const QByteArray& bytes);

// Flushes an open file to the disk (not only to the operating system). false on failure.
bool syncToDisk(QFileDevice& file);

} // namespace tarvex
