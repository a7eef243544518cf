#pragma once
// The survey grid of each camera (JumpGrid), the table of the three grids and the shared
// working state of the current grid. Screens read and write GridState directly, so its
// fields carry the names the screens and files use.
#include <QList>
#include <QPointF>
#include <QString>
#include <QtGlobal>
#include <array>
#include <cstddef>

namespace tarvex {

// An array indexed by the numbers the station uses everywhere: buoy index 1..4, coefficient
// c1..c8, grid number 1..3. Index 0 does not exist; element k is number k.
// Numbering from 1 keeps handlers in step with the files and tables ("buoy_survey_x(3)",
// "grid_set_up(n)"), which all number from 1.
template <typename T, int N>
struct OneBasedArray {
    std::array<T, N> items{};

    T& operator[](int index)
    {
        Q_ASSERT_X(index >= 1 && index <= N, "OneBasedArray", "index is 1-based");
        return items[std::size_t(index - 1)];
    }
    const T& operator[](int index) const
    {
        Q_ASSERT_X(index >= 1 && index <= N, "OneBasedArray", "index is 1-based");
        return items[std::size_t(index - 1)];
    }
    static constexpr int first() { return 1; }
    static constexpr int last() { return N; }
    static constexpr bool contains(int index) { return index >= 1 && index <= N; }

    auto begin() { return items.begin(); }
    auto end() { return items.end(); }
    auto begin() const { return items.begin(); }
    auto end() const { return items.end(); }

    bool operator==(const OneBasedArray&) const = default;
};

// Buoy indices, fixed for every array, file and table of the system.
namespace buoy {
constexpr int UpperRight = 1;
constexpr int LowerRight = 2;
constexpr int UpperLeft = 3;
constexpr int LowerLeft = 4;
} // namespace buoy

constexpr int kBuoyCount = 4;
constexpr int kGridCount = 3;
constexpr int kCoefficientCount = 8;

struct BuoyData {
    double screen_x = 0;   // twips of the setup picture
    double screen_y = 0;
    double survey_x = 0;   // metres
    double survey_y = 0;

    bool operator==(const BuoyData&) const = default;
};

// A surveyed point besides the four corner buoys: a check buoy laid in the landing area,
// placed on the picture like a buoy. It joins the fit and shows how well the grid agrees.
struct CheckPoint {
    QString name;
    double screen_x = 0;   // twips of the setup picture
    double screen_y = 0;
    double survey_x = 0;   // metres
    double survey_y = 0;

    bool operator==(const CheckPoint&) const = default;
};
constexpr int kMaxCheckPoints = 8;

// One radial distortion coefficient about the picture centre: an ideal (pinhole) point p
// appears at c + (p - c) * (1 + k1 * r^2), r = |p - c| / radius. The radius is half the
// picture's diagonal, so k1 does not depend on the picture size; k1 < 0 is barrel.
// Everything in twips of the setup picture.
struct LensCorrection {
    double k1 = 0;
    double centre_x = 0;
    double centre_y = 0;
    double radius = 0;

    bool active() const { return k1 != 0 && radius > 0; }
    // Where an ideal point appears on the picture.
    QPointF distort(QPointF ideal) const;
    // The ideal point of a clicked one; the click itself when the lens is off or the point
    // lies beyond the fold of the distortion, where no ideal point maps to it.
    QPointF undistort(QPointF clicked) const;
    // The centre and radius for a picture of that many pixels, with k1 = 0.
    static LensCorrection forPicture(int widthPixels, int heightPixels);

    bool operator==(const LensCorrection&) const = default;
};

// One grid, fields in the order of the grid parameter file.
struct JumpGrid {
    OneBasedArray<BuoyData, kBuoyCount> buoys;     // buoy index 1..4
    OneBasedArray<double, kCoefficientCount> c;    // c1..c8
    double jump_x = 0;                         // jump point survey X, Y (metres)
    double jump_y = 0;
    double t1 = 0;                             // carried, never interpreted
    double t2 = 0;
    double t3 = 0;

