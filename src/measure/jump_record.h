#pragma once
// Recording a jump: the results line, the WSTIMS exchange files, the outcome lines of
// falls, passes, rerides and comments, and the naming of saved pictures. Model code only:
// the Measure screen gathers its control texts into RecordInputs, calls recordJump and puts
// the RecordOutcome back into its controls.
#include "common/prompter.h"
#include "grid/grid_fit.h"
#include "grid/jump_grid.h"
#include "grid/tournament_type.h"
#include "measure/jump_evidence.h"

#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace tarvex {

// ------------------------------------------------------------------ fixed texts

inline constexpr char kOtherGridQuestion[] = "Is there a distance to be recorded in the other grid?";
inline constexpr char kOtherGridQuestionTitle[] = "Message";
inline constexpr char kOtherGridMetresPrompt[] = "Enter distance in meters from other screen";
inline constexpr char kOtherGridFeetPrompt[] = "Enter distance in feet from other screen";
inline constexpr char kOtherGridInputTitle[] = "Other Grid Measurement";
inline constexpr char kOtherGridMismatch[] =
    "The meter distance and the foot distance you entered did not match, please enter them again";
inline constexpr char kOtherGridNotANumber[] =
    "Please enter both distances as numbers, for example 45.2 and 148";

inline constexpr char kCommentFall[] = "Fall";
inline constexpr char kCommentPass[] = "Pass";
inline constexpr char kCommentOtherGrid[] = "Distance from other grid";
inline constexpr char kCommentOtherGridNoDistance[] = "Other Grid - no distance recorded";
inline constexpr char kMandatoryReride[] = "Mandatory Reride - disregard last jump";
inline constexpr char kOptionalReride[] = "Optional Reride on previous jump";
inline constexpr char kCommentPrompt[] = "What comment would you like to add?";
inline constexpr char kCommentTitle[] = "Input Comment";

inline constexpr char kWstimsWriteError[] = "Error while writing WSTIMS result: ";
inline constexpr char kWstimsNameError[] = "Error while reading WSTIMS name file: ";

inline constexpr char kResultsFileTitle[] = "Results File";

inline constexpr char kWstimsResultFile[] = "txresult.dst";
inline constexpr char kWstimsRawFile[] = "txraw.dst";
inline constexpr char kWstimsNameFile[] = "txskier.nam";

// ------------------------------------------------------------------ the recorded jump

// One recorded jump as written to the results and exchange files.
struct JumpRecord {
    QString date;            // mm-dd-yyyy
    QString time;            // hh:mm:ss
    QString skier;           // Skier_name text
    QString jumpNumber;      // Jump_no text ("1", " 2", ...)
    QString metresText;      // ' 45.2m', or empty
    QString feetText;        // ' 148ft', ' 148.4ft', or empty
    QString wstimsMetres;    // M: ' 45.2' (measured) or the typed other-grid entry
    QString wstimsFeet;      // F: ' 148' (measured) or ' ' + the typed other-grid entry
    bool barefoot = false;
    bool unofficial = false; // verify mode
    QString comment;
    bool otherGrid = false;  // the line then ends after the comment
    double surveyX = 0;      // metres
    double surveyY = 0;
    double screenU = 0;      // twips
    double screenV = 0;
    QString exactDistance;   // ' 45.2346'
};

// The results file line, without its line end.
QString resultsLine(const JumpRecord& r);
// "Fall, 0, 0," / "Pass, 0, 0," / "OK, " + M + ", " + F + ", " followed by the jump
// number. The outcome follows the comment text, not the option buttons.
QString wstimsResultLine(const JumpRecord& r);
// Time + " ," + the skier cut before its first comma + "," + the result line.
QString wstimsRawLine(const JumpRecord& r);

