#pragma once
// The one way the station reads a text file's bytes as text and the one way it appends to
// a file that must never lose or tear a record (results file, measurement log, txraw.dst,
// set-up records, accuracy reports).
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

class QFileDevice;

namespace tarvex {

// UTF-8 when the whole file is valid UTF-8 (a leading byte order mark dropped), otherwise
// Latin-1, byte for byte: a last Latin-1 letter without a line end is kept.
QString decodeText(const QByteArray& bytes);

// How much the station reads of a file of each kind at the most.
namespace readLimit {
constexpr qint64 gridFile = 64 * 1024;
constexpr qint64 settings = 1024 * 1024;
constexpr qint64 nameFile = 16 * 1024 * 1024;   // skier names, txskier.nam, RTF
constexpr qint64 logFile = 256 * 1024 * 1024;   // measurement log, results file
constexpr qint64 flagFile = 64 * 1024;
} // namespace readLimit

// The whole of a regular file of at most `limit` bytes. A device, a pipe or a folder is never
// opened (a read from it could hang or never end), and a larger file is not read at all.
// Without a value, `error` says why, in words that follow "cannot be read: ".
std::optional<QByteArray> readFileBytes(const QString& path, qint64 limit, QString* error = nullptr);

// Appends `bytes` in one write, creating the file when missing, and syncs it (and, for a new
// file, its folder) to the disk before returning. A file left ending mid-line (a program killed during an earlier
// append) first gets CR LF, so the new record starts on a line of its own and the earlier
// bytes stay as they were. nullopt on success, otherwise the reason (the file's error text).
std::optional<QString> appendDurably(const QString& path, const QByteArray& bytes);

// Removes the temporary files a replace left behind when the program was killed in the
// middle ("<name>.XXXXXX" beside a file named in `names`, or beside any file ending in one
// of `suffixes`), as long as they are older than `before`: a replace of this run is never
// touched. Returns how many were removed.
int removeStaleTemporaries(const QString& folder, const QStringList& names, const QStringList& suffixes,
                           const QDateTime& before);

// Flushes an open file to the disk (not only to the operating system). false on failure.
bool syncToDisk(QFileDevice& file);
// The same for the handle of a file another thread writes through (QFileDevice::handle()):
// nothing of the file object is touched, so the writer need not wait.
bool syncHandleToDisk(int handle);

// Syncs a folder's own entries to the disk, so a file renamed into it (or created in it) is
// still there after a power cut. Nothing to do on Windows, where the rename itself writes
// through. false when the folder could not be synced.
bool syncFolder(const QString& folder);

// The one way the station replaces a whole file (txresult.dst, grid files, the settings,
// currentcapture.bmp, side files): a temporary file beside it ("<name>.XXXXXX"), synced,
// renamed over it and the folder synced, so a crash or a power cut leaves either the old file
// or the new one, whole. nullopt on success, otherwise the reason (the file's error text).
std::optional<QString> replaceDurably(const QString& path, const QByteArray& bytes);

} // namespace tarvex
