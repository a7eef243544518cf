#include "grid/grid_fit.h"

#include "common/twips.h"
#include "grid/grid_geometry.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace tarvex {

namespace {

constexpr int kMaxPoints = kBuoyCount + kMaxCheckPoints;
// The lens needs a ninth parameter and points to spare for it.
constexpr int kMinPointsForLens = 6;
// Half a picture diagonal out, a coefficient of 0.5 moves a point by half its radius.
constexpr double kMaxLensK1 = 0.5;
// How strongly the settings' figure weighs against the residuals when a fit with few points
// spare estimates its own noise: as much as this many spare equations.
constexpr double kPriorEquations = 4;

using Theta = std::array<double, 9>;

struct Frame {
    double sx = 0, sy = 0, ss = 1;   // picture normalisation
    double wx = 0, wy = 0, ws = 1;   // water normalisation
    LensCorrection lens;             // centre and radius; k1 comes from theta
};

// Shift to the centroid and scale so the mean distance from it is sqrt(2): the usual
// conditioning of a homography estimate.
void normalise(const QList<QPointF>& pts, double& cx, double& cy, double& scale)
{
    cx = cy = 0;
    for (const QPointF& p : pts) {
        cx += p.x();
        cy += p.y();
    }
    cx /= pts.size();
    cy /= pts.size();
    double mean = 0;
    for (const QPointF& p : pts)
        mean += std::hypot(p.x() - cx, p.y() - cy);
    mean /= pts.size();
    scale = mean > 0 ? mean / std::sqrt(2.0) : 1;
}

Frame frameOf(const QList<SurveyedPoint>& points, const LensCorrection& lens)
{
    Frame f;
    QList<QPointF> screens, surveys;
    for (const SurveyedPoint& p : points) {
        screens << p.screen;
        surveys << p.survey;
    }
    normalise(screens, f.sx, f.sy, f.ss);
    normalise(surveys, f.wx, f.wy, f.ws);
    f.lens = lens;
    f.lens.k1 = 0;
    return f;
}

NormalisedMapping normalisedOf(const Frame& f)
{
    NormalisedMapping n;
    n.screenX = f.sx;
    n.screenY = f.sy;
    n.screenScale = f.ss;
    n.waterX = f.wx;
    n.waterY = f.wy;
    n.waterScale = f.ws;
    n.lensFrame = f.lens;
    return n;
}

Frame frameOf(const NormalisedMapping& n)
{
    Frame f;
    f.sx = n.screenX;
    f.sy = n.screenY;
    f.ss = n.screenScale;
    f.wx = n.waterX;
    f.wy = n.waterY;
    f.ws = n.waterScale;
    f.lens = n.lensFrame;
    return f;
}

QPointF normalisedScreen(const Frame& f, QPointF screen, double k1)
{
    LensCorrection l = f.lens;
    l.k1 = k1;
    const QPointF ideal = l.undistort(screen);
    return QPointF((ideal.x() - f.sx) / f.ss, (ideal.y() - f.sy) / f.ss);
}

// The water point of a screen point under theta; nullopt on or behind the vanishing line.
std::optional<QPointF> mapThrough(const Frame& f, const Theta& t, int parameters, QPointF screen)
{
    const QPointF s = normalisedScreen(f, screen, parameters > 8 ? t[8] : 0);
    const double w = t[6] * s.x() + t[7] * s.y() + 1;
    if (w == 0 || !std::isfinite(w))
        return std::nullopt;
    const double x = (t[0] * s.x() + t[1] * s.y() + t[2]) / w;
    const double y = (t[3] * s.x() + t[4] * s.y() + t[5]) / w;
    const QPointF water(f.wx + f.ws * x, f.wy + f.ws * y);
    if (!std::isfinite(water.x()) || !std::isfinite(water.y()))
        return std::nullopt;
    return water;
}

// The linear estimate in normalised coordinates (the smallest singular vector of the DLT
// system); nullopt when the points leave it undetermined.
std::optional<Theta> directEstimate(const Frame& f, const QList<SurveyedPoint>& points)
{
    const int n = int(points.size());
    cv::Mat a = cv::Mat::zeros(2 * n, 9, CV_64F);
    for (int i = 0; i < n; ++i) {
        const QPointF s = normalisedScreen(f, points[i].screen, 0);
        const double u = s.x(), v = s.y();
        const double x = (points[i].survey.x() - f.wx) / f.ws, y = (points[i].survey.y() - f.wy) / f.ws;
        const double r1[9] = {u, v, 1, 0, 0, 0, -x * u, -x * v, -x};
        const double r2[9] = {0, 0, 0, u, v, 1, -y * u, -y * v, -y};
        for (int j = 0; j < 9; ++j) {
            a.at<double>(2 * i, j) = r1[j];
            a.at<double>(2 * i + 1, j) = r2[j];
        }
    }
    cv::Mat w, u, vt;
    cv::SVD::compute(a, w, u, vt, cv::SVD::FULL_UV);
    // Eight equations fix the eight ratios; a ninth zero singular value means a family.
    if (w.rows < 8 || !(w.at<double>(7) > 1e-10 * w.at<double>(0)))
        return std::nullopt;
    const cv::Mat h = vt.row(8);
    const double h33 = h.at<double>(8);
    if (std::fabs(h33) < 1e-12)
        return std::nullopt;
    Theta t{};
    for (int j = 0; j < 8; ++j)
        t[j] = h.at<double>(j) / h33;
    for (double v : t)
        if (!std::isfinite(v))
            return std::nullopt;
    return t;
}

// Residuals on the water (metres) and their Jacobian, for OpenCV's Levenberg-Marquardt.
class WaterError : public cv::LMSolver::Callback {
public:
    WaterError(const Frame& f, const QList<SurveyedPoint>& points, int parameters)
        : f_(f), points_(points), parameters_(parameters) {}

