#include "cli/cli.h"
#include "cli/cli_video.h"
#include "cli/cli_capture.h"

#include "grid/accuracy.h"
#include "grid/grid_file.h"
#include "grid/grid_fit.h"
#include "grid/grid_geometry.h"
#include "grid/setup_record.h"

#include "tarvex_version.h"

#include "common/twips.h"

#include <QLocale>
#include <QSize>
#include <QMap>
#include <QStringList>
#include <cmath>

namespace tarvex {

namespace {

// One line for every command and every option, so that `tarvex-cli --help | grep` answers.
const char kUsage[] =
    "Usage: tarvex-cli COMMAND ARGUMENTS [--OPTION VALUE ...]\n"
    "Grid parameter files, jump videos and cameras away from the station.\n"
    "\n"
    "Commands:\n"
    "  grid --out FILE --grid N --ur .. --lr .. --ul .. --ll .. --jump X,Y   solve the grid and write its grid parameter file\n"
    "  distance FILE u,v [u,v ...]    print 'u v X Y distance sigma' for each screen point (metres, ramp allowance included;\n"
    "                                 sigma: one standard uncertainty of the distance)\n"
    "  residuals FILE                 print 'NAME residual_cm loo_cm' for each point of a grid, then its RMS and lens\n"
    "  check FILE                     print the grid check messages for the picture width\n"
    "  accuracy FILE                  print the accuracy lattice lines and the levels of its seven rows\n"
    "  avi-info FILE                  print the AVI file information list (type, size, length, rate, caps, flags)\n"
    "  frame FILE N --out F.bmp       write frame N (0-based) as a 24-bit bitmap\n"
    "  record OUT.avi                 record from a camera; print 'frames captured N, dropped M, audio samples A, elapsed T ms'\n"
    "  contact CLIP [--grid FILE]     print the suggested first contact: 'contact frame N at u,v confidence C' (twips on frame N)\n"
    "  rehearsal-grid TRUTH.json --out FILE.ipt   write the rehearsal camera's grid file (and its check points) from a video's ground truth\n"
    "  help, --help, -h               print this help\n"
    "  --version, -v                  print the version\n"
    "\n"
    "Options (each but --no-landing takes a value: --name value or --name=value):\n"
    "  --out FILE          grid, frame, rehearsal-grid: the file to write\n"
    "  --grid N            grid, rehearsal-grid: the grid number, 1 to 3 (rehearsal-grid: 1 if not given);\n"
    "                      contact: the camera's grid parameter file (its water area and scale)\n"
    "  --description TEXT  grid: the description kept in the grid file\n"
    "  --ur u,v,X,Y        grid: buoy 1, upper right: screen twips u,v and survey metres X,Y\n"
    "  --lr u,v,X,Y        grid: buoy 2, lower right\n"
    "  --ul u,v,X,Y        grid: buoy 3, upper left\n"
    "  --ll u,v,X,Y        grid: buoy 4, lower left\n"
    "  --jump X,Y          grid: the surveyed jump point in metres\n"
    "  --point NAME,u,v,X,Y  grid: a check point (up to 8, repeat the option): screen twips and survey metres\n"
    "  --lens radial|none  grid: also fit a radial lens coefficient from six or more points (default none);\n"
    "                      rehearsal-grid: the same\n"
    "  --picture WxH       grid: the picture size in pixels, for the lens centre (default the smallest of\n"
    "                      640x480, 720x576, 1280x720, 1920x1080, 2560x1440, 3840x2160 that holds every point)\n"
    "  --click-px S        distance: one standard uncertainty of the click in picture pixels (default 0.5)\n"
    "  --type TYPE         distance, accuracy: normal (default), barefoot or sitski, for the ramp allowance\n"
    "  --width TWIPS       check: the picture width in twips (default 12000)\n"
    "  --device NAME_OR_URL record: the camera, or a network camera by name or address (rtsp://, http://, udp://, srt://)\n"
    "                      (default the first listed; \"Tarvex Rehearsal Camera\" is always listed)\n"
    "  --size WxH          record: the frame size, one the camera offers (default its first)\n"
    "  --fps N             record: frames per second, 1 to 240 (default 30)\n"
    "  --seconds S         record: the length in seconds, 1 to 3600 (default 5)\n"
    "  --codec CODEC       record: mjpeg (default), ffv1, h264 or none\n"
    "  --lens-k1 K         record: the rehearsal camera's radial lens coefficient, -0.5 to 0.5 (default 0)\n"
    "  --waves N           record: the rehearsal camera's water, 0 calm (default) to 3 rough\n"
    "  --seed S            record: a rehearsal pass of its own (contact point, time, speed, height; the same for the same S)\n"
    "  --contact-seconds T record: the rehearsal skier's first contact, seconds after the start (any fraction)\n"
    "  --no-landing        record: the rehearsal skier never reaches the water (takes no value)\n"
    "  --cameras N         record: N cameras at once, the chosen one and those listed after it, 1 to 3 (default 1);\n"
    "                      camera k writes OUT-camk.avi and every file gets a .times file of its frame times\n"
    "  --camera N          rehearsal-grid: the grid of rehearsal camera N (1 to 3) for the same pass\n"
    "  --pre-seconds N     record: pre-recording, 2 to 10 s held before the start and stored first (default\n"
    "                      none); the rehearsal jump then plays from when the camera starts holding pictures\n"
    "\n"
    "Exit status: 0 done; 1 no answer from the grid, a frame outside the clip, dropped frames or no contact found;\n"
    "2 bad usage, a file that cannot be read or written, or a device error.\n";

} // namespace

CliArgs parseCliArgs(const QStringList& args, const QStringList& allowed, const QStringList& repeatable)
{
    CliArgs a;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!arg.startsWith(QLatin1String("--"))) {
            a.positional << arg;
            continue;
        }
        QString name = arg.mid(2);
        QString value;
        const int eq = name.indexOf(QLatin1Char('='));
        if (eq >= 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            a.error = QStringLiteral("option --%1 needs a value").arg(name);
            return a;
        }
        if (repeatable.contains(name)) {
            a.lists[name] << value;
            continue;
        }
        if (!allowed.contains(name)) {
            a.error = QStringLiteral("unknown option --%1").arg(name);
            return a;
        }
        if (a.options.contains(name)) {
            a.error = QStringLiteral("option --%1 given twice").arg(name);
            return a;
        }
        a.options.insert(name, value);
    }
    return a;
}

