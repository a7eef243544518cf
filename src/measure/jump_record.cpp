#include "measure/jump_record.h"

#include "common/list_text.h"
#include "measure/skier_name_list.h"
#include "common/text_file.h"
#include "common/text_forms.h"
#include "grid/grid_geometry.h"
#include "measure/jump_evidence.h"
#include "media/file_helpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QRegularExpression>
#include <cmath>

namespace tarvex {

namespace {

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

QString skierBeforeComma(const QString& skier)
{
    const qsizetype comma = skier.indexOf(QLatin1Char(','));
    return comma < 0 ? skier : skier.left(comma);
}

QString nextJumpNumber(const QString& jumpNumber)
{
    return paddedNumber(leadingNumber(jumpNumber) + 1);
}

} // namespace

// ------------------------------------------------------------------ the recorded jump

QString resultsLine(const JumpRecord& r)
{
    QString s = r.date + QLatin1Char(' ') + r.time + QLatin1Char(' ') + r.skier + QStringLiteral("  jump ")
                + r.jumpNumber + QStringLiteral(" - ") + r.metresText + QStringLiteral("  (IWSF)") + r.feetText
                + QStringLiteral("  (AWSA)");
    if (r.barefoot)
        s += QStringLiteral(" BAREFOOT ");
    if (r.unofficial)
        s += QStringLiteral(" UNOFFICIAL JUMP - verify mode ");
    s += r.comment;
    if (r.otherGrid)
        return s;
    s += QStringLiteral(" (") + paddedNumber(roundTo(r.surveyX, 3)) + QLatin1Char('/')
         + paddedNumber(roundTo(r.surveyY, 3)) + QLatin1Char(')');
    s += QStringLiteral(" (") + paddedNumber(std::floor(r.screenU)) + QLatin1Char('/')
         + paddedNumber(std::floor(r.screenV)) + QLatin1Char(')');
    s += QStringLiteral(" (") + r.exactDistance + QLatin1Char(')');
    return s;
}

QString wstimsResultLine(const JumpRecord& r)
{
    if (r.comment == QLatin1String(kCommentFall))
        return QStringLiteral("Fall, 0, 0,") + r.jumpNumber;
    if (r.comment == QLatin1String(kCommentPass))
        return QStringLiteral("Pass, 0, 0,") + r.jumpNumber;
    return QStringLiteral("OK, ") + r.wstimsMetres + QStringLiteral(", ") + r.wstimsFeet + QStringLiteral(", ")
           + r.jumpNumber;
}

QString wstimsRawLine(const JumpRecord& r)
{
    return r.time + QStringLiteral(" ,") + skierBeforeComma(r.skier) + QLatin1Char(',') + wstimsResultLine(r);
}

DistanceTexts distanceTexts(double d, bool feetInTenths)
{
    DistanceTexts t;
    const double metres = roundTo(d, 1);
    // The feet value is kept as a number rather than read back from a locale text, so a
    // decimal comma cannot drop the tenth of a barefoot jump.
    const double feet = feetInTenths ? std::floor(d / 0.03048 + 0.5) / 10 : std::floor(d / 0.3048 + 0.5);
    t.wstimsMetres = paddedNumber(metres);
    t.wstimsFeet = paddedNumber(feet);
    t.metresText = t.wstimsMetres + QLatin1Char('m');
    t.feetText = t.wstimsFeet + QStringLiteral("ft");
    t.exactDistance = paddedNumber(roundTo(d, 4));
    return t;
}

bool otherGridEntriesAgree(double metres, double feet)
{
    // The bound is part of the range; the tolerance absorbs the binary error of m * 3.2808
    // (10 m gives 30.808000000000003 - 2), far below anything an operator can type.
    constexpr double kSlack = 1e-9;
    const double expected = metres * 3.2808;
    return !(expected + 2 + kSlack < feet) && !(expected - 2 - kSlack > feet);
}

// ------------------------------------------------------------------ results file lines

QString resultsEntry(const QDateTime& now, const QString& text)
{
    return dateText(now) + QLatin1Char(' ') + timeText(now) + QLatin1Char(' ') + text;
}

QString savedPictureEntry(const QDateTime& now, const QString& picturePath)
{
    return resultsEntry(now, QStringLiteral("Saved picture: ") + picturePath);
}

QString loadedPictureEntry(const QDateTime& now, const QString& fileName)
{
    return resultsEntry(now, QStringLiteral("Loaded picture: ") + fileName);
}

QString resultsFileLocation(const QString& resultsFilePath)
{
    qsizetype i = 0;
    while (i < resultsFilePath.size() && resultsFilePath.at(i) == QLatin1Char(' '))
        ++i;
    return resultsFilePath.mid(i);
}

QString appendLines(const QString& path, const QStringList& lines, const QString& what)
{
    if (path.isEmpty())
        return QStringLiteral("No %1 is chosen yet: choose one on the configuration screen.").arg(what);
    if (const auto failed = appendDurably(path, lineBytes(lines)))
        return QStringLiteral("The %1 %2 cannot be written: %3").arg(what, native(path), *failed);
    return {};
}

QString appendToResultsFile(const QString& resultsFilePath, const QStringList& lines)
{
    return appendLines(resultsFileLocation(resultsFilePath), lines, QStringLiteral("results file"));
}

// ------------------------------------------------------------------ WSTIMS exchange

WstimsWrite writeWstimsFiles(const QString& txioFolder, const JumpRecord& r)
{
    // Each file is tried whatever became of the other; the message names every one that failed.
    QStringList failures;
    const QString resultPath = txioFolder + QLatin1Char('/') + QLatin1String(kWstimsResultFile);
    {
        if (const auto failed = replaceDurably(resultPath, lineBytes({wstimsResultLine(r)}))) {
            QString failure = native(resultPath) + QStringLiteral(": ") + *failed;
            // The previous jump's result must not stay there looking like this one's.
            if (QFile::exists(resultPath)) {
                if (QFile::remove(resultPath))
                    failure += QStringLiteral(" (the previous result was removed)");
                else
                    failure += QStringLiteral(" (it still holds the previous result)");
            }
            failures << failure;
        }
    }
    const QString rawPath = txioFolder + QLatin1Char('/') + QLatin1String(kWstimsRawFile);
    if (const auto failed = appendDurably(rawPath, lineBytes({wstimsRawLine(r)})))
        failures << native(rawPath) + QStringLiteral(": ") + *failed;
    WstimsWrite w;
    w.ok = failures.isEmpty();
    w.error = failures.join(QStringLiteral("; "));
    return w;
}

WstimsName readWstimsName(const QString& txioFolder)
{
    WstimsName n;
    const QString path = txioFolder + QLatin1Char('/') + QLatin1String(kWstimsNameFile);
    QString why;
    const std::optional<QByteArray> bytes = readFileBytes(path, readLimit::nameFile, &why);
    if (!bytes) {
        n.error = native(path) + QStringLiteral(": ") + why;
        return n;
    }
    n.name = wstimsNameFromBytes(*bytes);
    if (!n.name)
        n.error = native(path) + QStringLiteral(" holds no name");
    return n;
}

void removeExchangePictures(const QString& txioFolder)
{
    QDir dir(txioFolder);
    if (txioFolder.isEmpty() || !dir.exists())
        return;
    const QStringList names = dir.entryList({QStringLiteral("*.bmp")}, QDir::Files, QDir::Name);
    for (const QString& name : names)
        dir.remove(name);
}

// ------------------------------------------------------------------ Record

namespace {

bool startsWithNumber(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^\\s*[+-]?(\\d|\\.\\d)"));
    return number.match(text).hasMatch();
}

enum class OtherGridAnswer { Distance, NoDistance };

struct OtherGridEntry {
    OtherGridAnswer answer = OtherGridAnswer::NoDistance;
    QString metres;   // as typed
    QString feet;
};

OtherGridEntry askOtherGrid(Prompter& p)
{
    const QString title = QString::fromLatin1(kOtherGridInputTitle);
    for (;;) {
        if (!p.askYesNo(QString::fromLatin1(kOtherGridQuestion), QString::fromLatin1(kOtherGridQuestionTitle),
                        Icon::Question))
            return {};
        // A cancelled entry goes back to the question, where No records the jump without a
        // distance, instead of sending an empty distance as a valid result.
        const std::optional<QString> m = p.input(QString::fromLatin1(kOtherGridMetresPrompt), title);
        if (!m)
            continue;
        const std::optional<QString> f = p.input(QString::fromLatin1(kOtherGridFeetPrompt), title);
        if (!f)
            continue;
        // Text without a number would read as 0 m and 0 ft, which agree; never send that.
        if (!startsWithNumber(*m) || !startsWithNumber(*f)) {
            p.message(QString::fromLatin1(kOtherGridNotANumber), title, Icon::Exclamation);
            continue;
        }
        const double mv = leadingNumber(*m);
        const double fv = leadingNumber(*f);
        if (!otherGridEntriesAgree(mv, fv)) {
            p.message(QString::fromLatin1(kOtherGridMismatch));
            continue;
        }
        return {OtherGridAnswer::Distance, *m, *f};
    }
}

} // namespace

RecordOutcome recordJump(const RecordInputs& in, GridState& grids, Prompter& prompter, const QDateTime& now)
{
    RecordOutcome out;
    out.distance = in.metresText;
    out.distance_ft = in.feetText;
    out.Jump_no = in.jumpNumber;
    out.Comment = in.comment;

    JumpRecord r;
    r.skier = in.skier;
    r.jumpNumber = in.jumpNumber;
    r.barefoot = in.tournament == TournamentType::Barefoot;
    r.unofficial = in.verifyMode;
    r.otherGrid = in.otherGrid;
    QString comment = in.comment;
    QString metres = in.metresText;
    QString feet = in.feetText;

    bool advance = false;
    bool switchOffPassFall = false;
    const bool passOrFall = in.pass || in.fall;
    if (passOrFall) {
        metres.clear();
        feet.clear();
        if (!in.frozen) {
            advance = true;
            switchOffPassFall = true;
        }
    }

    if (in.otherGrid) {
        const OtherGridEntry e = askOtherGrid(prompter);
        if (e.answer == OtherGridAnswer::Distance) {
            r.wstimsMetres = e.metres;
            r.wstimsFeet = QLatin1Char(' ') + e.feet;
            metres = e.metres + QLatin1Char('m');
            feet = QLatin1Char(' ') + e.feet + QStringLiteral("ft");
        } else {
            comment = QString::fromLatin1(kCommentOtherGridNoDistance);
            metres.clear();
            feet.clear();
        }
        if (!in.frozen) {
            advance = true;
            switchOffPassFall = true;
        }
    } else if (!passOrFall) {
        grids.query_screen_x = in.impactX;
        grids.query_screen_y = in.impactY;
        if (!distance_calculation(grids, in.tournament)) {
            // A point on the grid's vanishing line has no distance; writing one would record
            // nonsense, so nothing is recorded and the operator marks again or re-does the grid.
            prompter.message(QStringLiteral("No distance can be computed for the marked point with this grid. "
                                            "Mark the point of impact again, or set up the grid again. "
                                            "Nothing was recorded."),
                             QStringLiteral("Record Jump"), Icon::Exclamation);
            return out;
        }
        const DistanceTexts t = distanceTexts(grids.jump_distance, in.feetInTenths);
        r.wstimsMetres = t.wstimsMetres;
        r.wstimsFeet = t.wstimsFeet;
        metres = t.metresText;
        feet = t.feetText;
    }

    // A pass or fall repeats the point and distance of the last computation.
    r.surveyX = grids.mapped_survey_x;
    r.surveyY = grids.mapped_survey_y;
    r.screenU = grids.query_screen_x;
    r.screenV = grids.query_screen_y;
    r.exactDistance = paddedNumber(roundTo(grids.jump_distance, 4));
    r.date = dateText(now);
    r.time = timeText(now);
    r.metresText = metres;
    r.feetText = feet;
    r.comment = comment;

    out.distance = metres;
    out.distance_ft = feet;
    out.resultsLine = resultsLine(r);
    const QString error = appendToResultsFile(in.resultsFilePath, {out.resultsLine});
    if (!error.isEmpty()) {
        // WSTIMS must never hold a result the results file lacks. The options, comment and
        // jump number stay as they were so Record can be pressed again once the path is fixed.
        prompter.message(error + QStringLiteral("\nThe jump was not recorded and nothing was sent to WSTIMS."),
                         QString::fromLatin1(kResultsFileTitle), Icon::Critical);
        return out;
    }
    out.recorded = true;

    // The evidence of a measured distance: of the grid it was measured with, at the mark.
    JumpEvidence e;
    e.time = now;
    e.skier = in.skier;
    e.jump = in.jumpNumber;
    e.outcome = in.otherGrid ? QStringLiteral("other grid")
                : in.pass    ? QStringLiteral("pass")
                : in.fall    ? QStringLiteral("fall")
                             : QStringLiteral("measured");
    e.gridNumber = grids.current_grid;
    e.gridFile = GridState::isGridNumber(grids.current_grid) ? grids.grid_file_path[grids.current_grid] : QString();
    const GridFit& fit = workingGridFit(grids, in.uncertainty);
    setGridEvidence(e, fit);
    e.video = in.sourceVideo;
    e.frame = in.sourceFrame;
    e.pictureFile = in.sourcePicture;
    e.mark = QPointF(r.screenU, r.screenV);
    e.markZoom = in.markZoom;
    e.markFromLoupe = in.markFromLoupe;
    e.allowance = ramp_allowance(in.tournament);
    e.cameras = in.cameraMarks;
    if (!passOrFall && !in.otherGrid) {
        e.distance = grids.jump_distance;
        e.sigma = distanceSigma(fit, QPointF(grids.jump_survey_x, grids.jump_survey_y), e.mark,
                                in.markFromLoupe ? kLoupeClickPixels : in.uncertainty.clickPixels);
        out.sigma = e.sigma;
    }
    const QString evidencePath = evidenceFilePath(in.resultsFilePath, now.date());
    if (const QString failed = appendEvidence(evidencePath, e); failed.isEmpty())
        out.evidenceLine = evidenceLine(e);
    else
        prompter.message(failed + QStringLiteral("\nThe jump itself is recorded in the results file."),
                         QString::fromLatin1(kResultsFileTitle), Icon::Exclamation);

    if (in.wstims) {
        const WstimsWrite w = writeWstimsFiles(in.txioFolder, r);
        out.wstimsWritten = w.ok;
        if (!w.ok)
            prompter.message(QString::fromLatin1(kWstimsWriteError) + w.error);
    }

    if (advance)
        out.Jump_no = nextJumpNumber(in.jumpNumber);
    out.switchOffPassFall = switchOffPassFall;

    if (!in.otherGrid && in.frozen && !passOrFall && in.screenImage) {
        if (in.picturesPath.trimmed().isEmpty()) {
            prompter.message(QString::fromLatin1(kNoPictureFolder), QString::fromLatin1(kFrozenPictureTitle),
                             Icon::Exclamation);
        } else {
            const QString proposed = freePicturePath(stampedPicturePath(in.picturesPath, now, in.pictureExtension));
            const std::optional<QString> answer = prompter.input(QString::fromLatin1(kFrozenPicturePrompt),
                                                                 QString::fromLatin1(kFrozenPictureTitle), proposed);
            if (answer) {
                const QString wanted = answer->trimmed().isEmpty() ? proposed : answer->trimmed();
                const PictureWrite pw = writePicture(in.screenImage(), wanted);
                if (pw.error.isEmpty())
                    out.savedPicture = pw.path;
                else
                    prompter.message(pw.error, QString::fromLatin1(kFrozenPictureTitle), Icon::Exclamation);
            }
        }
    }

    out.switchOffOtherGrid = in.otherGrid;
    out.Comment.clear();
    removeExchangePictures(in.txioFolder);
    return out;
}

// ------------------------------------------------------------------ rerides and comment

OutcomeClick recordReride(bool mandatory, bool frozen, const QString& resultsFilePath, Prompter& prompter,
                          const QDateTime& now)
{
    OutcomeClick c;
    const QString text = QString::fromLatin1(mandatory ? kMandatoryReride : kOptionalReride);
    const QString error = appendToResultsFile(resultsFilePath, {resultsEntry(now, text)});
    if (!error.isEmpty())
        prompter.message(error, QString::fromLatin1(kResultsFileTitle), Icon::Critical);
    c.written = error.isEmpty();
    c.switchOff = !frozen;
    c.emptyDistances = mandatory;
    return c;
}

OutcomeClick recordComment(const QString& resultsFilePath, Prompter& prompter, const QDateTime& now)
{
    OutcomeClick c;
    const QString text =
        prompter.input(QString::fromLatin1(kCommentPrompt), QString::fromLatin1(kCommentTitle)).value_or(QString());
    const QString error = appendToResultsFile(resultsFilePath, {resultsEntry(now, text)});
    if (!error.isEmpty())
        prompter.message(error, QString::fromLatin1(kResultsFileTitle), Icon::Critical);
    c.written = error.isEmpty();
    c.switchOff = true;
    return c;
}

// ------------------------------------------------------------------ pictures

QString pictureStamp(const QDateTime& now)
{
    const QString d = dateText(now);   // mm-dd-yyyy
    const QString t = timeText(now);   // hh:mm:ss
    return d.mid(1, 1) + d.mid(3, 2) + t.mid(0, 2) + t.mid(3, 2) + t.mid(6, 1);
}

QString stampedPicturePath(const QString& folder, const QDateTime& now, const QString& extension)
{
    const QString ext = extension.isEmpty() ? QStringLiteral(".bmp") : extension;
    return withoutTrailingSeparator(folder) + QLatin1Char('/') + pictureStamp(now) + ext;
}

namespace {

QString suffixedPath(const QString& wanted, int n)
{
    if (n < 2)
        return wanted;
    const QFileInfo info(wanted);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    const QString folder = wanted.left(wanted.size() - name.size());
    return folder + base + QLatin1Char('-') + QString::number(n) + ext;
}

constexpr int kMaxPictureSuffix = 9999;

} // namespace

QString freePicturePath(const QString& wanted)
{
    for (int n = 1; n <= kMaxPictureSuffix; ++n) {
        const QString p = suffixedPath(wanted, n);
        if (!QFileInfo::exists(p))
            return p;
    }
    return suffixedPath(wanted, kMaxPictureSuffix + 1);
}

PictureWrite writePicture(const QImage& image, const QString& wanted)
{
    PictureWrite w;
    if (image.isNull()) {
        w.path = wanted;
        w.error = QStringLiteral("There is no picture on the screen to save as %1.").arg(native(wanted));
        return w;
    }
    for (int n = 1; n <= kMaxPictureSuffix; ++n) {
        const QString p = suffixedPath(wanted, n);
        if (QFileInfo::exists(p))
            continue;
        QFile f(p);
        // NewOnly: a file that appeared since the check is left alone and the next name is tried.
        if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo::exists(p))
                continue;
            w.path = p;
            w.error = QStringLiteral("The picture %1 cannot be saved: %2").arg(native(p), f.errorString());
            return w;
        }
        QImageWriter writer(&f, "bmp");
        const bool ok = writer.write(image) && f.flush();
        if (!ok) {
            const QString reason = writer.error() != QImageWriter::UnknownError ? writer.errorString() : f.errorString();
            f.close();
            f.remove();   // never leave half a picture behind under a name the log may point at
            w.path = p;
            w.error = QStringLiteral("The picture %1 cannot be saved: %2").arg(native(p), reason);
            return w;
        }
        f.close();
        w.path = p;
        return w;
    }
    w.path = wanted;
    w.error = QStringLiteral("The picture %1 cannot be saved: too many pictures of that name").arg(native(wanted));
    return w;
}