    bool compute(cv::InputArray param, cv::OutputArray err, cv::OutputArray jac) const override
    {
        const cv::Mat p = param.getMat();
        Theta t{};
        for (int j = 0; j < parameters_; ++j)
            t[j] = p.at<double>(j);
        const int n = int(points_.size());
        err.create(2 * n, 1, CV_64F);
        cv::Mat e = err.getMat();
        cv::Mat J;
        if (jac.needed()) {
            jac.create(2 * n, parameters_, CV_64F);
            J = jac.getMat();
        }
        const double k1 = parameters_ > 8 ? t[8] : 0;
        for (int i = 0; i < n; ++i) {
            const QPointF s = normalisedScreen(f_, points_[i].screen, k1);
            const double a = s.x(), b = s.y();
            const double w = t[6] * a + t[7] * b + 1;
            if (w == 0 || !std::isfinite(w))
                return false;
            const double x = (t[0] * a + t[1] * b + t[2]) / w;
            const double y = (t[3] * a + t[4] * b + t[5]) / w;
            e.at<double>(2 * i) = f_.wx + f_.ws * x - points_[i].survey.x();
            e.at<double>(2 * i + 1) = f_.wy + f_.ws * y - points_[i].survey.y();
            if (J.empty())
                continue;
            const double gx[8] = {a / w, b / w, 1 / w, 0, 0, 0, -x * a / w, -x * b / w};
            const double gy[8] = {0, 0, 0, a / w, b / w, 1 / w, -y * a / w, -y * b / w};
            for (int j = 0; j < 8; ++j) {
                J.at<double>(2 * i, j) = f_.ws * gx[j];
                J.at<double>(2 * i + 1, j) = f_.ws * gy[j];
            }
            if (parameters_ > 8) {
                // The lens moves the normalised point; its effect on the water by differences.
                const double h = 1e-7;
                Theta lo = t, hi = t;
                lo[8] -= h;
                hi[8] += h;
                const auto wl = mapThrough(f_, lo, 9, points_[i].screen);
                const auto wh = mapThrough(f_, hi, 9, points_[i].screen);
                if (!wl || !wh)
                    return false;
                J.at<double>(2 * i, 8) = (wh->x() - wl->x()) / (2 * h);
                J.at<double>(2 * i + 1, 8) = (wh->y() - wl->y()) / (2 * h);
            }
        }
        return true;
    }

private:
    const Frame& f_;
    const QList<SurveyedPoint>& points_;
    int parameters_;
};

std::optional<Theta> leastSquares(const Frame& f, const QList<SurveyedPoint>& points, bool lens)
{
    const auto start = directEstimate(f, points);
    if (!start)
        return std::nullopt;
    const int parameters = lens ? 9 : 8;
    if (2 * points.size() < parameters)
        return std::nullopt;
    cv::Mat p(parameters, 1, CV_64F);
    for (int j = 0; j < 8; ++j)
        p.at<double>(j) = (*start)[j];
    if (lens)
        p.at<double>(8) = 0;
    cv::Ptr<cv::LMSolver> solver = cv::LMSolver::create(cv::makePtr<WaterError>(f, points, parameters), 100, 1e-15);
    solver->run(p);
    Theta t{};
    for (int j = 0; j < parameters; ++j) {
        t[j] = p.at<double>(j);
        if (!std::isfinite(t[j]))
            return std::nullopt;
    }
    // No camera lens bends that far: such a coefficient only soaks up a bad point.
    if (lens && !(std::fabs(t[8]) <= kMaxLensK1))
        return std::nullopt;
    // A barrel folds back beyond some radius; a point out there has no ideal place.
    if (lens && t[8] < 0) {
        const double foldIdeal = 1 / std::sqrt(-3 * t[8]);
        const double foldSeen = foldIdeal * (1 + t[8] * foldIdeal * foldIdeal);
        for (const SurveyedPoint& sp : points)
            if (std::hypot(sp.screen.x() - f.lens.centre_x, sp.screen.y() - f.lens.centre_y) / f.lens.radius >= foldSeen)
                return std::nullopt;
    }
    // Every point must lie on the side of the vanishing line the picture sees.
    for (const SurveyedPoint& sp : points)
        if (!mapThrough(f, t, parameters, sp.screen))
            return std::nullopt;
    return t;
}

// The 3x3 matrices between normalised and grid-file coordinates.
cv::Matx33d screenToNormalised(const Frame& f)
{
    return {1 / f.ss, 0, -f.sx / f.ss, 0, 1 / f.ss, -f.sy / f.ss, 0, 0, 1};
}
cv::Matx33d normalisedToWater(const Frame& f) { return {f.ws, 0, f.wx, 0, f.ws, f.wy, 0, 0, 1}; }

cv::Matx33d thetaMatrix(const Theta& t) { return {t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], 1}; }

