#include "common/text_file.h"

#include <QFile>
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
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return f.errorString();
    const QByteArray out = endsMidLine(f) ? QByteArrayLiteral("\r\n") + bytes : bytes;
    if (f.write(out) != out.size() || !f.flush() || !syncToDisk(f))
        return f.errorString().isEmpty() ? QStringLiteral("the data did not reach the disk") : f.errorString();
    f.close();
    return std::nullopt;
}

} // namespace tarvex