    // Kept in the grid file's side file: the check points, whether the operator wants the
    // lens corrected, and the correction the fit chose (k1 = 0 when it did not help).
    QList<CheckPoint> check_points;
    bool lens_wanted = false;
    LensCorrection lens;

    bool operator==(const JumpGrid&) const = default;
};

// Whole working state of the grids, program-wide, created zeroed and kept for the run.
// All arrays are OneBasedArray: indexed from 1 as the files and tables number them.
struct GridState {
    int current_grid = 1;                      // 1..3
    int grids_in_use = 1;                      // setting "grids", 1..3
    OneBasedArray<bool, kGridCount> grid_set_up;   // grid_set_up[n], n = 1..3
    bool all_grids_set_up = false;

    OneBasedArray<double, kBuoyCount> buoy_screen_x;   // twips, buoy index 1..4
    OneBasedArray<double, kBuoyCount> buoy_screen_y;
    OneBasedArray<double, kBuoyCount> buoy_survey_x;   // metres
    OneBasedArray<double, kBuoyCount> buoy_survey_y;
    double jump_survey_x = 0;
    double jump_survey_y = 0;
    OneBasedArray<double, kCoefficientCount> mapping_coefficients;   // c1..c8
    // The working twins of JumpGrid's side-file fields; the mapping undistorts a click first.
    QList<CheckPoint> check_points;
    bool lens_wanted = false;
    LensCorrection lens;

    // In and out values of the named mapping operations (survey_from_screen,
    // distance_calculation, ...). They outlive the call on purpose: a pass or a fall records
    // the point and distance of the last computation from here. For a number alone, ask
    // PlaneMapping instead.
    double query_screen_x = 0;
    double query_screen_y = 0;
    double mapped_survey_x = 0;
    double mapped_survey_y = 0;
    double mapping_denominator = 0;
    double jump_distance = 0;

    // The direction rule applied to the zeroed state (0 < 0 is false) gives -1.
    int survey_x_direction = -1;

    // Last results of grid_check, read by the accuracy report.
    double front_ratio = 0;
    double back_ratio = 0;

    OneBasedArray<JumpGrid, kGridCount> grid_table;   // grid_table[n], n = 1..3
    // Per grid: the grid parameter file it came from or was saved to (empty: none; the
    // screen shows "No File" for it) and its description line.
    OneBasedArray<QString, kGridCount> grid_file_path;
    OneBasedArray<QString, kGridCount> grid_description;

    static bool isGridNumber(int n) { return n >= 1 && n <= kGridCount; }

    // Copies the working arrays, the coefficients and the jump point into grid_table[n];
    // t1..t3, the path and the description of the record are left as they are.
    void storeGrid(int n);
    // The same, then t1..t3 of the record.
    void storeGrid(int n, double t1, double t2, double t3);
    // Copies grid_table[n] into the working arrays, coefficients and jump point. Neither
    // current_grid nor any flag changes.
    void restoreGrid(int n);
    // current_grid = n and the working state restored from its record: how the measuring
    // screen, the grid selector and leaving the setup screen switch grids.
    void switchToGrid(int n);

    // The three rules in order (3 grids, 2 grids, 1 grid); each can only set the flag, never clear it.
    void recompute_all_grids_set_up();
    // +1 when the upper-right buoy's survey X is below the upper-left buoy's, else -1.
    static int surveyXDirection(double upperRightSurveyX, double upperLeftSurveyX);
    void recompute_survey_x_direction();

    // A successful Complete for grid n (steps 1 to 5): the
    // grid becomes current and set up, the record takes the working state with t1..t3 =
    // 10, 2, 5, path and description are stored, both derived values recomputed.
    void storeCompletedGrid(int n, const QString& filePath, const QString& description);
};

} // namespace tarvex
