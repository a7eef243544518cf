#include "grid/grid_geometry.h"
#include "common/twips.h"

#include <QLocale>
#include <algorithm>

#include "common/text_forms.h"

#include <cmath>

namespace tarvex {

std::optional<OneBasedArray<double, kCoefficientCount>>
solveMapping(const OneBasedArray<double, kBuoyCount>& screenX, const OneBasedArray<double, kBuoyCount>& screenY,
             const OneBasedArray<double, kBuoyCount>& surveyX, const OneBasedArray<double, kBuoyCount>& surveyY)
{
    // A(row, column), both 1-based as the equations are written; row and column 0 unused.
    double a[9][10] = {};
    for (int i = 1; i <= kBuoyCount; ++i) {
        const double u = screenX[i], v = screenY[i], x = surveyX[i], y = surveyY[i];
        const double top[10] = {0, 1, u, v, -u * x, -v * x, 0, 0, 0, x};
        const double bottom[10] = {0, 0, 0, 0, -u * y, -v * y, 1, u, v, y};
        for (int j = 1; j <= 9; ++j) {
            a[i][j] = top[j];
            a[i + 4][j] = bottom[j];
        }
    }

    for (int k = 1; k <= 8; ++k) {
        int p = k;
        while (p <= 8 && a[p][k] == 0)
            ++p;
        if (p > 8)
            return std::nullopt;
        if (p != k)
            for (int j = 1; j <= 9; ++j)
                std::swap(a[k][j], a[p][j]);
        const double r = 1 / a[k][k];
        for (int j = 1; j <= 9; ++j)
            a[k][j] *= r;
        for (int i = 1; i <= 8; ++i) {
            if (i == k)
                continue;
            const double f = -a[i][k];
            for (int j = 1; j <= 9; ++j)
                a[i][j] = a[k][j] * f + a[i][j];
        }
    }

    OneBasedArray<double, kCoefficientCount> c;
    for (int m = 1; m <= 8; ++m) {
        // A pivot tiny enough to overflow leaves infinities or NaNs behind; such a grid
        // would measure nonsense, so it counts as no unique solution.
        if (!std::isfinite(a[m][9]))
            return std::nullopt;
        c[m] = a[m][9];
    }
    return c;
}

bool buoysDegenerate(const OneBasedArray<double, kBuoyCount>& x, const OneBasedArray<double, kBuoyCount>& y)
{
    double span = 0;
    for (int a = 1; a <= kBuoyCount; ++a)
        for (int b = a + 1; b <= kBuoyCount; ++b)
            span = std::max(span, std::hypot(x[b] - x[a], y[b] - y[a]));
    if (!std::isfinite(span) || span == 0)
        return true;
    // Relative to the spread of the points, so twips and metres are judged alike.
    const double tiny = 1e-9 * span * span;
    for (int a = 1; a <= kBuoyCount; ++a)
        for (int b = a + 1; b <= kBuoyCount; ++b)
            for (int c = b + 1; c <= kBuoyCount; ++c) {
                const double cross = (x[b] - x[a]) * (y[c] - y[a]) - (y[b] - y[a]) * (x[c] - x[a]);
                if (std::fabs(cross) <= tiny)
                    return true;   // also catches two points that coincide
            }
    return false;
}

QString mappingProblem(const JumpGrid& grid)
{
    bool allZero = true;
    for (int m = 1; m <= kCoefficientCount; ++m)
        allZero = allZero && grid.c[m] == 0;
    if (allZero)
        return QStringLiteral("its mapping coefficients are all zero");

    const PlaneMapping mapping = PlaneMapping::fromGrid(grid);
    OneBasedArray<double, kBuoyCount> x, y;
    for (int b = 1; b <= kBuoyCount; ++b) {
        const auto p = mapping.surveyFromScreen(QPointF(grid.buoys[b].screen_x, grid.buoys[b].screen_y));
        if (!p)
            return QStringLiteral("its mapping cannot place buoy %1 on the water").arg(b);
        x[b] = p->x();
        y[b] = p->y();
    }
    // A singular mapping puts the whole picture on one line, so its buoys cannot span an area.
    if (buoysDegenerate(x, y))
        return QStringLiteral("its mapping takes the buoys to a point or a line");
    // A least-squares grid misses its buoys by their residuals; the fit of its points is
    // checked against it instead (fitProblem).
    if (!grid.check_points.isEmpty())
        return QString();
    for (int b = 1; b <= kBuoyCount; ++b) {
        const double miss = std::hypot(x[b] - grid.buoys[b].survey_x, y[b] - grid.buoys[b].survey_y);
        if (!(miss <= kMappingBuoyTolerance))
            return QStringLiteral("its mapping puts buoy %1 %2 m from where it was surveyed (more than 1 mm)")
                .arg(b)
                .arg(QString::number(miss, 'g', 4));
    }
    return QString();
}

bool solve_coefficients(GridState& g)
{
    if (buoysDegenerate(g.buoy_screen_x, g.buoy_screen_y) || buoysDegenerate(g.buoy_survey_x, g.buoy_survey_y))
        return false;
    const auto c = solveMapping(g.buoy_screen_x, g.buoy_screen_y, g.buoy_survey_x, g.buoy_survey_y);
    if (!c)
        return false;
    g.mapping_coefficients = *c;
    return true;
}

bool survey_from_screen(GridState& g)
{
    const PlaneMapping mapping = PlaneMapping::fromGrid(g);
    const QPointF screen(g.query_screen_x, g.query_screen_y);
    g.mapping_denominator = mapping.forwardDenominator(screen);
    const auto survey = mapping.surveyFromScreen(screen);
    if (!survey)
        return false;
    g.mapped_survey_x = survey->x();
    g.mapped_survey_y = survey->y();
    return true;
}

bool screen_from_survey(GridState& g)
{
    const PlaneMapping mapping = PlaneMapping::fromGrid(g);
    const QPointF survey(g.mapped_survey_x, g.mapped_survey_y);
    g.mapping_denominator = mapping.inverseDenominator(survey);
    const auto screen = mapping.screenFromSurvey(survey);
    if (!screen)
        return false;
    g.query_screen_x = screen->x();
    g.query_screen_y = screen->y();
    return true;
}

double ramp_allowance(TournamentType type)
{
    if (type == TournamentType::Barefoot)
        return 0;
    const double s = type == TournamentType::SitSki ? -1 : 0;
    return 2.1 + 0.2 * s;
}

std::optional<JumpMeasurement> measureJump(const PlaneMapping& mapping, QPointF jump, QPointF screen,
                                           TournamentType type)
{
    const auto survey = mapping.surveyFromScreen(screen);
    if (!survey)
        return std::nullopt;
    const double distance = distanceFrom(jump, *survey, ramp_allowance(type));
    if (!std::isfinite(distance))
        return std::nullopt;
    return JumpMeasurement{*survey, distance};
}

std::optional<JumpMeasurement> measureJump(const GridState& g, QPointF screen, TournamentType type)
{
    return measureJump(PlaneMapping::fromGrid(g), QPointF(g.jump_survey_x, g.jump_survey_y), screen, type);
}

bool distance_calculation(GridState& g, TournamentType type)
{
    const PlaneMapping mapping = PlaneMapping::fromGrid(g);
    const QPointF screen(g.query_screen_x, g.query_screen_y);
    g.mapping_denominator = mapping.forwardDenominator(screen);
    const auto m = measureJump(mapping, QPointF(g.jump_survey_x, g.jump_survey_y), screen, type);
    if (!m)
        return false;
    g.mapped_survey_x = m->survey.x();
    g.mapped_survey_y = m->survey.y();
    g.jump_distance = m->distance;
    return true;
}

std::optional<double> distancePerPixel(const PlaneMapping& mapping, QPointF jump, QPointF screen)
{
    const auto survey = mapping.surveyFromScreen(screen);
    if (!survey)
        return std::nullopt;
    const auto& c = mapping.coefficients();
    const double x = survey->x(), y = survey->y();
    double dxdu, dxdv, dydu, dydv;
    if (mapping.lens().active()) {
        // Through the lens the derivative has no short closed form; a twip either side is
        // far inside the scale on which the mapping bends.
        const auto east = mapping.surveyFromScreen(screen + QPointF(1, 0));
        const auto west = mapping.surveyFromScreen(screen - QPointF(1, 0));
        const auto south = mapping.surveyFromScreen(screen + QPointF(0, 1));
        const auto north = mapping.surveyFromScreen(screen - QPointF(0, 1));
        if (!east || !west || !south || !north)
            return std::nullopt;
        dxdu = (east->x() - west->x()) / 2;
        dydu = (east->y() - west->y()) / 2;
        dxdv = (south->x() - north->x()) / 2;
        dydv = (south->y() - north->y()) / 2;
    } else {
        // Quotient rule on X = Nx / D and Y = Ny / D.
        const double d = mapping.forwardDenominator(screen);
        dxdu = (c[2] - x * c[4]) / d;
        dxdv = (c[3] - x * c[5]) / d;
        dydu = (c[7] - y * c[4]) / d;
        dydv = (c[8] - y * c[5]) / d;
    }
    const double ex = x - jump.x(), ey = y - jump.y();
    const double r = std::hypot(ex, ey);
    double perTwip = 0;
    if (r > 1e-9) {
        // The distance's gradient: the unit vector from the jump point through the Jacobian.
        const double gu = (ex * dxdu + ey * dydu) / r, gv = (ex * dxdv + ey * dydv) / r;
        perTwip = std::hypot(gu, gv);
    } else {
        // At the jump point itself every direction counts; take the larger column.
        perTwip = std::max(std::hypot(dxdu, dydu), std::hypot(dxdv, dydv));
    }
    const double perPixel = perTwip * kTwipsPerPixel;
    if (!std::isfinite(perPixel))
        return std::nullopt;
    return perPixel;
}

std::optional<double> distancePerPixel(const GridState& g, double u, double v)
{
    return distancePerPixel(PlaneMapping::fromGrid(g), QPointF(g.jump_survey_x, g.jump_survey_y), QPointF(u, v));
}

QString pixelSizeText(double metresPerPixel)
{
    return QStringLiteral("One picture pixel here: %1 cm on the water").arg(metresPerPixel * 100, 0, 'f', 1);
}

bool holdsNumber(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    // "12,5" is not twelve and a half, nor 125.
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double v = c.toDouble(t, &ok);
    return ok && std::isfinite(v);
}

GridCheckResult grid_check(const QString& lower_left_x, const QString& lower_right_x,
                           const QString& upper_left_x, const QString& upper_right_x,
                           const QString& picture_width_twips)
{
    const double ll = leadingNumber(lower_left_x);
    const double lr = leadingNumber(lower_right_x);
    const double ul = leadingNumber(upper_left_x);
    const double ur = leadingNumber(upper_right_x);
    const double width = leadingNumber(picture_width_twips);

    GridCheckResult r;
    if (width == 0) {
        r.messages << QString::fromLatin1(kPictureWidthZeroText);
        return r;
    }
    const double front = std::fabs(lr - ll) * 100 / width;
    const double back = std::fabs(ur - ul) * 100 / width;
    if (!std::isfinite(front) || !std::isfinite(back)) {
        r.messages << QString::fromLatin1(kGridCheckUnusableText);
        return r;
    }
    r.valid = true;
    r.front_ratio = front;
    r.back_ratio = back;

    const QString base = QStringLiteral("Front ratio is ") + paddedNumber(std::floor(front))
                         + QStringLiteral("%  Back Ratio is ") + paddedNumber(std::floor(back))
                         + QStringLiteral("%");
    if (front > 65 && back > 45)
        r.messages << base;
    if (front < 65 && back < 45)
        r.messages << base + QStringLiteral("  Zoom camera in until front is > 85%");
    if (front > 65 && back < 45)
        r.messages << base + QStringLiteral("  Elevate camera until back is > 45%");
    if (front > 65 && back < 45)
        r.messages << base + QStringLiteral("  Zoom camera in until back is > 45%");
    if (front > 65 && back < 45 && front < 80)
        r.messages << base + QStringLiteral("  Zoom camera in until front is > 85%");
    return r;
}

GridCheckResult grid_check(GridState& g, const QString& lower_left_x, const QString& lower_right_x,
                           const QString& upper_left_x, const QString& upper_right_x,
                           const QString& picture_width_twips)
{
    GridCheckResult r = grid_check(lower_left_x, lower_right_x, upper_left_x, upper_right_x,
                                   picture_width_twips);
    g.front_ratio = r.front_ratio;
    g.back_ratio = r.back_ratio;
    return r;
}

} // namespace tarvex
