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