PlaneMapping::Coefficients coefficientsOf(const Frame& f, const Theta& t)
{
    cv::Matx33d h = normalisedToWater(f) * thetaMatrix(t) * screenToNormalised(f);
    h *= 1 / h(2, 2);
    PlaneMapping::Coefficients c;
    c[1] = h(0, 2);
    c[2] = h(0, 0);
    c[3] = h(0, 1);
    c[4] = h(2, 0);
    c[5] = h(2, 1);
    c[6] = h(1, 2);
    c[7] = h(1, 0);
    c[8] = h(1, 1);
    return c;
}

std::optional<Theta> thetaOf(const Frame& f, const PlaneMapping& m)
{
    const auto& c = m.coefficients();
    const cv::Matx33d h(c[2], c[3], c[1], c[7], c[8], c[6], c[4], c[5], 1);
    cv::Matx33d n = normalisedToWater(f).inv() * h * screenToNormalised(f).inv();
    if (!(std::fabs(n(2, 2)) > 0))
        return std::nullopt;
    n *= 1 / n(2, 2);
    Theta t{};
    for (int j = 0; j < 8; ++j)
        t[j] = n(j / 3, j % 3);
    t[8] = m.lens().k1;
    return t;
}

// The fit of all points but one, in the frame of the whole grid.
std::optional<Theta> fitWithout(const Frame& f, const QList<SurveyedPoint>& points, int left, bool lens)
{
    QList<SurveyedPoint> rest = points;
    rest.removeAt(left);
    if (rest.size() < kBuoyCount || (lens && 2 * rest.size() < 10))
        return std::nullopt;
    return leastSquares(f, rest, lens);
}

struct LeftOut {
    double error = 0;      // metres, the point against the grid fitted without it
    double restRms = 0;    // metres, how well the others agree among themselves
    double score = 0;      // error over what the others' scatter and the fit's reach there explain
};

// How far the water point of a screen point moves per twip, for the click's share of noise.
double metresPerTwip(const Frame& f, const Theta& t, int parameters, QPointF screen)
{
    const auto a = mapThrough(f, t, parameters, screen - QPointF(0.5, 0));
    const auto b = mapThrough(f, t, parameters, screen + QPointF(0.5, 0));
    const auto c = mapThrough(f, t, parameters, screen - QPointF(0, 0.5));
    const auto d = mapThrough(f, t, parameters, screen + QPointF(0, 0.5));
    if (!a || !b || !c || !d)
        return 0;
    return std::max(std::hypot(b->x() - a->x(), b->y() - a->y()), std::hypot(d->x() - c->x(), d->y() - c->y()));
}

