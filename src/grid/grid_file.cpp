#include "grid/grid_file.h"

#include "common/list_text.h"

#include <QFile>
#include <QFileInfo>
#include "common/text_file.h"

namespace tarvex {

namespace {

const QString kFirstLinePrefix = QStringLiteral("Initialization Points for file: ");

// A line break inside a field would end it early when read back; the input box gives one
// line anyway, so a stray break becomes a blank.
QString oneLine(QString s)
{
    s.replace(QLatin1String("\r\n"), QLatin1String(" "));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return s;
}

// Numeric field k (0-based, file order) of a grid record.
double& fieldOf(JumpGrid& r, int k)
{
    if (k < 16) {
        BuoyData& b = r.buoys[k / 4 + 1];
        switch (k % 4) {
        case 0: return b.screen_x;
        case 1: return b.screen_y;
        case 2: return b.survey_x;
        default: return b.survey_y;
        }
    }
    if (k < 24)
        return r.c[k - 16 + 1];
    switch (k) {
    case 24: return r.jump_x;
    case 25: return r.jump_y;
    case 26: return r.t1;
    case 27: return r.t2;
    default: return r.t3;
    }
}

double fieldOf(const JumpGrid& r, int k) { return fieldOf(const_cast<JumpGrid&>(r), k); }

// The working-state twin of fieldOf; nullptr for t1..t3, which live only in the record.
double* workingFieldOf(GridState& g, int k)
{
    if (k < 16) {
        const int b = k / 4 + 1;
        switch (k % 4) {
        case 0: return &g.buoy_screen_x[b];
        case 1: return &g.buoy_screen_y[b];
        case 2: return &g.buoy_survey_x[b];
        default: return &g.buoy_survey_y[b];
        }
    }
    if (k < 24)
        return &g.mapping_coefficients[k - 16 + 1];
    if (k == 24)
        return &g.jump_survey_x;
    if (k == 25)
        return &g.jump_survey_y;
    return nullptr;
}

} // namespace

QByteArray gridFileBytes(const QString& fullPath, const QString& description,
                         const JumpGrid& grid, int gridNumber)
{
    ListWriter w;
    w.line(quotedIfNeeded(oneLine(kFirstLinePrefix + fullPath)));
    w.line(quotedIfNeeded(oneLine(description)));
    for (int b = 1; b <= kBuoyCount; ++b) {
        const BuoyData& d = grid.buoys[b];
        w.number(d.screen_x).text(QStringLiteral(","))
            .number(d.screen_y).text(QStringLiteral(","))
            .number(d.survey_x).text(QStringLiteral(","))
            .number(d.survey_y).endLine();
    }
    for (int m = 1; m <= kCoefficientCount; ++m)
        w.number(grid.c[m]).endLine();
    w.number(grid.jump_x).endLine();
    w.number(grid.jump_y).endLine();
    w.number(10).endLine();
    w.number(2).endLine();
    w.number(gridNumber).endLine();
    return w.bytes();
}

GridFileWriteResult writeGridFile(const QString& path, const QString& description,
                                  const JumpGrid& grid, int gridNumber)
{
    GridFileWriteResult r;
    r.fullPath = QFileInfo(path).absoluteFilePath();
    // Never write what the reader would refuse: the grid would be lost at the next start.
    for (int k = 0; k < kGridFileNumberFields; ++k) {
        if (!isStorableNumber(fieldOf(grid, k))) {
            r.error = QStringLiteral("The grid file %1 was not written: its %2 is not a number that can be stored")
                          .arg(r.fullPath, gridFileFieldName(k));
            return r;
        }
    }
    if (description.size() > kMaxDescriptionLength) {
        r.error = QStringLiteral("The grid file %1 was not written: the description is longer than %2 characters")
                      .arg(r.fullPath).arg(kMaxDescriptionLength);
        return r;
    }
    const QByteArray bytes = gridFileBytes(r.fullPath, description, grid, gridNumber);

    if (const auto failed = replaceDurably(r.fullPath, bytes)) {
        r.error = QStringLiteral("The grid file %1 could not be written: %2").arg(r.fullPath, *failed);
        return r;
    }
    r.ok = true;
    return r;
}

QString gridFileFieldName(int k)
{
    static const char* const parts[] = {"screen X", "screen Y", "survey X", "survey Y"};
    if (k < 0 || k >= kGridFileNumberFields)
        return QString();
    if (k < 16)
        return QStringLiteral("buoy %1 %2").arg(k / 4 + 1).arg(QLatin1String(parts[k % 4]));
    if (k < 24)
        return QStringLiteral("c%1").arg(k - 16 + 1);
    static const char* const tail[] = {"jump X", "jump Y", "t1", "t2", "t3"};
    return QLatin1String(tail[k - 24]);
}

JumpGrid GridFileContents::grid() const
{
    JumpGrid r;
    for (int k = 0; k < numbers.size() && k < kGridFileNumberFields; ++k)
        fieldOf(r, k) = numbers[k];
    return r;
}

GridFileContents parseGridFile(const QByteArray& bytes)
{
    GridFileContents c;
    FieldReader reader(decodeText(bytes));
    c.status = GridFileContents::Status::Ok;

    const auto first = reader.nextText();
    if (!first) {
        c.status = GridFileContents::Status::TooFewFields;
        c.error = QStringLiteral("the file is empty");
        return c;
    }
    c.firstLine = *first;
    c.fieldsRead = 1;
    const auto description = reader.nextText();
    if (!description) {
        c.status = GridFileContents::Status::TooFewFields;
        c.error = QStringLiteral("the file ends before the description line");
        return c;
    }
    if (description->size() > kMaxDescriptionLength) {
        c.status = GridFileContents::Status::FieldTooLong;
        c.error = QStringLiteral("the description line is longer than %1 characters").arg(kMaxDescriptionLength);
        return c;
    }
    c.description = *description;
    c.fieldsRead = 2;

    for (int k = 0; k < kGridFileNumberFields; ++k) {
        if (reader.atEnd()) {
            c.status = GridFileContents::Status::TooFewFields;
            c.error = QStringLiteral("the file ends before field %1 (%2)")
                          .arg(c.fieldsRead + 1).arg(gridFileFieldName(k));
            return c;
        }
        const auto v = reader.nextNumber();
        if (!v) {
            c.status = GridFileContents::Status::NotANumber;
            c.error = QStringLiteral("field %1 (%2) is not a number")
                          .arg(c.fieldsRead + 1).arg(gridFileFieldName(k));
            return c;
        }
        c.numbers << *v;
        ++c.fieldsRead;
    }
    return c;
}

GridFileContents readGridFile(const QString& path)
{
    QString why;
    const std::optional<QByteArray> bytes = readFileBytes(path, readLimit::gridFile, &why);
    if (!bytes) {
        GridFileContents c;
        c.status = GridFileContents::Status::OpenFailed;
        c.error = QStringLiteral("The grid file %1 could not be opened: %2").arg(path, why);
        return c;
    }
    GridFileContents c = parseGridFile(*bytes);
    if (!c.ok())
        c.error = QStringLiteral("The grid file %1 could not be read: %2").arg(path, c.error);
    return c;
}

bool applyGridFile(GridState& g, int n, const QString& path, const GridFileContents& contents)
{
    if (!contents.opened())
        return false;
    g.current_grid = n;
    g.grid_file_path[n] = path;
    if (contents.fieldsRead >= 2)
        g.grid_description[n] = contents.description;

    JumpGrid& record = g.grid_table[n];
    for (int k = 0; k < contents.numbers.size() && k < kGridFileNumberFields; ++k) {
        fieldOf(record, k) = contents.numbers[k];
        if (double* w = workingFieldOf(g, k))
            *w = contents.numbers[k];
    }
    if (!contents.ok())
        return false;

    g.recompute_survey_x_direction();
    g.grid_set_up[n] = true;
    g.recompute_all_grids_set_up();
    return true;
}

GridFileContents loadGridFile(GridState& g, int n, const QString& path)
{
    GridFileContents c = readGridFile(path);
    applyGridFile(g, n, path, c);
    return c;
}

GridFileWriteResult saveGridFile(GridState& g, int n, const QString& path, const QString& description)
{
    const QString fullPath = QFileInfo(path).absoluteFilePath();
    g.grid_file_path[n] = fullPath;
    g.grid_description[n] = description;

    JumpGrid grid = g.grid_table[n];
    for (int b = 1; b <= kBuoyCount; ++b)
        grid.buoys[b] = {g.buoy_screen_x[b], g.buoy_screen_y[b], g.buoy_survey_x[b], g.buoy_survey_y[b]};
    grid.c = g.mapping_coefficients;
    grid.jump_x = g.jump_survey_x;
    grid.jump_y = g.jump_survey_y;

    GridFileWriteResult r = writeGridFile(fullPath, description, grid, n);
    if (r.ok)
        g.storeGrid(n, 10, 2, n);
    return r;
}

} // namespace tarvex
