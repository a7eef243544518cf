#pragma once
// Solving a grid's mapping, the distance calculation and the grid check, as model code on
// GridState; the mapping itself is PlaneMapping. The screens wrap these in their message boxes.
#include "grid/jump_grid.h"
#include "grid/plane_mapping.h"
#include "grid/tournament_type.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace tarvex {

// The exclamation box shown when solve_coefficients fails.
inline constexpr char kNoUniqueSolutionText[] = "No Unique Solution - Re-enter data";
inline constexpr char kNoUniqueSolutionTitle[] = "Error Message";

// Gauss-Jordan elimination on the four buoy point pairs (buoy index 1..4):
// first non-zero pivot in increasing row order, no magnitude test. nullopt when some column
// has no non-zero pivot, or when a tiny pivot made a coefficient infinite or NaN.
std::optional<OneBasedArray<double, kCoefficientCount>>
solveMapping(const OneBasedArray<double, kBuoyCount>& screenX, const OneBasedArray<double, kBuoyCount>& screenY,
             const OneBasedArray<double, kBuoyCount>& surveyX, const OneBasedArray<double, kBuoyCount>& surveyY);

// Four buoys that are not four distinct points, or three of them on one line, on the
// picture or on the water: no mapping can come of them, however the elimination rounds.
bool buoysDegenerate(const OneBasedArray<double, kBuoyCount>& x, const OneBasedArray<double, kBuoyCount>& y);

// How far a grid's mapping may put a buoy from where it was surveyed, in metres: a solved
// grid misses by rounding dust, a damaged or hand-edited one by far more.
inline constexpr double kMappingBuoyTolerance = 0.001;

// Why a grid read from a file cannot be measured with, as the end of a sentence ("its
// mapping coefficients are all zero", ...); empty when its mapping is sound. Unsound: all
// coefficients zero, buoys that map to a point or a line, or a buoy mapped more than
// kMappingBuoyTolerance from its surveyed point (four-point grids only: a grid with check
// points is fitted by least squares and judged by fitProblem).
QString mappingProblem(const JumpGrid& grid);

// solveMapping on the working arrays (after the degenerate test above on both sets). On success fills mapping_coefficients and returns
// true; on failure returns false and changes nothing (the caller shows
// kNoUniqueSolutionText titled kNoUniqueSolutionTitle with the exclamation icon).
bool solve_coefficients(GridState& g);

// The named operations of the shared grid state: thin wrappers over PlaneMapping that take
// their input from and leave their results in the GridState fields, because the recording
// code repeats "the last computation" from those fields for a pass or a fall. Code that
// only wants a number asks PlaneMapping or measureJump instead.

// Forward mapping: query_screen_x/y -> mapping_denominator D, mapped_survey_x/y.
// false when D is 0 or a result is not finite; then only mapping_denominator changes.
bool survey_from_screen(GridState& g);

// Inverse mapping: mapped_survey_x/y -> mapping_denominator E, query_screen_x/y.
// false when E is 0 or a result is not finite; then only mapping_denominator changes.
bool screen_from_survey(GridState& g);

// Metres added to the planar distance: 0 barefoot, else 2.1 + 0.2*s (s = -1 sit-ski, else 0).
double ramp_allowance(TournamentType type);

struct JumpMeasurement {
    QPointF survey;      // metres
    double distance = 0; // metres, allowance included
};
// nullopt for a point on the vanishing line or any non-finite result.
std::optional<JumpMeasurement> measureJump(const PlaneMapping& mapping, QPointF jump, QPointF screen,
                                           TournamentType type);
// The same with the current grid's mapping and jump point.
std::optional<JumpMeasurement> measureJump(const GridState& g, QPointF screen, TournamentType type);

// Reads query_screen_x/y, the coefficients and the jump point; sets
// mapping_denominator, mapped_survey_x/y and jump_distance (metres, allowance included).
// Returns false for a point on the vanishing line (D == 0) or any non-finite result; then
// only mapping_denominator changes and the caller must not use a distance.
bool distance_calculation(GridState& g, TournamentType type);

// How far the jump distance moves when the screen point moves by one picture pixel in the
// worst direction, in metres, from the mapping's derivative. nullopt where the mapping
// cannot be evaluated (on or near the vanishing line).
std::optional<double> distancePerPixel(const PlaneMapping& mapping, QPointF jump, QPointF screen);
// The same on the current grid.
std::optional<double> distancePerPixel(const GridState& g, double u, double v);

// "One picture pixel here: 2.3 cm on the water", the live figure of both picture screens.
QString pixelSizeText(double metresPerPixel);

// Whether a box text is a number as a whole (blanks around it allowed); "abc", "12abc" and
// an empty box are not.
bool holdsNumber(const QString& text);

// Shown instead of any ratio advice when the check cannot be made.
inline constexpr char kPictureWidthZeroText[] =
    "The picture width is 0 - load a picture before checking the grid";
inline constexpr char kGridCheckUnusableText[] =
    "The grid cannot be checked - a buoy position or the picture width is not a usable number";

struct GridCheckResult {
    bool valid = false;      // false: picture width 0 or non-finite ratios; ratios are then 0
    double front_ratio = 0;  // percent
    double back_ratio = 0;
    QStringList messages;    // texts of the boxes to show one after another, in order
};

// grid_check on the texts of the boxes lower_left_x, lower_right_x, upper_left_x,
// upper_right_x and picture_width_twips (each read by its leading number).
GridCheckResult grid_check(const QString& lower_left_x, const QString& lower_right_x,
                           const QString& upper_left_x, const QString& upper_right_x,
                           const QString& picture_width_twips);

// The same, also storing front_ratio and back_ratio in g (as the accuracy report reads them).
GridCheckResult grid_check(GridState& g, const QString& lower_left_x, const QString& lower_right_x,
                           const QString& upper_left_x, const QString& upper_right_x,
                           const QString& picture_width_twips);

} // namespace tarvex
