#include "common/text_file.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QFileInfo>
#include <QStringDecoder>

namespace tarvex {

QString decodeText(const QByteArray& bytes)
{
    // Stateless: an incomplete sequence at the very end is an error, not a character the
    // decoder waits for (and silently drops), so such a file is read as Latin-1.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

namespace {

QString sizeText(qint64 bytes)
{
    if (bytes >= 1024 * 1024)
        return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024));
    return QStringLiteral("%1 KiB").arg(bytes / 1024);
}

} // namespace

std::optional<QByteArray> readFileBytes(const QString& path, qint64 limit, QString* error)
{
    auto fail = [error](const QString& why) -> std::optional<QByteArray> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return fail(QStringLiteral("it is not a regular file"));
    if (info.exists() && info.size() > limit)
        return fail(QStringLiteral("it is larger than %1").arg(sizeText(limit)));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return fail(f.errorString());
    // The file may have grown since it was looked at: never read past the limit.
    QByteArray bytes = f.read(limit + 1);
    if (bytes.size() > limit)
        return fail(QStringLiteral("it is larger than %1").arg(sizeText(limit)));
    if (f.error() != QFileDevice::NoError)
        return fail(f.errorString());
    return bytes;
}

namespace {

bool endsMidLine(QFile& f)
{
    const qint64 size = f.size();
    if (size <= 0)
        return false;
    QFile reader(f.fileName());
    if (!reader.open(QIODevice::ReadOnly) || !reader.seek(size - 1))
        return false;
    char last = 0;
    return reader.getChar(&last) && last != '\n' && last != '\r';
}

} // namespace

std::optional<QString> appendDurably(const QString& path, const QByteArray& bytes)
{
    // Opening a named pipe for writing waits for a reader: never the station's log.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return QStringLiteral("it is not a regular file");
    const bool creating = !info.exists();
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return f.errorString();
    const QByteArray out = endsMidLine(f) ? QByteArrayLiteral("\r\n") + bytes : bytes;
    if (f.write(out) != out.size() || !f.flush() || !syncToDisk(f))
        return f.errorString().isEmpty() ? QStringLiteral("the data did not reach the disk") : f.errorString();
    f.close();
    // A new file's name is only durable once its folder is: the first line of a day's results
    // would otherwise vanish with the file in a power cut.
    if (creating && !syncFolder(info.absolutePath()))
        return QStringLiteral("the new file's folder did not reach the disk");
    return std::nullopt;
}

int removeStaleTemporaries(const QString& folder, const QStringList& names, const QStringList& suffixes,
                           const QDateTime& before)
{
    if (folder.isEmpty())
        return 0;
    // Six letters or digits after the name: the form of the replace's temporary files.
    static const QRegularExpression temporary(QStringLiteral("^(.+)\\.[A-Za-z0-9]{6}$"));
    int removed = 0;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo& f : entries) {
        const QRegularExpressionMatch m = temporary.match(f.fileName());
        if (!m.hasMatch())
            continue;
        const QString target = m.captured(1);
        bool ours = names.contains(target, Qt::CaseInsensitive);
        for (const QString& suffix : suffixes)
            ours = ours || target.endsWith(suffix, Qt::CaseInsensitive);
        if (ours && f.lastModified() < before && QFile::remove(f.absoluteFilePath()))
            ++removed;
    }
    return removed;
}

} // namespace tarvex
