#include "grid/grid_fit.h"
#include "grid/grid_geometry.h"

#include <gtest/gtest.h>
#include <cmath>
#include <random>

using namespace tarvex;

namespace {

// A shore camera over a landing area, 1920x1080: survey metres to twips through a known
// plane mapping (four points placed by hand), then an optional radial lens.
struct Scene {
    PlaneMapping surveyToTwips;
    LensCorrection lens = LensCorrection::forPicture(1920, 1080);

    explicit Scene(double k1 = 0)
    {
        OneBasedArray<double, kBuoyCount> sx{{70, 68, 35, 33}}, sy{{12, -10, 11, -9}};
        OneBasedArray<double, kBuoyCount> px{{1535.5 * 15, 1727.5 * 15, 498.7 * 15, 229.9 * 15}};
        OneBasedArray<double, kBuoyCount> py{{431.5 * 15, 863.5 * 15, 409.9 * 15, 820.3 * 15}};
        surveyToTwips = PlaneMapping::fromCoefficients(*solveMapping(sx, sy, px, py));
        lens.k1 = k1;
    }
    QPointF twipsOf(QPointF survey) const { return lens.distort(*surveyToTwips.surveyFromScreen(survey)); }
    SurveyedPoint point(const QString& name, QPointF survey) const { return {name, twipsOf(survey), survey}; }

    // The corner buoys and n - 4 check points across the landing area.
    QList<SurveyedPoint> points(int n) const
    {
        const QPointF corners[] = {{70, 12}, {68, -10}, {35, 11}, {33, -9}};
        const QPointF checks[] = {{40, 0}, {50, 6}, {60, -5}, {45, -7}, {64, 8}, {55, 0}, {38, 7}, {66, -1}};
        QList<SurveyedPoint> pts;
        for (int b = 0; b < 4; ++b)
            pts << point(cornerName(b + 1), corners[b]);
        for (int c = 0; c < n - 4; ++c)
            pts << point(QStringLiteral("C%1").arg(c + 1), checks[c]);
        return pts;
    }
};

const QPointF kJump(0, 0);
const QPointF kImpact(52.4, 1.6);   // 52.4245 m from the jump

double distanceError(const GridFit& fit, const Scene& scene)
{
    const auto w = fit.mapping.surveyFromScreen(scene.twipsOf(kImpact));
    return std::hypot(w->x(), w->y()) - 52.424421789;
}

} // namespace

TEST(GridFit, FourPointsKeepTheEliminationAndHaveNoLeaveOneOut)
{
    const Scene scene;
    const auto pts = scene.points(4);
    const GridFit fit = fitGrid(pts, true, scene.lens);
    ASSERT_TRUE(fit.ok) << fit.error.toStdString();
    GridState g;
    for (int b = 1; b <= 4; ++b) {
        g.buoy_screen_x[b] = pts[b - 1].screen.x();
        g.buoy_screen_y[b] = pts[b - 1].screen.y();
        g.buoy_survey_x[b] = pts[b - 1].survey.x();
        g.buoy_survey_y[b] = pts[b - 1].survey.y();
    }
    ASSERT_TRUE(solve_coefficients(g));
    EXPECT_EQ(fit.mapping.coefficients(), g.mapping_coefficients);   // bit for bit
    EXPECT_FALSE(fit.lensUsed);
    EXPECT_NEAR(distanceError(fit, scene), 0, 1e-6);
    for (const PointAgreement& a : fit.points) {
        EXPECT_FALSE(a.leaveOneOut.has_value());
        EXPECT_FALSE(a.flagged);
    }
    EXPECT_TRUE(qualityLine(fit).startsWith(QStringLiteral("RMS 0.0 cm over 4 points - worst ")))
        << qualityLine(fit).toStdString();
}

TEST(GridFit, ManyPointsFitExactlyAndRefuseWhatCannotFixAMapping)
{
    const Scene scene;
    const GridFit fit = fitGrid(scene.points(12), false, scene.lens);
    ASSERT_TRUE(fit.ok);
    EXPECT_NEAR(distanceError(fit, scene), 0, 1e-6);
    EXPECT_LT(fit.rms, 1e-6);
    EXPECT_EQ(fit.points.size(), 12);
    EXPECT_EQ(fit.points[11].name, QStringLiteral("C8"));
    ASSERT_TRUE(fit.points[4].leaveOneOut.has_value());
    EXPECT_LT(*fit.points[4].leaveOneOut, 1e-6);

    QList<SurveyedPoint> line;
    for (int i = 0; i < 6; ++i)
        line << SurveyedPoint{QStringLiteral("P%1").arg(i), QPointF(1000 + 100 * i, 2000), QPointF(30 + i, 0)};
    EXPECT_FALSE(fitGrid(line, false, scene.lens).ok);
    EXPECT_FALSE(fitGrid(scene.points(4).mid(0, 3), false, scene.lens).ok);
    QList<SurveyedPoint> tooMany = scene.points(12);
    tooMany << scene.point(QStringLiteral("C9"), QPointF(50, -2));
    EXPECT_FALSE(fitGrid(tooMany, false, scene.lens).ok);
}

