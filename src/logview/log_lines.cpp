#include "logview/log_lines.h"
#include "common/text_file.h"

#include <QFileInfo>

namespace tarvex {

bool passesLogFilter(const QString& line, LogFilter filter)
{
    switch (filter) {
    case LogFilter::VideoLines: return line.endsWith(QLatin1String("avi"));
    case LogFilter::PictureLines: return line.endsWith(QLatin1String("bmp"));
    case LogFilter::AllButSessions: return !line.contains(QLatin1String("Tarvex Measurement"));
    }
    return false;
}

QStringList filterLogLines(const QString& text, LogFilter filter)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = t.split(QLatin1Char('\n'));
    // The line end of the last record is not the start of an empty line.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    QStringList out;
    for (const QString& line : lines)
        if (passesLogFilter(line, filter))
            out << line;
    return out;
}

QString fileNameOfLogLine(const QString& line)
{
    const int p = line.indexOf(QLatin1String("File:"));
    return p < 0 ? QString() : line.mid(p + 6);
}

LogListing readLogListing(const QString& path, LogFilter filter)
{
    LogListing r;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || info.isDir())
        return r;
    r.exists = true;
    const std::optional<QByteArray> bytes = readFileBytes(path, readLimit::logFile, &r.error);
    if (bytes)
        r.lines = filterLogLines(decodeText(*bytes), filter);
    return r;
}

} // namespace tarvex