namespace {

// count numbers separated by commas, strictly ("." as decimal point); empty list on error.
QList<double> numberList(const QString& text, int count)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != count)
        return {};
    QList<double> v;
    for (const QString& p : parts) {
        bool ok = false;
        const double d = p.trimmed().toDouble(&ok);   // C locale, whatever the system's
        if (!ok)
            return {};
        v << d;
    }
    return v;
}

QString shortest(double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); }
QString full(double v) { return QString::number(v, 'g', 17); }

int usageError(QTextStream& err, const QString& problem)
{
    err << "tarvex-cli: " << problem << " (tarvex-cli --help shows the usage)\n";
    return kCliUsage;
}

// --type takes the names the settings store uses for "tournamentType".
std::optional<TournamentType> parseTournamentType(const CliArgs& a, QString& problem)
{
    const QString type = a.options.value(QStringLiteral("type"), QStringLiteral("normal"));
    if (type == QLatin1String("normal"))
        return TournamentType::Standard;
    if (type == QLatin1String("barefoot"))
        return TournamentType::Barefoot;
    if (type == QLatin1String("sitski"))
        return TournamentType::SitSki;
    problem = QStringLiteral("--type must be normal, barefoot or sitski, not '%1'").arg(type);
    return std::nullopt;
}

// Reads the grid file into g as the configuration loader does; false with the reason.
bool loadGrid(GridState& g, const QString& path, QString& problem)
{
    const GridFileContents c = readGridFile(path);
    if (!c.ok()) {
        problem = c.error;
        return false;
    }
    applyGridFile(g, 1, path, c);
    return true;
}

