// The measuring screen recomputes the distance on every mouse move and the accuracy check
// runs the mapping over its whole lattice: both must stay far below a frame's time.
// Target: distance_calculation well under 1 microsecond; a grid file parse under 100 us.
#include "grid/grid_file.h"
#include "grid/grid_fit.h"
#include "grid/grid_geometry.h"
#include "grid/jump_grid.h"

#include <benchmark/benchmark.h>

using namespace tarvex;

namespace {

GridState solvedGrid()
{
    GridState g;
    const double sx[5] = {0, 9000, 11000, 3000, 1000};
    const double sy[5] = {0, 2000, 8000, 2100, 7900};
    const double vx[5] = {0, 40, 40, 70, 70};
    const double vy[5] = {0, 10, -10, 10, -10};
    for (int i = 1; i <= 4; ++i) {
        g.buoy_screen_x[i] = sx[i];
        g.buoy_screen_y[i] = sy[i];
        g.buoy_survey_x[i] = vx[i];
        g.buoy_survey_y[i] = vy[i];
    }
    g.jump_survey_x = 0;
    solve_coefficients(g);
    return g;
}

void BM_DistanceCalculation(benchmark::State& state)
{
    GridState g = solvedGrid();
    double u = 4000;
    for (auto _ : state) {
        g.query_screen_x = u;
        g.query_screen_y = 5000;
        benchmark::DoNotOptimize(distance_calculation(g, TournamentType::Standard));
        benchmark::DoNotOptimize(g.jump_distance);
        u = u > 9000 ? 4000 : u + 15;
    }
}
BENCHMARK(BM_DistanceCalculation);

void BM_SolveCoefficients(benchmark::State& state)
{
    GridState g = solvedGrid();
    for (auto _ : state)
        benchmark::DoNotOptimize(solve_coefficients(g));
}
BENCHMARK(BM_SolveCoefficients);

void BM_ParseGridFile(benchmark::State& state)
{
    GridState g = solvedGrid();
    g.storeGrid(1, 10, 2, 1);
    const QByteArray bytes = gridFileBytes("/grids/north.ipt", "North camera", g.grid_table[1], 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(parseGridFile(bytes));
}
BENCHMARK(BM_ParseGridFile);

} // namespace


// Fitting a grid from twelve points with the lens: on Complete and on every load, so it must
// stay under 50 ms, leave-one-out fits and flags included.
// The uncertainty of one point runs on every mouse move: under 0.1 ms.

namespace {

QList<SurveyedPoint> twelvePoints(LensCorrection& lens)
{
    GridState g = solvedGrid();
    lens = LensCorrection::forPicture(800, 600);
    lens.k1 = -0.08;
    const PlaneMapping toTwips = PlaneMapping::fromGrid(g);
    QList<SurveyedPoint> pts;
    const QPointF survey[] = {{40, 10}, {40, -10}, {70, 10}, {70, -10}, {45, 0},  {50, 5},
                              {55, -5}, {60, 0},   {65, 5},  {48, -7},  {58, 8}, {67, -3}};
    for (int i = 0; i < 12; ++i) {
        const QPointF t = lens.distort(*toTwips.screenFromSurvey(survey[i]));
        pts << SurveyedPoint{i < 4 ? cornerName(i + 1) : QStringLiteral("C%1").arg(i - 3), t, survey[i]};
    }
    return pts;
}

void BM_FitTwelvePointsWithLens(benchmark::State& state)
{
    LensCorrection lens;
    const QList<SurveyedPoint> pts = twelvePoints(lens);
    for (auto _ : state) {
        const GridFit fit = fitGrid(pts, true, lens);
        benchmark::DoNotOptimize(fit.rms);
    }
}
BENCHMARK(BM_FitTwelvePointsWithLens)->Unit(benchmark::kMillisecond);

void BM_DistanceSigmaPerPoint(benchmark::State& state)
{
    LensCorrection lens;
    const GridFit fit = fitGrid(twelvePoints(lens), true, lens);
    double u = 4000;
    for (auto _ : state) {
        benchmark::DoNotOptimize(distanceSigma(fit, QPointF(0, 0), QPointF(u, 5000), 0.5));
        u = u < 9000 ? u + 1 : 4000;
    }
}
BENCHMARK(BM_DistanceSigmaPerPoint)->Unit(benchmark::kMicrosecond);

void BM_DistanceSigmaFourPoints(benchmark::State& state)
{
    const GridState g = solvedGrid();
    double u = 4000;
    for (auto _ : state) {
        const GridFit& fit = workingGridFit(g);
        benchmark::DoNotOptimize(distanceSigma(fit, QPointF(0, 0), QPointF(u, 5000), 0.5));
        u = u < 9000 ? u + 1 : 4000;
    }
}
BENCHMARK(BM_DistanceSigmaFourPoints)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
