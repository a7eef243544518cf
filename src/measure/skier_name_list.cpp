#include "measure/skier_name_list.h"
#include "common/list_text.h"

#include <QFile>
#include <QStringDecoder>

namespace tarvex {

QStringList parseSkierNames(const QByteArray& bytes)
{
    // Stateless: a truncated sequence at the end is an error too, not a pending character.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    QStringList names;
    FieldReader reader(text);
    while (!reader.atEnd()) {
        const auto field = reader.nextText();
        if (!field)
            break;
        if (!field->isEmpty())
            names << *field;
    }
    return names;
}

SkierNameFileRead readSkierNameFile(const QString& path)
{
    SkierNameFileRead r;
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly)) {
        r.error = path.isEmpty() ? QStringLiteral("no file name") : f.errorString();
        return r;
    }
    r.opened = true;
    const QByteArray bytes = f.readAll();
    f.close();
    r.names = parseSkierNames(bytes);
    return r;
}

} // namespace tarvex