// The picture a grid's points were clicked on, for the lens centre: given, or the smallest
// common size that holds them all.
std::optional<QSize> pictureSize(const CliArgs& a, const QList<SurveyedPoint>& points, QString& problem)
{
    if (a.options.contains(QStringLiteral("picture"))) {
        const QStringList wh = a.options.value(QStringLiteral("picture")).split(QLatin1Char('x'));
        bool okW = false, okH = false;
        const int w = wh.size() == 2 ? wh[0].toInt(&okW) : 0, h = wh.size() == 2 ? wh[1].toInt(&okH) : 0;
        if (!okW || !okH || w < 1 || h < 1 || w > 16384 || h > 16384) {
            problem = QStringLiteral("--picture must be WxH in pixels, such as 1920x1080");
            return std::nullopt;
        }
        return QSize(w, h);
    }
    double u = 0, v = 0;
    for (const SurveyedPoint& p : points) {
        u = std::max(u, p.screen.x() / kTwipsPerPixel);
        v = std::max(v, p.screen.y() / kTwipsPerPixel);
    }
    for (const QSize s : {QSize(640, 480), QSize(720, 576), QSize(1280, 720), QSize(1920, 1080), QSize(2560, 1440)})
        if (u < s.width() - 0.5 && v < s.height() - 0.5)
            return s;
    return QSize(3840, 2160);
}

// The point table of the grid and residuals commands.
void printAgreement(QTextStream& out, const GridFit& fit)
{
    for (const PointAgreement& p : fit.points) {
        out << p.name << ' ' << QString::number(p.residual * 100, 'f', 2) << ' '
            << (p.leaveOneOut ? QString::number(*p.leaveOneOut * 100, 'f', 2) : QStringLiteral("-"));
        if (p.flagged)
            out << " flagged";
        out << "\n";
    }
    out << "rms " << QString::number(fit.rms * 100, 'f', 2) << " cm over " << fit.count() << " points, lens k1 "
        << shortest(fit.lensUsed ? fit.mapping.lens().k1 : 0.0) << "\n";
}

// --point NAME,u,v,X,Y into check points; false with the reason.
bool readCheckPoints(const QStringList& values, QList<CheckPoint>& out, QString& problem)
{
    if (values.size() > kMaxCheckPoints) {
        problem = QStringLiteral("a grid holds at most %1 check points, not %2").arg(kMaxCheckPoints).arg(values.size());
        return false;
    }
    for (const QString& value : values) {
        const int comma = value.indexOf(QLatin1Char(','));
        const QString name = value.left(comma).trimmed();
        const QList<double> v = comma < 0 ? QList<double>() : numberList(value.mid(comma + 1), 4);
        if (v.isEmpty() || !isCheckPointName(name)) {
            problem = QStringLiteral("--point must be NAME,u,v,X,Y (a name of up to 12 letters, digits, '-' or '_', "
                                     "not UR, LR, UL or LL, then four numbers), not '%1'").arg(value);
            return false;
        }
        for (const CheckPoint& c : std::as_const(out))
            if (c.name.compare(name, Qt::CaseInsensitive) == 0) {
                problem = QStringLiteral("--point %1 is given twice").arg(name);
                return false;
            }
        for (double d : v)
            if (!std::isfinite(d)) {
                problem = QStringLiteral("--point '%1' holds a number that is not finite").arg(value);
                return false;
            }
        out << CheckPoint{name, v[0], v[1], v[2], v[3]};
    }
    return true;
}

std::optional<bool> lensWanted(const CliArgs& a, QString& problem)
{
    const QString lens = a.options.value(QStringLiteral("lens"), QStringLiteral("none"));
    if (lens == QLatin1String("radial"))
        return true;
    if (lens == QLatin1String("none"))
        return false;
    problem = QStringLiteral("--lens must be radial or none, not '%1'").arg(lens);
    return std::nullopt;
}

