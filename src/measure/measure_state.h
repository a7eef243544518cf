#pragma once
// Working state of the measuring screen and the arithmetic behind its marker, splash
// indicator, read-out, buoy labels and grid choice. No widgets here, so plain tests reach it.
#include "grid/jump_grid.h"
#include "grid/tournament_type.h"

#include <QLineF>
#include <QPointF>
#include <QString>
#include <optional>

namespace tarvex {

struct MeasureState {
    // A picture was frozen by Paste, the clipboard icon or the snapshot icon; only Clear ends it.
    bool Frozen = false;
    // The marked point of impact (twips). Clear and a new picture keep it; only Marked says
    // whether it belongs to the picture on screen.
    double ImpactX = 0;
    double ImpactY = 0;
    // A point of impact has been marked on the picture now shown; a measured jump is not
    // recorded without one.
    bool Marked = false;
    // Where the marker was last drawn; micro-adjust steps from here.
    double LastMarkX = 0;
    double LastMarkY = 0;
    // Foot of the splash indicator (twips).
    double SplashX = 0;
    double SplashY = 0;

    QPointF impact() const { return {ImpactX, ImpactY}; }
};

inline constexpr double kMicroAdjustTwips = 15;
inline constexpr double kSplashIndicatorHeightTwips = 1000;
inline constexpr double kReadoutFeetPerMetre = 3.28;

// The horizontal arm points back towards the ramp: right of the point when skiers jump
// from right to left, left of it otherwise.
QLineF horizontalArm(QPointF impact, double size, bool rightToLeft);
QLineF verticalBar(QPointF impact, double size);
// From the foot straight up the picture.
QLineF splashIndicatorLine(QPointF foot);

// The splash indicator's foot: the impact moved ramp_allowance metres along the survey x
// axis (away from the ramp side given by the jump direction and survey_x_direction) and
// mapped back to the screen. Barefoot has no allowance, so the foot is the impact itself.
// nullopt when the grid cannot map the impact or the moved point back. Marking is a
// computation a later pass or fall repeats, so on success query_screen_x/y hold the impact
// and mapped_survey_x/y its survey point.
std::optional<QPointF> splashFoot(GridState& g, QPointF impact, TournamentType type, bool rightToLeft);

// The verify read-out for one mouse position. The position goes into query_screen_x/y and
// is measured with distance_calculation, because the station has always counted the
// read-out as "the last computation" that a pass or fall writes to the results file; where
// the grid cannot map it the survey and distance texts are empty, so no made-up number is shown.
struct Readout {
    QString xtwips, ytwips, xposition, yposition, VerifyDistance;
    bool mapped = false;
};
Readout liveReadout(GridState& g, double x, double y, TournamentType type);

// " 148ft"-style texts of the read-out and the buoy labels (3.28 feet per metre, whole feet;
// metres to one decimal).
QString readoutDistanceText(double metres);
QString buoyFeetText(double metres);
QString buoyMetresText(double metres);
// Planar distance from the jump point to buoy b's survey point.
double jumpToBuoyDistance(const GridState& g, int b);

// The grid selector: its caption names the grid in use, a click moves to the next one.
QString gridChoiceCaption(int grid);
struct GridChoice {
    QString caption;
    int grid = 1;
};
GridChoice nextGridChoice(const QString& caption, int gridsInUse);

// The next jump number text: " 4" after " 3", " 1" after "Jump".
QString nextJumpNumber(const QString& jumpNo);

// What the operator sees at the mark before Record: the distance as Record would show it and
// how much one picture pixel is worth on the water there. Labelled provisional: Record
// computes and writes on its own. With sigma (metres), the distance's uncertainty follows the
// feet. nullopt where the grid cannot map the point.
std::optional<QString> provisionalFigures(const GridState& g, QPointF impact, TournamentType type,
                                          bool feetInTenths, std::optional<double> sigma = std::nullopt);

// The skier and jump number a captured video's name gives the Measure screen: the review
// screen's reading of the standard name (the one its log line records), with a pass of
// digits only. The jump reads as the station would have shown it for that pass: "1" as after
// a name change, " 2", " 3", ... as after Clear. nullopt for any other video.
struct VideoJump {
    QString skier;
    QString jumpNumber;
};
std::optional<VideoJump> jumpOfVideo(const QString& videoPath);

// The large read-out of a recorded distance from the texts of the distance boxes
// (" 54.5m", " 179ft"): "54.5 m   179 ft"; empty when no distance was recorded.
QString recordedDistanceReadout(const QString& metresText, const QString& feetText);

// The clipboard hand-shake: the outside program writes "Ready" as the first field.
bool clipFlagReady(const QString& flagFileContent);
inline constexpr char kClipFlagCleared[] = "  \r\n";

} // namespace tarvex
