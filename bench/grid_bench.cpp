// The measuring screen recomputes the distance on every mouse move and the accuracy check
// runs the mapping over its whole lattice: both must stay far below a frame's time.
// Target: distance_calculation well under 1 microsecond; a grid file parse under 100 us.
#include "grid/grid_file.h"
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

BENCHMARK_MAIN();