int runGrid(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const CliArgs a = parseCliArgs(args, {QStringLiteral("out"), QStringLiteral("grid"),
                                    QStringLiteral("description"), QStringLiteral("ur"),
                                    QStringLiteral("lr"), QStringLiteral("ul"), QStringLiteral("ll"),
                                    QStringLiteral("jump"), QStringLiteral("lens"), QStringLiteral("picture")},
                                   {QStringLiteral("point")});
    if (!a.error.isEmpty())
        return usageError(err, a.error);
    if (!a.positional.isEmpty())
        return usageError(err, QStringLiteral("unexpected argument '%1'").arg(a.positional.first()));
    for (const char* required : {"out", "grid", "ur", "lr", "ul", "ll", "jump"})
        if (!a.options.contains(QLatin1String(required)))
            return usageError(err, QStringLiteral("grid needs --%1").arg(QLatin1String(required)));

    bool ok = false;
    const int n = a.options.value(QStringLiteral("grid")).trimmed().toInt(&ok);
    if (!ok || !GridState::isGridNumber(n))
        return usageError(err, QStringLiteral("--grid must be 1, 2 or 3"));

    GridState g;
    g.grids_in_use = kGridCount;
    const std::pair<const char*, int> buoys[] = {
        {"ur", buoy::UpperRight}, {"lr", buoy::LowerRight}, {"ul", buoy::UpperLeft}, {"ll", buoy::LowerLeft}};
    for (const auto& [name, index] : buoys) {
        const QList<double> v = numberList(a.options.value(QLatin1String(name)), 4);
        if (v.isEmpty())
            return usageError(err, QStringLiteral("--%1 must be u,v,X,Y (four numbers)").arg(QLatin1String(name)));
        g.buoy_screen_x[index] = v[0];
        g.buoy_screen_y[index] = v[1];
        g.buoy_survey_x[index] = v[2];
        g.buoy_survey_y[index] = v[3];
    }
    const QList<double> jump = numberList(a.options.value(QStringLiteral("jump")), 2);
    if (jump.isEmpty())
        return usageError(err, QStringLiteral("--jump must be X,Y (two numbers)"));
    g.jump_survey_x = jump[0];
    g.jump_survey_y = jump[1];
    QString problem;
    if (!readCheckPoints(a.lists.value(QStringLiteral("point")), g.check_points, problem))
        return usageError(err, problem);
    const auto lens = lensWanted(a, problem);
    if (!lens)
        return usageError(err, problem);
    g.lens_wanted = *lens;
    const auto picture = pictureSize(a, surveyedPoints(g), problem);
    if (!picture)
        return usageError(err, problem);

    GridFit fit;
    if (g.check_points.isEmpty() && !g.lens_wanted) {
        // Today's four-point grid, through the very path the setup screen takes.
        if (!solve_coefficients(g)) {
            err << kNoUniqueSolutionText << "\n";
            return kCliNoResult;
        }
        fit = assessGrid(surveyedPoints(g), PlaneMapping::fromGrid(g), false);
    } else {
        fit = fitWorkingGrid(g, LensCorrection::forPicture(picture->width(), picture->height()));
        if (!fit.ok) {
            err << fit.error << "\n";
            return kCliNoResult;
        }
    }
    const GridFileWriteResult w =
        saveGridFile(g, n, a.options.value(QStringLiteral("out")), a.options.value(QStringLiteral("description")));
    if (!w.ok) {
        err << "tarvex-cli: " << w.error << "\n";
        return kCliUsage;
    }
    out << "Grid " << n << " written to " << w.fullPath << "\n";
    printAgreement(out, fit);
    return kCliOk;
}

