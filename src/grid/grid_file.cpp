#include "grid/grid_file.h"

#include "common/list_text.h"
#include "grid/grid_fit.h"
#include "grid/grid_geometry.h"

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
    for (const CheckPoint& c : grid.check_points) {
        if (!isStorableNumber(c.screen_x) || !isStorableNumber(c.screen_y) || !isStorableNumber(c.survey_x)
            || !isStorableNumber(c.survey_y) || !isCheckPointName(c.name)) {
            r.error = QStringLiteral("The grid file %1 was not written: check point %2 is not one that can be stored")
                          .arg(r.fullPath, c.name);
            return r;
        }
    }
    const QByteArray bytes = gridFileBytes(r.fullPath, description, grid, gridNumber);

    if (const auto failed = replaceDurably(r.fullPath, bytes)) {
        r.error = QStringLiteral("The grid file %1 could not be written: %2").arg(r.fullPath, *failed);
        return r;
    }
    const QString sidePath = gridPointsPath(r.fullPath);
    if (!grid.check_points.isEmpty() || grid.lens_wanted) {
        if (const auto failed = replaceDurably(sidePath, gridPointsBytes(grid))) {
            r.error = QStringLiteral("The grid file %1 was written, but its points file %2 could not be: %3")
                          .arg(r.fullPath, sidePath, *failed);
            return r;
        }
    } else if (QFileInfo::exists(sidePath) && !QFile::remove(sidePath)) {
        // A stale side file would give the four-point grid another's check points at the next load.
        r.error = QStringLiteral("The grid file %1 was written, but the old points file %2 could not be removed")
                      .arg(r.fullPath, sidePath);
        return r;
    }
    r.ok = true;
    return r;
}

QString gridPointsPath(const QString& gridFilePath) { return gridFilePath + QStringLiteral(".pts"); }

namespace {

const char kPointsHeading[] = "Tarvex grid points 1";

QString numberText(double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); }

QString centimetres(double metres) { return QString::number(metres * 100, 'f', 1) + QStringLiteral(" cm"); }

} // namespace

QByteArray gridPointsBytes(const JumpGrid& grid)
{
    QString t;
    t += QLatin1String(kPointsHeading) + QLatin1Char('\n');
    t += QStringLiteral("# Check points and lens of the grid file beside this one. Lines starting with '#'\n"
                        "# are for people: the station reads the others and works the figures out again.\n");
    t += QStringLiteral("lens: %1\n").arg(grid.lens_wanted ? QStringLiteral("on") : QStringLiteral("off"));
    t += QStringLiteral("lens k1: %1\n").arg(numberText(grid.lens.k1));
    t += QStringLiteral("lens centre: %1 %2\n").arg(numberText(grid.lens.centre_x), numberText(grid.lens.centre_y));
    t += QStringLiteral("lens radius: %1\n").arg(numberText(grid.lens.radius));
    t += QStringLiteral("# point: name, picture u v (twips), survey X Y (metres)\n");
    for (const CheckPoint& c : grid.check_points)
        t += QStringLiteral("point: %1 %2 %3 %4 %5\n")
                 .arg(c.name, numberText(c.screen_x), numberText(c.screen_y), numberText(c.survey_x),
                      numberText(c.survey_y));
    const GridFit fit = assessGrid(surveyedPoints(grid), PlaneMapping::fromGrid(grid), grid.lens_wanted);
    if (fit.ok) {
        t += QStringLiteral("# %1\n").arg(qualityLine(fit));
        for (const PointAgreement& a : fit.points)
            t += QStringLiteral("# %1 residual %2, leave-one-out %3%4\n")
                     .arg(a.name, centimetres(a.residual),
                          a.leaveOneOut ? centimetres(*a.leaveOneOut) : QStringLiteral("-"),
                          a.flagged ? QStringLiteral(" - likely misplaced or mis-surveyed") : QString());
    }
    return t.toUtf8();
}