std::optional<LeftOut> leaveOut(const Frame& f, const QList<SurveyedPoint>& points, int i, bool lens,
                                const UncertaintySettings& s)
{
    const auto t = fitWithout(f, points, i, lens);
    if (!t)
        return std::nullopt;
    const int parameters = lens ? 9 : 8;
    LeftOut r;
    double sum = 0, prior = 0;
    for (int k = 0; k < points.size(); ++k) {
        const auto w = mapThrough(f, *t, parameters, points[k].screen);
        if (!w)
            return std::nullopt;
        const double e = std::hypot(w->x() - points[k].survey.x(), w->y() - points[k].survey.y());
        const double click = s.clickPixels * kTwipsPerPixel * metresPerTwip(f, *t, parameters, points[k].screen);
        const double expected = s.surveyMetres * s.surveyMetres + click * click;
        if (k == i) {
            r.error = e;
        } else {
            sum += e * e;
            prior += expected;
        }
    }
    const int rest = int(points.size()) - 1;
    r.restRms = std::sqrt(sum / rest);

    // The deleted residual judged against its own spread: the noise of one point (from the
    // others' residuals, with the settings' figure weighing in) and the uncertainty of the
    // fit where it has to reach, largest at the corners.
    const double spare = 2.0 * rest - parameters;
    const double noise = (sum + kPriorEquations * prior / rest) / (spare + kPriorEquations);
    QList<SurveyedPoint> others = points;
    others.removeAt(i);
    WaterError model(f, others, parameters);
    cv::Mat p(parameters, 1, CV_64F), err, jac, inv;
    for (int j = 0; j < parameters; ++j)
        p.at<double>(j) = (*t)[j];
    double reach = 0;
    if (model.compute(p, err, jac) && cv::invert(jac.t() * jac, inv, cv::DECOMP_SVD) != 0) {
        cv::Mat g(2, parameters, CV_64F);
        for (int j = 0; j < parameters; ++j) {
            const double h = 1e-7 * (1 + std::fabs((*t)[j]));
            Theta lo = *t, hi = *t;
            lo[j] -= h;
            hi[j] += h;
            const auto a = mapThrough(f, lo, parameters, points[i].screen);
            const auto b = mapThrough(f, hi, parameters, points[i].screen);
            if (!a || !b)
                return r;
            g.at<double>(0, j) = (b->x() - a->x()) / (2 * h);
            g.at<double>(1, j) = (b->y() - a->y()) / (2 * h);
        }
        const cv::Mat cov = g * inv * g.t() * noise;
        reach = (cov.at<double>(0, 0) + cov.at<double>(1, 1)) / 2;
    }
    const double spread = std::sqrt(noise + std::max(0.0, reach));
    r.score = spread > 0 ? r.error / spread : std::numeric_limits<double>::infinity();
    return r;
}

double median(QList<double> v)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    const qsizetype m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// Takes out the point without which the others agree best, and flags it when its error
// stands out from the others' leave-one-out errors without it; then looks again. The
// others are judged without the candidate because one bad point drags every fit that
// holds it, and the largest error alone would blame a corner buoy, where the grid
// extrapolates.
void flagOutliers(const Frame& f, const QList<SurveyedPoint>& points, bool lens, const UncertaintySettings& s,
                  QList<PointAgreement>& out)
{
    QList<int> kept;
    for (int i = 0; i < points.size(); ++i)
        kept << i;
    const int minimum = lens ? kMinPointsForLens : kBuoyCount + 1;
    auto leaveEachOut = [&](const QList<int>& set) {
        QList<SurveyedPoint> current;
        for (int i : set)
            current << points[i];
        QList<std::optional<LeftOut>> left;
        for (int k = 0; k < set.size(); ++k)
            left << leaveOut(f, current, k, lens, s);
        return left;
    };
    QList<std::optional<LeftOut>> left = leaveEachOut(kept);
    while (kept.size() >= minimum) {
        int best = -1;
        for (int k = 0; k < kept.size(); ++k)
            if (left[k] && (best < 0 || left[k]->restRms < left[best]->restRms))
                best = k;
        if (best < 0)
            return;
        const double e = left[best]->error;
        QList<int> rest = kept;
        rest.removeAt(best);
        QList<std::optional<LeftOut>> restLeft;
        QList<double> others;
        if (rest.size() > kBuoyCount && !(lens && rest.size() < kMinPointsForLens)) {
            restLeft = leaveEachOut(rest);
            for (const auto& l : restLeft)
                if (l)
                    others << l->error;
        } else {
            // Too few left to leave one out: their residuals in the fit without the candidate.
            others << left[best]->restRms;
        }
        if (!(e > kFlagFloorMetres && e > kFlagMedianFactor * median(others) && left[best]->score > kFlagScore))
            return;
        out[kept[best]].flagged = true;
        kept = rest;
        left = restLeft;
        if (left.size() != kept.size())
            return;
    }
}

