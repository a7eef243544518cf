#pragma once
// What the log viewers list of a measurement log and the file a listed line names.
#include <QString>
#include <QStringList>

namespace tarvex {

enum class LogFilter {
    VideoLines,      // lines ending in "avi": the contact-frame lines of captured videos
    AllButSessions,  // every line but the session lines ("Tarvex Measurement")
    PictureLines,    // lines ending in "bmp": the saved contact pictures
};

bool passesLogFilter(const QString& line, LogFilter filter);

// The lines of a log's text that pass the filter, in file order (CR LF, LF or CR line ends).
QStringList filterLogLines(const QString& text, LogFilter filter);

// The file a line names: the rest of the line after "File: ", empty without "File:".
QString fileNameOfLogLine(const QString& line);

struct LogListing {
    bool exists = false;      // false: no such log file; the list is emptied
    QStringList lines;
    QString error;            // the log is there but cannot be read ("cannot be read: " + error)
};

// Reads the log through the station's bounded reader and decoder.
LogListing readLogListing(const QString& path, LogFilter filter);

} // namespace tarvex