int runResiduals(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const CliArgs a = parseCliArgs(args, {});
    if (!a.error.isEmpty())
        return usageError(err, a.error);
    if (a.positional.size() != 1)
        return usageError(err, QStringLiteral("residuals needs one grid file"));
    GridState g;
    QString problem;
    if (!loadGrid(g, a.positional.first(), problem)) {
        err << "tarvex-cli: " << problem << "\n";
        return kCliUsage;
    }
    const GridFit fit = assessGrid(surveyedPoints(g), PlaneMapping::fromGrid(g), g.lens_wanted);
    if (!fit.ok) {
        err << "tarvex-cli: " << fit.error << "\n";
        return kCliNoResult;
    }
    printAgreement(out, fit);
    return kCliOk;
}

// Far beyond any picture (a few thousand twips across); a mapping there answers only with
// rounding noise, and a NaN would pass for a point on the vanishing line.
constexpr double kFarthestPointTwips = 1e7;

// Why a point u,v read by numberList cannot be measured; empty when it can.
QString pointProblem(const QString& text, const QList<double>& p)
{
    const QStringList parts = text.split(QLatin1Char(','));
    for (int i = 0; i < 2; ++i) {
        if (std::isnan(p[i]))
            return QStringLiteral("'%1' is not a point u,v: %2 is not a number").arg(text, parts[i].trimmed());
        if (!(std::abs(p[i]) <= kFarthestPointTwips))
            return QStringLiteral("'%1' is not a point u,v: %2 lies beyond 10000000 twips, outside any picture")
                .arg(text, parts[i].trimmed());
    }
    return QString();
}

int runDistance(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const CliArgs a = parseCliArgs(args, {QStringLiteral("type"), QStringLiteral("click-px")});
    if (!a.error.isEmpty())
        return usageError(err, a.error);
    if (a.positional.size() < 2)
        return usageError(err, QStringLiteral("distance needs a grid file and at least one point u,v"));
    bool clickOk = true;
    const double clickPx = a.options.value(QStringLiteral("click-px"), QStringLiteral("0.5")).toDouble(&clickOk);
    if (!clickOk || !std::isfinite(clickPx) || clickPx < 0 || clickPx > 100)
        return usageError(err, QStringLiteral("--click-px must be a number of pixels from 0 to 100"));
    QString problem;
    const auto type = parseTournamentType(a, problem);
    if (!type)
        return usageError(err, problem);

    QList<QList<double>> points;
    for (int i = 1; i < a.positional.size(); ++i) {
        const QList<double> p = numberList(a.positional[i], 2);
        if (p.isEmpty())
            return usageError(err, QStringLiteral("'%1' is not a point u,v").arg(a.positional[i]));
        if (const QString why = pointProblem(a.positional[i], p); !why.isEmpty())
            return usageError(err, why);
        points << p;
    }
    GridState g;
    if (!loadGrid(g, a.positional.first(), problem)) {
        err << "tarvex-cli: " << problem << "\n";
        return kCliUsage;
    }

    const GridFit fit = assessGrid(surveyedPoints(g), PlaneMapping::fromGrid(g), g.lens_wanted);
    int status = kCliOk;
    for (const QList<double>& p : points) {
        const auto m = measureJump(g, QPointF(p[0], p[1]), *type);
        if (!m) {
            err << shortest(p[0]) << ' ' << shortest(p[1])
                << ": no distance - the point lies on the vanishing line of the grid\n";
            status = kCliNoResult;
            continue;
        }
        const auto sigma = distanceSigma(fit, QPointF(g.jump_survey_x, g.jump_survey_y), QPointF(p[0], p[1]), clickPx);
        out << shortest(p[0]) << ' ' << shortest(p[1]) << ' ' << full(m->survey.x()) << ' '
            << full(m->survey.y()) << ' ' << full(m->distance) << ' '
            << (sigma ? QString::number(*sigma, 'g', 6) : QStringLiteral("-")) << "\n";
    }
    return status;
}