// The covariance of a four-point grid's parameters: every buoy's click and survey figures
// carried through the exact solution by differences.
bool fourPointCovariance(const Frame& f, const QList<SurveyedPoint>& points, const Theta& base,
                         const UncertaintySettings& s, std::array<double, 81>& cov)
{
    const double clickTwips = s.clickPixels * kTwipsPerPixel;
    cv::Mat jac = cv::Mat::zeros(8, 16, CV_64F);
    cv::Mat sigma = cv::Mat::zeros(16, 16, CV_64F);
    for (int input = 0; input < 16; ++input) {
        const int i = input / 4, which = input % 4;
        const double h = which < 2 ? 0.01 : 1e-5;   // a hundredth of a twip, a hundredth of a mm
        sigma.at<double>(input, input) = which < 2 ? clickTwips * clickTwips : s.surveyMetres * s.surveyMetres;
        std::optional<Theta> side[2];
        for (int d = 0; d < 2; ++d) {
            QList<SurveyedPoint> moved = points;
            QPointF& p = which < 2 ? moved[i].screen : moved[i].survey;
            (which % 2 == 0 ? p.rx() : p.ry()) += d == 0 ? -h : h;
            side[d] = directEstimate(f, moved);
            if (!side[d])
                return false;
        }
        for (int j = 0; j < 8; ++j)
            jac.at<double>(j, input) = ((*side[1])[j] - (*side[0])[j]) / (2 * h);
    }
    Q_UNUSED(base);
    const cv::Mat c = jac * sigma * jac.t();
    cov.fill(0);
    for (int r = 0; r < 8; ++r)
        for (int k = 0; k < 8; ++k)
            cov[std::size_t(r * 9 + k)] = c.at<double>(r, k);
    return true;
}

// The covariance of a least-squares grid's parameters from its residuals, with the
// settings' figure weighing in as a few spare equations would.
bool fittedCovariance(const Frame& f, const QList<SurveyedPoint>& points, const Theta& t, int parameters,
                      const PlaneMapping& mapping, const UncertaintySettings& s, std::array<double, 81>& cov)
{
    WaterError model(f, points, parameters);
    cv::Mat p(parameters, 1, CV_64F);
    for (int j = 0; j < parameters; ++j)
        p.at<double>(j) = t[j];
    cv::Mat err, jac;
    if (!model.compute(p, err, jac))
        return false;
    const double ssr = err.dot(err);
    const double spare = double(err.rows - parameters);
    // What one coordinate of a point should miss by, from the settings: the survey's figure
    // and a click's, carried to the water at each point.
    double prior = 0;
    for (const SurveyedPoint& sp : points) {
        const auto perPixel = distancePerPixel(mapping, sp.survey, sp.screen);
        const double clickMetres = perPixel ? s.clickPixels * *perPixel : 0;
        prior += s.surveyMetres * s.surveyMetres + clickMetres * clickMetres;
    }
    prior /= points.size();
    const double variance = (ssr + kPriorEquations * prior) / (spare + kPriorEquations);
    cv::Mat inv;
    if (cv::invert(jac.t() * jac, inv, cv::DECOMP_SVD) == 0)
        return false;
    inv *= variance;
    cov.fill(0);
    for (int r = 0; r < parameters; ++r)
        for (int k = 0; k < parameters; ++k)
            cov[std::size_t(r * 9 + k)] = inv.at<double>(r, k);
    return true;
}

bool allFinite(const QList<SurveyedPoint>& points)
{
    for (const SurveyedPoint& p : points)
        if (!std::isfinite(p.screen.x()) || !std::isfinite(p.screen.y()) || !std::isfinite(p.survey.x())
            || !std::isfinite(p.survey.y()))
            return false;
    return true;
}