QString pictureSideFilePath(const QString& picturePath)
{
    return picturePath + QStringLiteral(".info");
}

QString pictureSideFileLine(const QString& picturePath, const QString& skier, const QString& pass)
{
    return picturePath + QStringLiteral(", ") + skier + QStringLiteral(", ") + pass;
}

QString measurementLogPictureLine(const QDateTime& now, const QString& skier, const QString& pass,
                                  const QString& distanceText, const QString& picturePath)
{
    ListWriter w;
    w.text(dateText(now)).zone().text(timeText(now)).zone();
    w.text(QStringLiteral("Skier: ") + skier).zone();
    w.text(QStringLiteral("Jump: ") + paddedNumber(leadingNumber(pass) - 1)).zone();
    w.text(QStringLiteral("Distance: ") + distanceText).zone();
    w.text(QStringLiteral("File: ") + picturePath);
    return w.str();
}

SavePictureOutcome savePicture(const QImage& image, const SavePictureInputs& in, Prompter& prompter,
                               const QDateTime& now)
{
    SavePictureOutcome out;
    const QString title = QStringLiteral("Save Picture");
    // Without a chosen folder the picture would land at the filesystem root.
    if (in.picturesPath.trimmed().isEmpty()) {
        out.errors << QString::fromLatin1(kNoPictureFolder);
        prompter.message(QString::fromLatin1(kNoPictureFolder), title, Icon::Exclamation);
        return out;
    }
    const PictureWrite pw = writePicture(image, freePicturePath(stampedPicturePath(in.picturesPath, now, in.pictureExtension)));
    out.path = pw.path;
    if (!pw.error.isEmpty()) {
        // Nothing may claim a picture that is not there.
        out.errors << pw.error;
        prompter.message(pw.error, title, Icon::Exclamation);
        return out;
    }
    out.saved = true;

    const auto report = [&](const QString& error) {
        if (error.isEmpty())
            return;
        out.errors << error;
        prompter.message(error, title, Icon::Exclamation);
    };

    report(appendToResultsFile(in.resultsFilePath, {savedPictureEntry(now, pw.path)}));

    {
        const QString side = pictureSideFilePath(pw.path);
        if (const auto failed = replaceDurably(side, lineBytes({pictureSideFileLine(pw.path, in.captureSkier, in.capturePass)})))
            report(QStringLiteral("The picture's side file %1 cannot be written: %2").arg(native(side), *failed));
    }

    report(appendLines(in.measurementLog,
                       {measurementLogPictureLine(now, in.captureSkier, in.capturePass, in.distanceText, pw.path)},
                       QStringLiteral("measurement log")));
    return out;
}

} // namespace tarvex