GridPoints parseGridPoints(const QByteArray& bytes)
{
    GridPoints r;
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    bool headed = false;
    auto fail = [&](int line, const QString& why) {
        r.error = QStringLiteral("line %1 %2").arg(line).arg(why);
        return r;
    };
    auto numbers = [](const QStringList& parts, int from, QList<double>& out) {
        for (int i = from; i < parts.size(); ++i) {
            bool ok = false;
            const double v = parts[i].toDouble(&ok);
            if (!ok || !std::isfinite(v))
                return false;
            out << v;
        }
        return true;
    };
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (!headed) {
            if (line != QLatin1String(kPointsHeading))
                return fail(i + 1, QStringLiteral("is not \"%1\"").arg(QLatin1String(kPointsHeading)));
            headed = true;
            continue;
        }
        const int colon = line.indexOf(QLatin1Char(':'));
        const QString key = colon < 0 ? QString() : line.left(colon).trimmed();
        const QStringList parts = line.mid(colon + 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QList<double> v;
        if (key == QLatin1String("lens")) {
            if (parts.size() != 1 || (parts[0] != QLatin1String("on") && parts[0] != QLatin1String("off")))
                return fail(i + 1, QStringLiteral("must say lens: on or lens: off"));
            r.lensWanted = parts[0] == QLatin1String("on");
        } else if (key == QLatin1String("lens k1")) {
            if (parts.size() != 1 || !numbers(parts, 0, v))
                return fail(i + 1, QStringLiteral("must hold one number"));
            r.lens.k1 = v[0];
        } else if (key == QLatin1String("lens centre")) {
            if (parts.size() != 2 || !numbers(parts, 0, v))
                return fail(i + 1, QStringLiteral("must hold two numbers"));
            r.lens.centre_x = v[0];
            r.lens.centre_y = v[1];
        } else if (key == QLatin1String("lens radius")) {
            if (parts.size() != 1 || !numbers(parts, 0, v) || v[0] < 0)
                return fail(i + 1, QStringLiteral("must hold one number, not below 0"));
            r.lens.radius = v[0];
        } else if (key == QLatin1String("point")) {
            if (parts.size() != 5 || !isCheckPointName(parts[0]) || !numbers(parts, 1, v))
                return fail(i + 1, QStringLiteral("must hold a name and four numbers: point: C1 u v X Y"));
            for (const CheckPoint& c : std::as_const(r.checkPoints))
                if (c.name.compare(parts[0], Qt::CaseInsensitive) == 0)
                    return fail(i + 1, QStringLiteral("names %1 a second time").arg(parts[0]));
            if (r.checkPoints.size() == kMaxCheckPoints)
                return fail(i + 1, QStringLiteral("holds a check point beyond the %1 a grid may have").arg(kMaxCheckPoints));
            r.checkPoints << CheckPoint{parts[0], v[0], v[1], v[2], v[3]};
        } else {
            return fail(i + 1, QStringLiteral("is not a line of a points file"));
        }
    }
    if (!headed)
        return fail(1, QStringLiteral("is not \"%1\"").arg(QLatin1String(kPointsHeading)));
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
    r.check_points = points.checkPoints;
    r.lens_wanted = points.lensWanted;
    r.lens = points.lens;
    return r;
}