// Residuals, leave-one-out errors, flags and covariance of theta on points: the figures
// both a fresh fit and a stored grid are judged by.
void judge(GridFit& fit, const Frame& f, const QList<SurveyedPoint>& points, const Theta& t, bool lens,
           const UncertaintySettings& s, bool withLeaveOneOut = true)
{
    const int parameters = lens ? 9 : 8;
    double sum = 0;
    fit.points.clear();
    for (int i = 0; i < points.size(); ++i) {
        PointAgreement a;
        a.name = points[i].name;
        const auto w = fit.mapping.surveyFromScreen(points[i].screen);
        a.residual = w ? std::hypot(w->x() - points[i].survey.x(), w->y() - points[i].survey.y())
                       : std::numeric_limits<double>::infinity();
        sum += a.residual * a.residual;
        if (points.size() > kBuoyCount && withLeaveOneOut)
            if (const auto left = leaveOut(f, points, i, lens, s))
                a.leaveOneOut = left->error;
        fit.points << a;
    }
    fit.rms = std::sqrt(sum / points.size());
    if (points.size() > kBuoyCount && withLeaveOneOut)
        flagOutliers(f, points, lens, s, fit.points);

    NormalisedMapping& n = fit.normalised;
    n = normalisedOf(f);
    n.theta = t;
    n.parameters = parameters;
    const bool covOk = points.size() == kBuoyCount ? fourPointCovariance(f, points, t, s, n.covariance)
                                                   : fittedCovariance(f, points, t, parameters, fit.mapping, s,
                                                                      n.covariance);
    if (!covOk)
        n.covariance.fill(0);
}

double looRms(const GridFit& fit)
{
    double sum = 0;
    int count = 0;
    for (const PointAgreement& a : fit.points)
        if (a.leaveOneOut) {
            sum += *a.leaveOneOut * *a.leaveOneOut;
            ++count;
        }
    return count ? std::sqrt(sum / count) : std::numeric_limits<double>::infinity();
}

} // namespace

QString cornerName(int buoyIndex)
{
    static const char* const names[] = {"UR", "LR", "UL", "LL"};
    return buoyIndex >= 1 && buoyIndex <= kBuoyCount ? QLatin1String(names[buoyIndex - 1]) : QString();
}

QList<SurveyedPoint> surveyedPoints(const GridState& g)
{
    QList<SurveyedPoint> pts;
    for (int b = 1; b <= kBuoyCount; ++b)
        pts << SurveyedPoint{cornerName(b), QPointF(g.buoy_screen_x[b], g.buoy_screen_y[b]),
                             QPointF(g.buoy_survey_x[b], g.buoy_survey_y[b])};
    for (const CheckPoint& c : g.check_points)
        pts << SurveyedPoint{c.name, QPointF(c.screen_x, c.screen_y), QPointF(c.survey_x, c.survey_y)};
    return pts;
}

QList<SurveyedPoint> surveyedPoints(const JumpGrid& grid)
{
    QList<SurveyedPoint> pts;
    for (int b = 1; b <= kBuoyCount; ++b)
        pts << SurveyedPoint{cornerName(b), QPointF(grid.buoys[b].screen_x, grid.buoys[b].screen_y),
                             QPointF(grid.buoys[b].survey_x, grid.buoys[b].survey_y)};
    for (const CheckPoint& c : grid.check_points)
        pts << SurveyedPoint{c.name, QPointF(c.screen_x, c.screen_y), QPointF(c.survey_x, c.survey_y)};
    return pts;
}

bool isCheckPointName(const QString& name)
{
    static const QRegularExpression shape(QStringLiteral("^[A-Za-z0-9_-]{1,12}$"));
    if (!shape.match(name).hasMatch())
        return false;
    for (int b = 1; b <= kBuoyCount; ++b)
        if (name.compare(cornerName(b), Qt::CaseInsensitive) == 0)
            return false;
    return true;
}

int GridFit::worst() const
{
    int w = -1;
    for (int i = 0; i < points.size(); ++i)
        if (w < 0 || points[i].residual > points[w].residual)
            w = i;
    return w;
}