int runCheck(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const CliArgs a = parseCliArgs(args, {QStringLiteral("width")});
    if (!a.error.isEmpty())
        return usageError(err, a.error);
    if (a.positional.size() != 1)
        return usageError(err, QStringLiteral("check needs exactly one grid file"));
    const QString width = a.options.value(QStringLiteral("width"), QStringLiteral("12000"));
    bool ok = false;
    const double twips = width.trimmed().toDouble(&ok);
    if (!ok)
        return usageError(err, QStringLiteral("--width must be a number of twips"));
    // 0 keeps the station's own answer ("load a picture"); below or beyond, no picture exists.
    if (!std::isfinite(twips) || twips < 0)
        return usageError(err, QStringLiteral("--width must be a positive number of twips, not '%1'").arg(width));

    GridState g;
    QString problem;
    if (!loadGrid(g, a.positional.first(), problem)) {
        err << "tarvex-cli: " << problem << "\n";
        return kCliUsage;
    }
    // The boxes read what a load writes into them.
    const SetupBoxTexts boxes = SetupBoxTexts::fromWorkingState(g);
    const GridCheckResult r =
        grid_check(g, boxes.lower_left_x, boxes.lower_right_x, boxes.upper_left_x, boxes.upper_right_x, width);
    if (!r.valid) {
        for (const QString& m : r.messages)
            err << m << "\n";
        return kCliNoResult;
    }
    for (const QString& m : r.messages)
        out << m << "\n";
    return kCliOk;
}

int runAccuracy(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const CliArgs a = parseCliArgs(args, {QStringLiteral("type")});
    if (!a.error.isEmpty())
        return usageError(err, a.error);
    if (a.positional.size() != 1)
        return usageError(err, QStringLiteral("accuracy needs exactly one grid file"));
    QString problem;
    const auto type = parseTournamentType(a, problem);
    if (!type)
        return usageError(err, problem);

    GridState g;
    if (!loadGrid(g, a.positional.first(), problem)) {
        err << "tarvex-cli: " << problem << "\n";
        return kCliUsage;
    }
    const AccuracyLattice lattice = computeAccuracyLattice(g, *type);
    if (!lattice.ok) {
        err << lattice.error << "\n";
        return kCliNoResult;
    }
    for (int i = 0; i < kLatticeSize; ++i)
        for (int j = 0; j < kLatticeSize; ++j)
            out << accuracyPointLine(lattice.at(i, j)) << "\n";
    for (int j = 0; j < kLatticeSize; ++j) {
        QStringList row;
        for (int i = 0; i < kLatticeSize; ++i)
            row << lattice.at(i, j).level;
        out << row.join(QLatin1Char(' ')) << "\n";
    }
    return kCliOk;
}

} // namespace

int runCli(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.isEmpty())
        return usageError(err, QStringLiteral("no command given"));
    const QString command = args.first();
    const QStringList rest = args.mid(1);
    if (command == QLatin1String("--help") || command == QLatin1String("-h")
        || command == QLatin1String("help")) {
        out << kUsage;
        return kCliOk;
    }
    if (command == QLatin1String("--version") || command == QLatin1String("-v")) {
        out << "tarvex-cli " << TARVEX_VERSION_TEXT << "\n";
        return kCliOk;
    }
    if (command == QLatin1String("grid"))
        return runGrid(rest, out, err);
    if (command == QLatin1String("distance"))
        return runDistance(rest, out, err);
    if (command == QLatin1String("residuals"))
        return runResiduals(rest, out, err);
    if (command == QLatin1String("check"))
        return runCheck(rest, out, err);
    if (command == QLatin1String("accuracy"))
        return runAccuracy(rest, out, err);
    if (command == QLatin1String("contact"))
        return runContactCli(rest, out, err);
    if (const auto status = runVideoCli(command, rest, out, err))
        return *status;
    if (int status = 0; runCaptureCommand(command, rest, out, err, status))
        return status;
    return usageError(err, QStringLiteral("unknown command '%1'").arg(command));
}

} // namespace tarvex
