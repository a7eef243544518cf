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

QStringList skierListEntries(const QString& content)
{
    QStringList out;
    QString text = content;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    for (QString line : text.split(QLatin1Char('\n'))) {
        line.replace(QLatin1Char(','), QLatin1Char(' '));
        // A line of blanks (or of commas) would be an entry that chooses a blank name.
        if (line.trimmed().isEmpty())
            continue;
        out << line;
    }
    return out;
}

QStringList skierListFromBytes(const QByteArray& bytes) { return skierListEntries(decodeText(bytes)); }

std::optional<QString> wstimsNameFromBytes(const QByteArray& bytes)
{
    FieldReader reader(decodeText(bytes));
    std::optional<QString> first = reader.nextText();
    if (!first || first->isEmpty())
        return std::nullopt;
    return first;
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