GridFit fitGrid(const QList<SurveyedPoint>& points, bool lensWanted, const LensCorrection& frame,
                const UncertaintySettings& settings)
{
    GridFit fit;
    const int n = int(points.size());
    if (n < kBuoyCount || n > kMaxPoints) {
        fit.error = QStringLiteral("A grid needs 4 to %1 points, not %2").arg(kMaxPoints).arg(n);
        return fit;
    }
    if (!allFinite(points)) {
        fit.error = QStringLiteral("A point of the grid is not a usable number");
        return fit;
    }
    const Frame f = frameOf(points, frame);
    if (n == kBuoyCount) {
        // Four points: today's elimination, so the coefficients stay bit for bit the same.
        OneBasedArray<double, kBuoyCount> sx, sy, wx, wy;
        for (int b = 1; b <= kBuoyCount; ++b) {
            sx[b] = points[b - 1].screen.x();
            sy[b] = points[b - 1].screen.y();
            wx[b] = points[b - 1].survey.x();
            wy[b] = points[b - 1].survey.y();
        }
        const auto c = buoysDegenerate(sx, sy) || buoysDegenerate(wx, wy) ? std::nullopt
                                                                           : solveMapping(sx, sy, wx, wy);
        if (!c) {
            fit.error = QLatin1String(kNoUniqueSolutionText);
            return fit;
        }
        fit.mapping = PlaneMapping::fromCoefficients(*c);
        const auto t = thetaOf(f, fit.mapping);
        if (!t) {
            fit.error = QLatin1String(kNoUniqueSolutionText);
            return fit;
        }
        fit.ok = true;
        judge(fit, f, points, *t, false, settings);
        return fit;
    }

    const auto plain = leastSquares(f, points, false);
    if (!plain) {
        fit.error = QStringLiteral("The points cannot fix a mapping - some lie on one line or on the "
                                   "vanishing line of the picture");
        return fit;
    }
    fit.ok = true;
    fit.mapping = PlaneMapping::fromCoefficients(coefficientsOf(f, *plain));
    judge(fit, f, points, *plain, false, settings);

    fit.lensTried = lensWanted && n >= kMinPointsForLens && frame.radius > 0;
    if (fit.lensTried) {
        const auto withLens = leastSquares(f, points, true);
        if (withLens && (*withLens)[8] != 0) {
            GridFit lensFit = fit;
            LensCorrection lens = f.lens;
            lens.k1 = (*withLens)[8];
            lensFit.mapping = PlaneMapping::fromCoefficients(coefficientsOf(f, *withLens), lens);
            judge(lensFit, f, points, *withLens, true, settings);
            // A lens the points cannot confirm would only bend a good grid.
            if (looRms(lensFit) < looRms(fit)) {
                lensFit.lensUsed = true;
                return lensFit;
            }
        }
    }
    return fit;
}

GridFit fitWorkingGrid(GridState& g, const LensCorrection& frame, const UncertaintySettings& settings)
{
    GridFit fit = fitGrid(surveyedPoints(g), g.lens_wanted, frame, settings);
    if (!fit.ok)
        return fit;
    g.mapping_coefficients = fit.mapping.coefficients();
    // The frame is kept even when the lens stays off, so the grid can be fitted again alike.
    g.lens = g.check_points.isEmpty() && !g.lens_wanted ? LensCorrection{} : frame;
    g.lens.k1 = fit.mapping.lens().k1;
    return fit;
}

GridFit assessGrid(const QList<SurveyedPoint>& points, const PlaneMapping& mapping, bool lensWanted,
                   const UncertaintySettings& settings, bool withLeaveOneOut)
{
    GridFit fit;
    if (points.size() < kBuoyCount || points.size() > kMaxPoints || !allFinite(points)) {
        fit.error = QStringLiteral("A grid needs 4 to %1 usable points").arg(kMaxPoints);
        return fit;
    }
    const Frame f = frameOf(points, mapping.lens());
    const auto t = thetaOf(f, mapping);
    if (!t) {
        fit.error = QStringLiteral("The grid's mapping cannot be judged");
        return fit;
    }
    fit.ok = true;
    fit.mapping = mapping;
    fit.lensUsed = mapping.lens().active();
    fit.lensTried = lensWanted && points.size() >= kMinPointsForLens;
    judge(fit, f, points, *t, fit.lensUsed, settings, withLeaveOneOut);
    return fit;
}