namespace {

constexpr int kGridFileLines = 19;
constexpr int kFirstNumberLine = 3;
constexpr int kBuoyLines = 4;

// The fields of one line: commas separate them, blanks around a field are dropped and a
// field in double quotes may hold commas (a doubled quote stands for one). An empty line is
// one empty field; a comma at the end opens one more.
struct LineField {
    QString text;
    bool quoted = false;
};

QList<LineField> lineFields(QStringView line)
{
    QList<LineField> fields;
    const qsizetype n = line.size();
    qsizetype pos = 0;
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    for (;;) {
        while (pos < n && blank(line[pos]))
            ++pos;
        LineField f;
        if (pos < n && line[pos] == QLatin1Char('"')) {
            f.quoted = true;
            for (++pos; pos < n; ++pos) {
                if (line[pos] != QLatin1Char('"')) {
                    f.text += line[pos];
                } else if (pos + 1 < n && line[pos + 1] == QLatin1Char('"')) {
                    f.text += QLatin1Char('"');
                    ++pos;
                } else {
                    ++pos;
                    break;
                }
            }
            while (pos < n && line[pos] != QLatin1Char(','))
                ++pos;
        } else {
            const qsizetype from = pos;
            while (pos < n && line[pos] != QLatin1Char(','))
                ++pos;
            f.text = line.mid(from, pos - from).trimmed().toString();
        }
        fields << f;
        if (pos >= n)
            return fields;
        ++pos;   // the comma
    }
}

// CR LF, CR and LF all end a line, as every editor on every system writes one of them.
QList<QStringView> textLines(QStringView text)
{
    QList<QStringView> lines;
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('\r') && text[i] != QLatin1Char('\n'))
            continue;
        lines << text.mid(from, i - from);
        if (text[i] == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            ++i;
        from = i + 1;
    }
    if (from < text.size())
        lines << text.mid(from);
    return lines;
}

// Line 1 and 2 hold one text each. Unquoted, the whole line is the text, commas and all: a
// path or description written without quotes cannot push anything into the numbers below.
std::optional<QString> lineText(QStringView line, int& fieldCount)
{
    const QList<LineField> fields = lineFields(line);
    fieldCount = int(fields.size());
    if (!fields.first().quoted)
        return line.trimmed().toString();
    if (fields.size() != 1)
        return std::nullopt;
    return fields.first().text;
}

// The numeric fields line k (1-based) holds, and the name of its first field in errors.
int numbersOnLine(int line) { return line < kFirstNumberLine + kBuoyLines ? 4 : 1; }

int firstNumberOfLine(int line)
{
    const int k = line - kFirstNumberLine;
    return k < kBuoyLines ? k * 4 : kBuoyLines * 4 + (k - kBuoyLines);
}

QString lineName(int line)
{
    const int k = line - kFirstNumberLine;
    if (k < kBuoyLines)
        return QStringLiteral("buoy %1").arg(k + 1);
    return gridFileFieldName(firstNumberOfLine(line));
}

QString fieldsText(int n) { return n == 1 ? QStringLiteral("1 field") : QStringLiteral("%1 fields").arg(n); }

QString wrongCountText(int line, QStringView name, int found, int expected)
{
    return QStringLiteral("line %1 (%2) holds %3 where %4 %5 expected")
        .arg(line)
        .arg(name)
        .arg(fieldsText(found), QString::number(expected),
             expected == 1 ? QStringLiteral("is") : QStringLiteral("are"));
}

} // namespace

