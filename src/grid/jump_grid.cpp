#include "grid/jump_grid.h"

namespace tarvex {

void GridState::storeGrid(int n)
{
    JumpGrid& r = grid_table[n];
    for (int b = 1; b <= kBuoyCount; ++b) {
        r.buoys[b].screen_x = buoy_screen_x[b];
        r.buoys[b].screen_y = buoy_screen_y[b];
        r.buoys[b].survey_x = buoy_survey_x[b];
        r.buoys[b].survey_y = buoy_survey_y[b];
    }
    r.c = mapping_coefficients;
    r.jump_x = jump_survey_x;
    r.jump_y = jump_survey_y;
    r.check_points = check_points;
    r.lens_wanted = lens_wanted;
    r.lens = lens;
}

void GridState::storeGrid(int n, double t1, double t2, double t3)
{
    storeGrid(n);
    JumpGrid& r = grid_table[n];
    r.t1 = t1;
    r.t2 = t2;
    r.t3 = t3;
}

void GridState::restoreGrid(int n)
{
    const JumpGrid& r = grid_table[n];
    for (int b = 1; b <= kBuoyCount; ++b) {
        buoy_screen_x[b] = r.buoys[b].screen_x;
        buoy_screen_y[b] = r.buoys[b].screen_y;
        buoy_survey_x[b] = r.buoys[b].survey_x;
        buoy_survey_y[b] = r.buoys[b].survey_y;
    }
    mapping_coefficients = r.c;
    jump_survey_x = r.jump_x;
    jump_survey_y = r.jump_y;
    check_points = r.check_points;
    lens_wanted = r.lens_wanted;
    lens = r.lens;
}

void GridState::switchToGrid(int n)
{
    current_grid = n;
    restoreGrid(n);
}

void GridState::recompute_all_grids_set_up()
{
    if (grids_in_use == 3 && grid_set_up[1] && grid_set_up[2] && grid_set_up[3])
        all_grids_set_up = true;
    if (grids_in_use == 2 && grid_set_up[1] && grid_set_up[2])
        all_grids_set_up = true;
    if (grids_in_use == 1 && grid_set_up[1])
        all_grids_set_up = true;
}

int GridState::surveyXDirection(double upperRightSurveyX, double upperLeftSurveyX)
{
    return upperRightSurveyX < upperLeftSurveyX ? 1 : -1;
}

void GridState::recompute_survey_x_direction()
{
    survey_x_direction = surveyXDirection(buoy_survey_x[buoy::UpperRight],
                                          buoy_survey_x[buoy::UpperLeft]);
}

void GridState::storeCompletedGrid(int n, const QString& filePath, const QString& description)
{
    grid_set_up[n] = true;
    current_grid = n;
    grid_file_path[n] = filePath;
    grid_description[n] = description;
    storeGrid(n, 10, 2, 5);
    recompute_all_grids_set_up();
    recompute_survey_x_direction();
}

} // namespace tarvex