const GridFit& workingGridFit(const GridState& g, const UncertaintySettings& settings)
{
    struct Cached {
        QList<SurveyedPoint> points;
        PlaneMapping mapping;
        bool lensWanted = false;
        double click = -1, survey = -1;
        GridFit fit;
    };
    thread_local Cached cache;
    const QList<SurveyedPoint> points = surveyedPoints(g);
    const PlaneMapping mapping = PlaneMapping::fromGrid(g);
    const bool same = cache.click == settings.clickPixels && cache.survey == settings.surveyMetres
                      && cache.lensWanted == g.lens_wanted && cache.mapping == mapping
                      && std::equal(points.begin(), points.end(), cache.points.begin(), cache.points.end(),
                                    [](const SurveyedPoint& a, const SurveyedPoint& b) {
                                        return a.name == b.name && a.screen == b.screen && a.survey == b.survey;
                                    });
    if (!same) {
        cache.points = points;
        cache.mapping = mapping;
        cache.lensWanted = g.lens_wanted;
        cache.click = settings.clickPixels;
        cache.survey = settings.surveyMetres;
        cache.fit = assessGrid(points, mapping, g.lens_wanted, settings, false);
    }
    return cache.fit;
}

QString fitProblem(const JumpGrid& grid)
{
    const QList<SurveyedPoint> points = surveyedPoints(grid);
    const GridFit fit = fitGrid(points, grid.lens_wanted, grid.lens);
    if (!fit.ok)
        return QStringLiteral("its %1 points cannot fix a mapping").arg(points.size());
    if (fit.lensUsed != grid.lens.active())
        return fit.lensUsed ? QStringLiteral("its points call for the lens correction it does not hold")
                            : QStringLiteral("it holds a lens correction its points do not call for");
    const PlaneMapping stored = PlaneMapping::fromGrid(grid);
    for (const SurveyedPoint& p : points) {
        const auto a = stored.surveyFromScreen(p.screen);
        const auto b = fit.mapping.surveyFromScreen(p.screen);
        const double apart = a && b ? std::hypot(a->x() - b->x(), a->y() - b->y()) : qInf();
        if (!(apart <= kMappingBuoyTolerance))
            return QStringLiteral("its mapping does not agree with the fit of its %1 points (at %2 by %3 m)")
                .arg(points.size())
                .arg(p.name)
                .arg(QString::number(apart, 'g', 3));
    }
    return QString();
}

QString qualityLine(const GridFit& fit)
{
    const int w = fit.worst();
    QString line = QStringLiteral("RMS %1 cm over %2 points").arg(fit.rms * 100, 0, 'f', 1).arg(fit.count());
    if (w >= 0)
        line += QStringLiteral(" - worst %1 %2 cm").arg(fit.points[w].name).arg(fit.points[w].residual * 100, 0, 'f', 1);
    if (fit.lensUsed)
        line += QStringLiteral(" - lens k1 = %1").arg(fit.mapping.lens().k1, 0, 'f', 3);
    return line;
}

std::optional<double> distanceSigma(const GridFit& fit, QPointF jump, QPointF screen, double clickPixels)
{
    const auto perPixel = distancePerPixel(fit.mapping, jump, screen);
    if (!perPixel || !fit.ok)
        return std::nullopt;
    const NormalisedMapping& n = fit.normalised;
    const Frame f = frameOf(n);
    auto distanceAt = [&](const Theta& t) -> std::optional<double> {
        const auto w = mapThrough(f, t, n.parameters, screen);
        if (!w)
            return std::nullopt;
        return std::hypot(w->x() - jump.x(), w->y() - jump.y());
    };
    std::array<double, 9> grad{};
    for (int j = 0; j < n.parameters; ++j) {
        const double h = 1e-7 * (1 + std::fabs(n.theta[j]));
        Theta lo = n.theta, hi = n.theta;
        lo[j] -= h;
        hi[j] += h;
        const auto dl = distanceAt(lo), dh = distanceAt(hi);
        if (!dl || !dh)
            return std::nullopt;
        grad[std::size_t(j)] = (*dh - *dl) / (2 * h);
    }
    double gridVariance = 0;
    for (int r = 0; r < n.parameters; ++r)
        for (int k = 0; k < n.parameters; ++k)
            gridVariance += grad[std::size_t(r)] * n.covariance[std::size_t(r * 9 + k)] * grad[std::size_t(k)];
    const double click = clickPixels * *perPixel;
    const double sigma = std::sqrt(std::max(0.0, gridVariance) + click * click);
    if (!std::isfinite(sigma))
        return std::nullopt;
    return sigma;
}

QString sigmaText(double sigmaMetres)
{
    const double cm = std::max(1.0, std::round(sigmaMetres * 100));
    return QStringLiteral("+/- %1 cm").arg(cm, 0, 'f', 0);
}

} // namespace tarvex