TEST(GridFit, TheLensIsCorrectedFromTheSamePointsAndOnlyWhenItHelps)
{
    for (double k1 : {-0.12, 0.08}) {
        const Scene scene(k1);
        const GridFit four = fitGrid(scene.points(4), false, scene.lens);
        EXPECT_GT(std::fabs(distanceError(four, scene)), 0.03) << k1;   // several centimetres off
        const GridFit fit = fitGrid(scene.points(10), true, scene.lens);
        ASSERT_TRUE(fit.ok);
        EXPECT_TRUE(fit.lensUsed);
        EXPECT_NEAR(fit.mapping.lens().k1, k1, 1e-6);
        EXPECT_NEAR(distanceError(fit, scene), 0, 1e-4);
        EXPECT_TRUE(qualityLine(fit).endsWith(k1 < 0 ? QStringLiteral(" - lens k1 = -0.120")
                                                     : QStringLiteral(" - lens k1 = 0.080")))
            << qualityLine(fit).toStdString();
    }
    // No distortion and clicks half a pixel out: the lens must not bend the grid.
    Scene flat;
    auto pts = flat.points(10);
    std::mt19937 rng(7);
    std::normal_distribution<double> click(0, 7.5);
    for (SurveyedPoint& p : pts)
        p.screen += QPointF(click(rng), click(rng));
    const GridFit plain = fitGrid(pts, false, flat.lens);
    const GridFit asked = fitGrid(pts, true, flat.lens);
    EXPECT_LE(std::fabs(distanceError(asked, flat)), std::fabs(distanceError(plain, flat)) + 0.005);
}

TEST(GridFit, AMisSurveyedCheckBuoyIsTheFlaggedPoint)
{
    const Scene scene;
    auto pts = scene.points(8);
    pts[6].survey.rx() += 0.5;   // C3 typed half a metre out
    const GridFit fit = fitGrid(pts, false, scene.lens);
    ASSERT_TRUE(fit.ok);
    for (int i = 0; i < fit.points.size(); ++i)
        EXPECT_EQ(fit.points[i].flagged, i == 6) << fit.points[i].name.toStdString();
    EXPECT_GT(*fit.points[6].leaveOneOut, 0.4);

    // Among clicks half a pixel out and a centimetre of survey noise: the bad point is still
    // the one flagged, and a grid without one has none flagged.
    std::mt19937 rng(11);
    std::normal_distribution<double> click(0, 7.5), survey(0, 0.01);
    int found = 0, falseFlags = 0;
    for (int k = 0; k < 40; ++k) {
        auto noisy = scene.points(10);
        for (SurveyedPoint& p : noisy) {
            p.screen += QPointF(click(rng), click(rng));
            p.survey += QPointF(survey(rng), survey(rng));
        }
        for (const PointAgreement& a : fitGrid(noisy, false, scene.lens).points)
            falseFlags += a.flagged;
        noisy[6].survey.rx() += 0.5;
        const GridFit bad = fitGrid(noisy, false, scene.lens);
        found += bad.points[6].flagged;
        for (int i = 0; i < bad.points.size(); ++i)
            falseFlags += i != 6 && bad.points[i].flagged;
    }
    EXPECT_EQ(found, 40);
    EXPECT_LE(falseFlags, 2);
}

TEST(GridFit, TwoSigmaHoldsTheTrueErrorInNinetyToNinetyNinePercent)
{
    const UncertaintySettings settings;   // half a pixel, a centimetre
    std::mt19937 rng(2026);
    std::normal_distribution<double> click(0, settings.clickPixels * 15), survey(0, settings.surveyMetres);
    for (int n : {4, 8, 12}) {
        const Scene scene;
        int inside = 0;
        const int cases = 200;
        for (int k = 0; k < cases; ++k) {
            auto pts = scene.points(n);
            for (SurveyedPoint& p : pts) {
                p.screen += QPointF(click(rng), click(rng));
                p.survey += QPointF(survey(rng), survey(rng));
            }
            const GridFit fit = fitGrid(pts, false, scene.lens, settings);
            ASSERT_TRUE(fit.ok);
            const QPointF clicked = scene.twipsOf(kImpact) + QPointF(click(rng), click(rng));
            const auto w = fit.mapping.surveyFromScreen(clicked);
            const double error = std::hypot(w->x(), w->y()) - 52.424421789;
            const auto sigma = distanceSigma(fit, kJump, clicked, settings.clickPixels);
            ASSERT_TRUE(sigma.has_value());
            EXPECT_GT(*sigma, 0.003);
            EXPECT_LT(*sigma, 0.15);
            inside += std::fabs(error) <= 2 * *sigma;
        }
        EXPECT_GE(inside, 180) << n << " points";
        EXPECT_LE(inside, 198) << n << " points";
    }
}

TEST(GridFit, TheUncertaintyReadsInWholeCentimetres)
{
    EXPECT_EQ(sigmaText(0.0304), QStringLiteral("+/- 3 cm"));
    EXPECT_EQ(sigmaText(0.002), QStringLiteral("+/- 1 cm"));
    EXPECT_TRUE(isCheckPointName(QStringLiteral("C12")));
    EXPECT_FALSE(isCheckPointName(QStringLiteral("ur")));
    EXPECT_FALSE(isCheckPointName(QStringLiteral("C 1")));
    EXPECT_FALSE(isCheckPointName(QString()));
}
