#pragma once
// A grid fitted from every surveyed point it holds (the four corner buoys and up to eight
// check points), how well each point agrees with it, and the uncertainty of a distance
// measured through it. Four points fix the mapping exactly, so a four-point grid keeps the
// elimination of solve_coefficients; five or more give a least-squares mapping whose
// residuals show a mis-clicked or mis-surveyed point, and six or more can also correct the
// lens.
#include "grid/jump_grid.h"
#include "grid/plane_mapping.h"

#include <QList>
#include <QPointF>
#include <QString>
#include <array>
#include <optional>

namespace tarvex {

struct SurveyedPoint {
    QString name;
    QPointF screen;   // twips of the setup picture, as clicked
    QPointF survey;   // metres
};

// "UR", "LR", "UL", "LL" for buoy index 1..4: the corner buoys' names in tables and reports.
QString cornerName(int buoyIndex);
// The corner buoys in buoy order, then the check points.
QList<SurveyedPoint> surveyedPoints(const GridState& g);
QList<SurveyedPoint> surveyedPoints(const JumpGrid& grid);

// A check point's name: 1 to 12 letters, digits, '-' or '_', and not a corner buoy's.
bool isCheckPointName(const QString& name);

// The uncertainties an operator's click and a surveyor's figures carry.
struct UncertaintySettings {
    double clickPixels = 0.5;      // one standard uncertainty of a click, picture pixels
    double surveyMetres = 0.01;    // of each surveyed coordinate (four-point grids)
};
// The loupe places a click to a fifth of a pixel.
constexpr double kLoupeClickPixels = 0.2;

// A point is taken for misplaced or mis-surveyed when its leave-one-out error is this many
// times the others' median, and this many times what the others' scatter and the fit's
// reach to it explain (4.5: about one chance in 20000 for a sound point).
constexpr double kFlagMedianFactor = 3.0;
constexpr double kFlagScore = 4.5;
// Below this a point agrees well enough whatever the others do: tiny errors of a good grid
// differ by large factors without meaning anything.
constexpr double kFlagFloorMetres = 0.02;

struct PointAgreement {
    QString name;
    double residual = 0;                  // metres on the water, surveyed vs mapped
    std::optional<double> leaveOneOut;    // the same, with the grid fitted without this point
    bool flagged = false;                 // likely misplaced or mis-surveyed
};

// The fitted mapping in its normalised form, for the uncertainty: picture and water are
// each shifted and scaled to unit size, so the parameters are of one magnitude.
struct NormalisedMapping {
    double screenX = 0, screenY = 0, screenScale = 1;   // s_n = (ideal - screen) / screenScale
    double waterX = 0, waterY = 0, waterScale = 1;      // water = (water) + waterScale * H s_n
    std::array<double, 9> theta{};                      // h11..h32, k1
    int parameters = 8;                                 // 9 with the lens
    LensCorrection lensFrame;                           // centre and radius for k1
    std::array<double, 81> covariance{};                // parameters x parameters, row-major
};

struct GridFit {
    bool ok = false;
    QString error;                 // why not, for the operator
    PlaneMapping mapping;          // with the lens the fit chose
    QList<PointAgreement> points;  // corner buoys in buoy order, then the check points
    double rms = 0;                // metres, over the residuals of all points
    bool lensTried = false;        // asked for and possible (six points or more)
    bool lensUsed = false;         // it lowered the leave-one-out errors
    NormalisedMapping normalised;

    int count() const { return int(points.size()); }
    // The point with the largest residual; -1 when there are none.
    int worst() const;
};

// Fits a grid from its points: four points by the elimination of solve_coefficients, more
// by least squares on the water in metres. lensWanted asks for the radial lens coefficient
// about frame's centre (frame.k1 is ignored); it is kept only when it lowers the
// leave-one-out errors. Fails on fewer than four or more than twelve points, points that
// cannot fix a mapping, or non-finite numbers.
GridFit fitGrid(const QList<SurveyedPoint>& points, bool lensWanted, const LensCorrection& frame,
                const UncertaintySettings& settings = {});

// Fits the working grid of g from its buoys, check points and lens wish (frame: the setup
// picture's centre and radius). On success the coefficients and the lens become the fit's;
// without check points and lens this is solve_coefficients, bit for bit. On failure g is
// unchanged.
GridFit fitWorkingGrid(GridState& g, const LensCorrection& frame, const UncertaintySettings& settings = {});

// The agreement figures and the uncertainty of a mapping read from a file, without
// changing it: what a stored grid is judged by.
// withLeaveOneOut false skips the leave-one-out fits and the flags: the uncertainty needs
// neither, and a screen asks for it on every mouse move.
GridFit assessGrid(const QList<SurveyedPoint>& points, const PlaneMapping& mapping, bool lensWanted,
                   const UncertaintySettings& settings = {}, bool withLeaveOneOut = true);

// assessGrid of g's working grid without the leave-one-out fits, worked out again only
// when the grid or the settings change.
const GridFit& workingGridFit(const GridState& g, const UncertaintySettings& settings = {});

// Why a stored grid with check points or a lens cannot be used, as the end of a sentence;
// empty when fitting its points again gives its mapping (within kMappingBuoyTolerance at
// every point). A damaged number, or a side file of another grid, fails here.
QString fitProblem(const JumpGrid& grid);

// "RMS 1.8 cm over 8 points - worst C3 4.1 cm", and " - lens k1 = -0.082" when the lens is
// corrected.
QString qualityLine(const GridFit& fit);

// One standard uncertainty of the distance from jump to the mapped screen point, metres:
// the click's uncertainty (clickPixels) through the mapping's derivative, combined with the
// grid's own. nullopt where the point cannot be mapped.
std::optional<double> distanceSigma(const GridFit& fit, QPointF jump, QPointF screen, double clickPixels);

// "+/- 3 cm": the uncertainty as the screens show it, to the whole centimetre (at least 1).
QString sigmaText(double sigmaMetres);

} // namespace tarvex
