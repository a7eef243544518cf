#include "measure/skier_name_list.h"
#include "common/list_text.h"
#include "common/text_file.h"

#include <QFile>

namespace tarvex {

QStringList parseSkierNames(const QByteArray& bytes)
{
    const QString text = decodeText(bytes);

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
    if (path.isEmpty()) {
        r.error = QStringLiteral("no file name");
        return r;
    }
    const std::optional<QByteArray> bytes = readFileBytes(path, readLimit::nameFile, &r.error);
    if (!bytes)
        return r;
    r.opened = true;
    r.names = parseSkierNames(*bytes);
    return r;
}

} // namespace tarvex
