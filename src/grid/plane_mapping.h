#pragma once
// The projective mapping of one grid between the picture (twips) and the water (metres):
// a 3x3 homography with its last element fixed at 1, held as its eight coefficients
// c1..c8 in the order of the grid file, and the grid's lens correction, which takes a
// clicked point to its ideal one before the homography. A plain value: copying it or asking
// it something never touches the shared grid state.
#include "grid/jump_grid.h"

#include <QPointF>
#include <optional>

namespace tarvex {

class PlaneMapping {
public:
    using Coefficients = OneBasedArray<double, kCoefficientCount>;

    PlaneMapping() = default;   // all zero: maps nothing anywhere
    static PlaneMapping fromCoefficients(const Coefficients& c, const LensCorrection& lens = {});
    static PlaneMapping fromGrid(const JumpGrid& grid);
    // The working coefficients of the current grid.
    static PlaneMapping fromGrid(const GridState& g);

    const Coefficients& coefficients() const { return c_; }
    const LensCorrection& lens() const { return lens_; }

    // D of the forward mapping (of the ideal point) and E of the inverse; 0 on the vanishing line.
    double forwardDenominator(QPointF screen) const;
    double inverseDenominator(QPointF survey) const;

    // nullopt on the vanishing line or when a coordinate comes out infinite or NaN.
    std::optional<QPointF> surveyFromScreen(QPointF screen) const;
    std::optional<QPointF> screenFromSurvey(QPointF survey) const;

    bool operator==(const PlaneMapping&) const = default;

private:
    Coefficients c_;
    LensCorrection lens_;
};

// Straight-line metres from the jump point to a survey point, plus the ramp allowance.
double distanceFrom(QPointF jump, QPointF point, double allowance);

} // namespace tarvex