// The texts of a measured distance d (metres, ramp allowance included).
struct DistanceTexts {
    QString metresText;     // Str(m1) + "m"
    QString feetText;       // Str(feet) + "ft"
    QString wstimsMetres;   // Str(m1)
    QString wstimsFeet;     // Str(feet)
    QString exactDistance;  // Str of d rounded to 4 decimals
};
// Whole feet (d / 0.3048), or tenths of a foot (d / 0.03048, then / 10) when the screen
// shows the barefoot indicator (barefoot and sit-ski tournaments).
DistanceTexts distanceTexts(double d, bool feetInTenths);

// True when f lies within 2 feet of m * 3.2808, bounds included.
bool otherGridEntriesAgree(double metres, double feet);

// ------------------------------------------------------------------ results file lines

// Date + " " + time + " " + text: the form of every line this subsystem adds to the
// results file apart from the jump line.
QString resultsEntry(const QDateTime& now, const QString& text);
QString savedPictureEntry(const QDateTime& now, const QString& picturePath);
QString loadedPictureEntry(const QDateTime& now, const QString& fileName);

// The results file as configured, without the leading blanks a typed path may carry; the
// writers and the results window use the same file.
QString resultsFileLocation(const QString& resultsFilePath);

// Appends the lines (each ended with CR LF) to the file, created when missing, and flushes
// before returning. Returns an empty text on success, otherwise a message naming the file
// and the reason.
QString appendLines(const QString& path, const QStringList& lines, const QString& what);
QString appendToResultsFile(const QString& resultsFilePath, const QStringList& lines);

// ------------------------------------------------------------------ WSTIMS exchange

struct WstimsWrite {
    bool ok = false;
    QString error;   // the description after "Error while writing WSTIMS result: "
};
// Replaces txresult.dst (through a temporary file beside it, so WSTIMS never reads half a
// line) and appends to txraw.dst, both in the exchange folder.
WstimsWrite writeWstimsFiles(const QString& txioFolder, const JumpRecord& r);

struct WstimsName {
    std::optional<QString> name;   // the first field of txskier.nam
    QString error;                 // the description after "Error while reading WSTIMS name file: "
};
WstimsName readWstimsName(const QString& txioFolder);

// Deletes the "*.bmp" files of the exchange folder; errors are ignored.
void removeExchangePictures(const QString& txioFolder);

// ------------------------------------------------------------------ Record

struct RecordInputs {
    QString skier;            // Skier_name text
    QString jumpNumber;       // Jump_no text
    QString comment;          // the hidden Comment text
    QString metresText;       // distance text before Record
    QString feetText;         // distance_ft text before Record
    bool pass = false;        // Pass selected
    bool fall = false;        // Fall selected
    bool otherGrid = false;   // Other_Grid selected
    bool frozen = false;      // MeasureState Frozen
    bool verifyMode = false;  // verify caption "Verify off"
    bool feetInTenths = false;// barefoot_indicator showing
    TournamentType tournament = TournamentType::Standard;
    bool wstims = false;      // WstimsEnabled at the moment of recording
    double impactX = 0;       // MeasureState ImpactX, ImpactY (twips)
    double impactY = 0;
    QString resultsFilePath;  // AppSettings::ResultsFilePath
    QString txioFolder;
    QString picturesPath;     // for the frozen picture
    QString pictureExtension;
    // The screen's image (picture with overlay); asked for only when a confirmed frozen
    // picture is to be saved.
    std::function<QImage()> screenImage;
    // For the evidence record: where the picture came from and how the mark was placed.
    QString sourceVideo;
    std::optional<int> sourceFrame;
    QString sourcePicture;
    double markZoom = 1;
    bool markFromLoupe = false;
    UncertaintySettings uncertainty;
    // A landing marked in the pictures of several cameras: every camera's mark and distance.
    QList<CameraMark> cameraMarks;
};

struct RecordOutcome {
    bool recorded = false;        // the results line was written
    bool wstimsWritten = false;
    QString distance;             // new texts of the distance boxes
    QString distance_ft;
    QString Jump_no;              // new jump number text
    QString Comment;              // new Comment text (empty once recorded)
    bool switchOffPassFall = false;
    bool switchOffOtherGrid = false;
    QString resultsLine;          // as written (without the line end)
    QString savedPicture;         // path of the confirmed frozen picture, or empty
    QByteArray evidenceLine;      // as appended to the evidence file, empty when it was not
    std::optional<double> sigma;  // the recorded distance's uncertainty, metres
};