GridFileContents parseGridFile(const QByteArray& bytes)
{
    GridFileContents c;
    const QString text = decodeText(bytes);
    const QList<QStringView> lines = textLines(text);
    c.status = GridFileContents::Status::Ok;

    if (lines.isEmpty()) {
        c.status = GridFileContents::Status::TooFewFields;
        c.error = QStringLiteral("the file is empty");
        return c;
    }
    int found = 0;
    const auto first = lineText(lines[0], found);
    if (!first) {
        c.status = GridFileContents::Status::WrongFieldCount;
        c.error = wrongCountText(1, u"the file's path", found, 1);
        return c;
    }
    c.firstLine = *first;
    c.fieldsRead = 1;
    if (lines.size() < 2) {
        c.status = GridFileContents::Status::TooFewFields;
        c.error = QStringLiteral("the file ends before the description line");
        return c;
    }
    const auto description = lineText(lines[1], found);
    if (!description) {
        c.status = GridFileContents::Status::WrongFieldCount;
        c.error = wrongCountText(2, u"the description", found, 1);
        return c;
    }
    if (description->size() > kMaxDescriptionLength) {
        c.status = GridFileContents::Status::FieldTooLong;
        c.error = QStringLiteral("the description line is longer than %1 characters").arg(kMaxDescriptionLength);
        return c;
    }
    c.description = *description;
    c.fieldsRead = 2;

    for (int line = kFirstNumberLine; line <= kGridFileLines; ++line) {
        const int k0 = firstNumberOfLine(line);
        if (line > lines.size()) {
            c.status = GridFileContents::Status::TooFewFields;
            c.error = QStringLiteral("the file ends before line %1 (%2)").arg(line).arg(lineName(line));
            return c;
        }
        const QList<LineField> fields = lineFields(lines[line - 1]);
        const int expected = numbersOnLine(line);
        if (fields.size() != expected) {
            c.status = GridFileContents::Status::WrongFieldCount;
            c.error = wrongCountText(line, lineName(line), int(fields.size()), expected);
            return c;
        }
        for (int i = 0; i < expected; ++i) {
            bool ok = false;
            const double v = fields[i].text.toDouble(&ok);   // C locale: "." point, optional exponent
            if (!ok || fields[i].quoted || !isStorableNumber(v)) {
                c.status = GridFileContents::Status::NotANumber;
                c.error = QStringLiteral("field %1 (%2) on line %3 is not a number")
                              .arg(c.fieldsRead + 1)
                              .arg(gridFileFieldName(k0 + i))
                              .arg(line);
                return c;
            }
            c.numbers << v;
            ++c.fieldsRead;
        }
    }
    for (qsizetype i = kGridFileLines; i < lines.size(); ++i) {
        if (!lines[i].trimmed().isEmpty()) {
            c.status = GridFileContents::Status::TooManyLines;
            c.error = QStringLiteral("line %1 follows the last of the %2 lines of a grid file")
                          .arg(i + 1)
                          .arg(kGridFileLines);
            return c;
        }
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
    if (!c.ok()) {
        c.error = QStringLiteral("The grid file %1 could not be read: %2").arg(path, c.error);
        return c;
    }
    const QString sidePath = gridPointsPath(path);
    if (QFileInfo::exists(sidePath)) {
        const std::optional<QByteArray> side = readFileBytes(sidePath, readLimit::gridFile, &why);
        c.points = side ? parseGridPoints(*side) : GridPoints{};
        if (!c.points.ok) {
            c.status = GridFileContents::Status::BadPoints;
            c.error = QStringLiteral("The grid file %1 cannot be used: its points file %2 cannot be read: %3")
                          .arg(path, sidePath, side ? c.points.error : why);
            c.points = {};
            return c;
        }
    }
    // A file that reads whole may still hold a mapping no jump can be measured with.
    const JumpGrid grid = c.grid();
    QString problem = mappingProblem(grid);
    if (problem.isEmpty() && (!grid.check_points.isEmpty() || grid.lens_wanted))
        problem = fitProblem(grid);
    if (!problem.isEmpty()) {
        c.status = GridFileContents::Status::BadMapping;
        c.error = QStringLiteral("The grid file %1 cannot be used: %2").arg(path, problem);
    }
    return c;
}

bool applyGridFile(GridState& g, int n, const QString& path, const GridFileContents& contents)
{
    // Half a damaged file is not a grid: the one the station had stays whole.
    if (!contents.ok())
        return false;
    g.current_grid = n;
    g.grid_file_path[n] = path;
    g.grid_description[n] = contents.description;

    JumpGrid& record = g.grid_table[n];
    for (int k = 0; k < contents.numbers.size() && k < kGridFileNumberFields; ++k) {
        fieldOf(record, k) = contents.numbers[k];
        if (double* w = workingFieldOf(g, k))
            *w = contents.numbers[k];
    }
    record.check_points = g.check_points = contents.points.checkPoints;
    record.lens_wanted = g.lens_wanted = contents.points.lensWanted;
    record.lens = g.lens = contents.points.lens;

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
    grid.check_points = g.check_points;
    grid.lens_wanted = g.lens_wanted;
    grid.lens = g.lens;

    GridFileWriteResult r = writeGridFile(fullPath, description, grid, n);
    if (r.ok)
        g.storeGrid(n, 10, 2, n);
    return r;
}

} // namespace tarvex
