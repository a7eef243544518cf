#include "grid/plane_mapping.h"

#include "common/twips.h"

#include <cmath>

namespace tarvex {

QPointF LensCorrection::distort(QPointF ideal) const
{
    if (!active())
        return ideal;
    const double dx = ideal.x() - centre_x, dy = ideal.y() - centre_y;
    const double r2 = (dx * dx + dy * dy) / (radius * radius);
    const double f = 1 + k1 * r2;
    return QPointF(centre_x + dx * f, centre_y + dy * f);
}

QPointF LensCorrection::undistort(QPointF clicked) const
{
    if (!active())
        return clicked;
    const double dx = clicked.x() - centre_x, dy = clicked.y() - centre_y;
    const double rd = std::hypot(dx, dy) / radius;
    if (rd == 0)
        return clicked;
    // Newton on the radius alone: r + k1 r^3 = rd, from r = rd. Where the derivative
    // vanishes the lens folds and no ideal point appears there.
    double r = rd;
    for (int i = 0; i < 30; ++i) {
        const double slope = 1 + 3 * k1 * r * r;
        if (!(slope > 0))
            return clicked;
        const double step = (r + k1 * r * r * r - rd) / slope;
        r -= step;
        if (std::fabs(step) <= 1e-15 * (1 + r))
            break;
    }
    if (!(r > 0) || !std::isfinite(r))
        return clicked;
    const double scale = r / rd;
    return QPointF(centre_x + dx * scale, centre_y + dy * scale);
}

LensCorrection LensCorrection::forPicture(int widthPixels, int heightPixels)
{
    LensCorrection l;
    // Pixel (i, j) is at twips (15 i, 15 j), so the middle of the picture is half a pixel
    // short of half its width.
    l.centre_x = kTwipsPerPixel * (widthPixels - 1) / 2.0;
    l.centre_y = kTwipsPerPixel * (heightPixels - 1) / 2.0;
    l.radius = kTwipsPerPixel * std::hypot(double(widthPixels), double(heightPixels)) / 2;
    return l;
}

PlaneMapping PlaneMapping::fromCoefficients(const Coefficients& c, const LensCorrection& lens)
{
    PlaneMapping m;
    m.c_ = c;
    m.lens_ = lens;
    return m;
}

PlaneMapping PlaneMapping::fromGrid(const JumpGrid& grid) { return fromCoefficients(grid.c, grid.lens); }

PlaneMapping PlaneMapping::fromGrid(const GridState& g) { return fromCoefficients(g.mapping_coefficients, g.lens); }

// The sums run in the order the distance calculation has always used (the constant last):
// recorded distances and the command line's full-precision output depend on these bits.
double PlaneMapping::forwardDenominator(QPointF screen) const
{
    screen = lens_.undistort(screen);
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
    screen = lens_.undistort(screen);
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
    return lens_.distort(QPointF(u, v));
}

double distanceFrom(QPointF jump, QPointF point, double allowance)
{
    const double dx = jump.x() - point.x();
    const double dy = jump.y() - point.y();
    return std::sqrt(dx * dx + dy * dy) + allowance;
}

} // namespace tarvex