// The whole Record action: outcome check, other-grid entry, distance, results line, WSTIMS
// files (only after the results line was written), jump number, frozen picture, clean-up.
// Shows its questions and messages through the prompter. `grids` supplies the mapping and
// keeps query_screen_x/y, mapped_survey_x/y and jump_distance of the last computation,
// which a pass or fall repeats.
RecordOutcome recordJump(const RecordInputs& in, GridState& grids, Prompter& prompter,
                         const QDateTime& now);

// ------------------------------------------------------------------ rerides and comment

struct OutcomeClick {
    bool written = false;
    bool switchOff = false;        // the clicked option goes off again
    bool emptyDistances = false;   // mandatory reride only
};
// Man. Reride / Opt. reride: the reride line goes to the results file at once.
OutcomeClick recordReride(bool mandatory, bool frozen, const QString& resultsFilePath,
                          Prompter& prompter, const QDateTime& now);
// Comment: asks for the text (empty on Cancel) and writes it at once, also when empty.
OutcomeClick recordComment(const QString& resultsFilePath, Prompter& prompter, const QDateTime& now);

// ------------------------------------------------------------------ pictures

// Last digit of the month, the day, hour, minutes and tens of seconds: '12914035' for
// 01-29-2005 14:03:5x.
QString pictureStamp(const QDateTime& now);
// The folder (one trailing separator ignored) + "/" + stamp + extension (".bmp" when empty).
QString stampedPicturePath(const QString& folder, const QDateTime& now, const QString& extension);
// The wanted path, or the same with "-2", "-3", ... before the extension while that name is
// taken, so a saved picture never replaces an earlier one.
QString freePicturePath(const QString& wanted);

struct PictureWrite {
    QString path;    // where it was written
    QString error;   // empty on success
};
// Writes the image in BMP form under freePicturePath(wanted); a name taken meanwhile moves
// on to the next suffix instead of replacing that file.
PictureWrite writePicture(const QImage& image, const QString& wanted);

inline constexpr char kNoPictureFolder[] =
    "No folder for jump pictures is chosen yet. Choose the Captures path on the configuration screen.";
inline constexpr char kFrozenPicturePrompt[] = "Save the frozen picture under this name?";
inline constexpr char kFrozenPictureTitle[] = "Save Frozen Picture";

// The side file beside the picture: one line, path + ", " + skier + ", " + pass.
QString pictureSideFileLine(const QString& picturePath, const QString& skier, const QString& pass);
QString pictureSideFilePath(const QString& picturePath);
// The measurement log line of a saved picture (items in 14-column zones, ending with the
// picture path), without its line end.
QString measurementLogPictureLine(const QDateTime& now, const QString& skier, const QString& pass,
                                  const QString& distanceText, const QString& picturePath);

struct SavePictureInputs {
    QString picturesPath;       // AppSettings::PicturesPath
    QString pictureExtension;   // ".bmp" when empty
    QString resultsFilePath;
    QString measurementLog;     // CapturesPath + "/" + MeasurementLogName
    QString captureSkier;       // capture screen's txtSkierName
    QString capturePass;        // capture screen's txtPass
    QString distanceText;       // Measure screen's distance
};
struct SavePictureOutcome {
    bool saved = false;         // the picture file was written
    QString path;
    QStringList errors;         // each already shown
};
// Save Picture: writes the picture, the results line, the side file and the measurement log
// line; every failure is shown with the file and the reason. The path where the picture went
// only informs, so it is not a message: the caller shows it where it needs no click.
SavePictureOutcome savePicture(const QImage& image, const SavePictureInputs& in, Prompter& prompter,
                               const QDateTime& now);

} // namespace tarvex
