#pragma once
// Grids the grid tests share: a trapezoid as a camera on shore sees four buoys, and the
// working state filled from it.
#include "grid/jump_grid.h"

namespace tarvex::test {

struct BuoySample {
    int index;
    double u, v;   // twips
    double x, y;   // metres
};

// The far buoys appear closer together than the near ones, as in a real picture.
inline constexpr BuoySample kTrapezoid[] = {
    {buoy::UpperRight, 9000, 2000, 60, 20},
    {buoy::LowerRight, 10500, 7000, 30, 20},
    {buoy::UpperLeft, 3000, 2000, 60, -20},
    {buoy::LowerLeft, 1500, 7000, 30, -20},
};

inline void setBuoys(GridState& g, const BuoySample (&buoys)[4])
{
    for (const BuoySample& b : buoys) {
        g.buoy_screen_x[b.index] = b.u;
        g.buoy_screen_y[b.index] = b.v;
        g.buoy_survey_x[b.index] = b.x;
        g.buoy_survey_y[b.index] = b.y;
    }
}

} // namespace tarvex::test
