#include "grid/plane_mapping.h"

#include <cmath>

namespace tarvex {

PlaneMapping PlaneMapping::fromCoefficients(const Coefficients& c)
{
    PlaneMapping m;
    m.c_ = c;
    return m;
}

PlaneMapping PlaneMapping::fromGrid(const JumpGrid& grid) { return fromCoefficients(grid.c); }

PlaneMapping PlaneMapping::fromGrid(const GridState& g) { return fromCoefficients(g.mapping_coefficients); }

// The sums run in the order the distance calculation has always used (the constant last):
// recorded distances and the command line's full-precision output depend on these bits.
double PlaneMapping::forwardDenominator(QPointF screen) const
{
    return c_[4] * screen.x() + c_[5] * screen.y() + 1;
}

double PlaneMapping::inverseDenominator(QPointF survey) const
{
    const double x = survey.x(), y = survey.y();
    return (c_[7] * c_[5] - c_[8] * c_[4]) * x + (c_[4] * c_[3] - c_[5] * c_[2]) * y
           + (c_[2] * c_[8] - c_[3] * c_[7]);
}

std::optional<QPointF> PlaneMapping::surveyFromScreen(QPointF screen) const
{
    const double d = forwardDenominator(screen);
    if (d == 0)
        return std::nullopt;
    const double u = screen.x(), v = screen.y();
    const double x = (u * c_[2] + c_[1] + v * c_[3]) / d;
    const double y = (u * c_[7] + c_[6] + v * c_[8]) / d;
    if (!std::isfinite(x) || !std::isfinite(y))
        return std::nullopt;
    return QPointF(x, y);
}

std::optional<QPointF> PlaneMapping::screenFromSurvey(QPointF survey) const
{
    const double e = inverseDenominator(survey);
    if (e == 0)
        return std::nullopt;
    const double x = survey.x(), y = survey.y();
    const double u = ((c_[8] - c_[6] * c_[5]) * x + (c_[5] * c_[1] - c_[3]) * y + (c_[3] * c_[6] - c_[1] * c_[8])) / e;
    const double v = ((c_[6] * c_[4] - c_[7]) * x + (c_[2] - c_[4] * c_[1]) * y + (c_[1] * c_[7] - c_[2] * c_[6])) / e;
    if (!std::isfinite(u) || !std::isfinite(v))
        return std::nullopt;
    return QPointF(u, v);
}

double distanceFrom(QPointF jump, QPointF point, double allowance)
{
    const double dx = jump.x() - point.x();
    const double dy = jump.y() - point.y();
    return std::sqrt(dx * dx + dy * dy) + allowance;
}

} // namespace tarvex
