#include "grid/calibrate_screen.h"

#include "support/station_fixture.h"
#include "common/text_forms.h"
#include "grid/grid_geometry.h"
#include "grid/grid_setup_screen.h"
#include "support/grid_test_support.h"
#include "widgets/picture_canvas.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>

using namespace tarvex;
using namespace tarvex::test;
using tarvex::test::BuoySample;
using tarvex::test::kTrapezoid;

namespace {

// Survey metres are screen twips / 1000: every conversion is known without the mapping.
constexpr BuoySample kScaleGrid[] = {
    {buoy::UpperRight, 9000, 1000, 9, 1},
    {buoy::LowerRight, 9000, 7000, 9, 7},
    {buoy::UpperLeft, 1000, 1000, 1, 1},
    {buoy::LowerLeft, 1000, 7000, 1, 7},
};

// Stands in for the measuring screen: a picture that draws the lines the station asks for.
class FakeMeasure : public Screen {
public:
    explicit FakeMeasure(Station& s) : Screen(s), canvas(new PictureCanvas(this))
    {
        connect(&s, &Station::pictureLineRequested, this,
                [this](const QLineF& line, const QColor& colour, int width) { canvas->stroke(line, colour, width); });
    }
    PictureCanvas* canvas;
};

struct CalibrateTest : StationFixture {
    CalibrateScreen* calib = nullptr;

    void SetUp() override
    {
        StationFixture::SetUp();
        makeStation();
    }
    CalibrateScreen* open()
    {
        calib = station->screenAs<CalibrateScreen>("Calibrate");
        return calib;
    }
    GridSetupScreen* openSetup() { return station->screenAs<GridSetupScreen>("Grid_Setup"); }
    PictureCanvas* openMeasure()
    {
        station->registerScreen("Measure", [](Station& s) { return new FakeMeasure(s); });
        return static_cast<FakeMeasure*>(station->screen("Measure"))->canvas;
    }
    GridState& g() { return station->grids(); }
    void useGrid(const BuoySample (&buoys)[4])
    {
        tarvex::test::setBuoys(g(), buoys);
        ASSERT_TRUE(solve_coefficients(g()));
    }
    // c2 = c8 = 1, c5 = -1/1024: screen row v = 1024 and survey Y = -1024 are the horizon.
    void useHorizonGrid()
    {
        g().mapping_coefficients = {};
        g().mapping_coefficients[2] = 1;
        g().mapping_coefficients[8] = 1;
        g().mapping_coefficients[5] = -1.0 / 1024;
    }

    QString text(const char* box) { return child<QLineEdit>(calib, box)->text(); }
    void type(const char* box, const QString& t) { child<QLineEdit>(calib, box)->setText(t); }
    void press(const char* button) { child<QPushButton>(calib, button)->click(); }
    QString units() { return child<QPushButton>(calib, "CalibrationLineUnitsSelect")->text(); }
    void selectScreen()
    {
        if (units() != "Screen")
            press("CalibrationLineUnitsSelect");
    }
    // The four boxes of one column, "Actual" or "Twips": X and Y of the first point, then the second.
    void typeInto(const char* column, const QStringList& texts)
    {
        for (int i = 0; i < 4; ++i)
            type(boxName(column, i).constData(), texts[i]);
    }
    QStringList boxes(const char* column)
    {
        QStringList out;
        for (int i = 0; i < 4; ++i)
            out << text(boxName(column, i).constData());
        return out;
    }
    static QByteArray boxName(const char* column, int i)
    {
        return QByteArray("CalibrationLine") + (i % 2 ? "Y" : "X") + column + (i < 2 ? "" : "2");
    }
    void drawScreenLine(const QString& x1, const QString& y1, const QString& x2, const QString& y2)
    {
        selectScreen();
        typeInto("Twips", {x1, y1, x2, y2});
        press("CalibrateLineDrawCommand");
    }

    // A white drawing-layer pixel within one pixel of a twips position (where an aliased
    // one-pixel line lands depends on the rasteriser's half-pixel rule).
    static bool whiteNear(const PictureCanvas* c, double x, double y)
    {
        const QImage& img = c->drawing();
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const QPoint p(int(x / 15) + dx, int(y / 15) + dy);
                if (img.valid(p) && img.pixel(p) == qRgba(255, 255, 255, 255))
                    return true;
            }
        return false;
    }
};

} // namespace

// ---------------------------------------------------------------- the screen

TEST_F(CalibrateTest, ScreenShowsItsCaptionsWithActualSelected)
{
    open();
    EXPECT_EQ(calib->windowTitle(), "Calibration Assistant");
    EXPECT_EQ(units(), "Actual");
    EXPECT_EQ(child<QPushButton>(calib, "CalibrateLineDrawCommand")->text(), "Draw");
    EXPECT_EQ(child<QPushButton>(calib, "CalibrationLineErase")->text(), "Erase");
    EXPECT_EQ(child<QPushButton>(calib, "formexit")->text(), "E&xit");
    EXPECT_EQ(child<QLabel>(calib, "CalibrationLineScreenLabel")->text(), "Screen");
    EXPECT_EQ(child<QLabel>(calib, "CalibrationLineActualLabel")->text(), "Actual");
    int fromLabels = 0;
    for (QLabel* l : calib->findChildren<QLabel*>())
        fromLabels += l->text() == "from";
    EXPECT_EQ(fromLabels, 2);
    EXPECT_EQ(calib->lastLine(), QLineF(0, 0, 0, 0));
}

TEST_F(CalibrateTest, UnitsButtonTogglesAndAnyOtherCaptionReturnsToActual)
{
    open();
    press("CalibrationLineUnitsSelect");
    EXPECT_EQ(units(), "Screen");
    press("CalibrationLineUnitsSelect");
    EXPECT_EQ(units(), "Actual");
    child<QPushButton>(calib, "CalibrationLineUnitsSelect")->setText("screen");
    press("CalibrationLineUnitsSelect");
    EXPECT_EQ(units(), "Actual");
}

TEST_F(CalibrateTest, GridSetupMenuOpensTheAssistantAndExitOrCloseHidesItKeepingTheLine)
{
    GridSetupScreen* setup = openSetup();
    child<QAction>(setup, "mnuCalibrate")->trigger();
    calib = qobject_cast<CalibrateScreen*>(station->existingScreen("Calibrate"));
    ASSERT_NE(calib, nullptr);
    EXPECT_TRUE(calib->isVisible());

    useGrid(kScaleGrid);
    drawScreenLine("1500", "3000", "9000", "3000");
    press("formexit");
    EXPECT_FALSE(calib->isVisible());
    EXPECT_TRUE(whiteNear(setup->canvas(), 4500, 3000));

    // The frame's close button does the same, rather than going back to the hub.
    calib->show();
    calib->close();
    EXPECT_FALSE(calib->isVisible());
    EXPECT_FALSE(station->hasScreen("MainForm"));
    EXPECT_TRUE(prompter->shown().isEmpty());
}

// ---------------------------------------------------------------- conversions

TEST_F(CalibrateTest, ActualFillsTheScreenBoxesWithTheBuoysScreenPositions)
{
    open();
    useGrid(kTrapezoid);
    typeInto("Actual", {"60", "20", "60", "-20"});   // upper right, upper left
    press("CalibrateLineDrawCommand");
    EXPECT_EQ(boxes("Twips"), QStringList({" 9000", " 2000", " 3000", " 2000"}));
    EXPECT_EQ(boxes("Actual"), QStringList({"60", "20", "60", "-20"}));   // typed boxes stay as typed
    EXPECT_EQ(calib->lastLine(), QLineF(9000, 2000, 3000, 2000));
    EXPECT_TRUE(prompter->shown().isEmpty());
}

TEST_F(CalibrateTest, ActualRoundsTwipsHalfUpWithALeadingBlank)
{
    open();
    useGrid(kScaleGrid);
    typeInto("Actual", {"-.0012", ".0016", "-.0004", "2.5"});   // -1.2, 1.6, -0.4 and 2500 twips
    press("CalibrateLineDrawCommand");
    EXPECT_EQ(boxes("Twips"), QStringList({"-1", " 2", " 0", " 2500"}));
}

TEST_F(CalibrateTest, ScreenGivesBackTheSurveyValuesToTwoDecimals)
{
    open();
    useGrid(kTrapezoid);
    selectScreen();
    typeInto("Twips", {"10500", "7000", "1500", "7000"});   // lower right, lower left
    press("CalibrateLineDrawCommand");
    EXPECT_EQ(boxes("Actual"), QStringList({" 30", " 20", " 30", "-20"}));
    EXPECT_EQ(calib->lastLine(), QLineF(10500, 7000, 1500, 7000));

    useGrid(kScaleGrid);
    typeInto("Twips", {"-1234", "5678", "-4", "4"});
    press("CalibrateLineDrawCommand");
    // Whole part of value * 100 + 0.5: -1.234 gives -1.23, and -0.004 no "-0".
    EXPECT_EQ(boxes("Actual"), QStringList({"-1.23", " 5.68", " 0", " 0"}));

    // The line runs between the typed twips, read by their leading number, fractions kept.
    drawScreenLine("1500.5", " 3000", "9000", "3000.25 twips");
    EXPECT_EQ(calib->lastLine(), QLineF(1500.5, 3000, 9000, 3000.25));
    EXPECT_TRUE(prompter->shown().isEmpty());
}

// ---------------------------------------------------------------- drawing

TEST_F(CalibrateTest, LineAppearsOnTheSetupPictureAndTheNextDrawErasesIt)
{
    PictureCanvas* canvas = openSetup()->canvas();
    open();
    useGrid(kScaleGrid);
    canvas->setDrawWidth(2);

    drawScreenLine("1500", "3000", "9000", "3000");
    EXPECT_TRUE(whiteNear(canvas, 4500, 3000));
    EXPECT_EQ(canvas->drawWidth(), 2);   // the screen's own width is left alone

    drawScreenLine("1500", "6000", "9000", "6000");
    EXPECT_FALSE(whiteNear(canvas, 4500, 3000));
    EXPECT_TRUE(whiteNear(canvas, 4500, 6000));
    EXPECT_FALSE(station->hasScreen("Measure"));   // never created just to draw on
}

TEST_F(CalibrateTest, LineIsDrawnAndErasedOnTheMeasurePictureToo)
{
    PictureCanvas* setup = openSetup()->canvas();
    PictureCanvas* measure = openMeasure();
    open();
    useGrid(kScaleGrid);

    drawScreenLine("1500", "3000", "9000", "3000");
    EXPECT_TRUE(whiteNear(measure, 4500, 3000));
    EXPECT_TRUE(whiteNear(setup, 4500, 3000));

    press("CalibrationLineErase");
    EXPECT_FALSE(whiteNear(measure, 4500, 3000));
    EXPECT_FALSE(whiteNear(setup, 4500, 3000));
    EXPECT_EQ(calib->lastLine(), QLineF(1500, 3000, 9000, 3000));   // endpoints are kept

    // A second Erase after a redraw of the same points still finds the line.
    press("CalibrateLineDrawCommand");
    EXPECT_TRUE(whiteNear(measure, 4500, 3000));
    press("CalibrationLineErase");
    EXPECT_FALSE(whiteNear(measure, 4500, 3000));
}

TEST_F(CalibrateTest, WithoutPictureScreensDrawCreatesNone)
{
    open();
    useGrid(kScaleGrid);
    drawScreenLine("1500", "3000", "9000", "3000");
    EXPECT_FALSE(station->hasScreen("Grid_Setup"));
    EXPECT_FALSE(station->hasScreen("Measure"));
    EXPECT_EQ(calib->lastLine(), QLineF(1500, 3000, 9000, 3000));
}

TEST_F(CalibrateTest, EraseBeforeAnyDrawTouchesOnlyTheOrigin)
{
    PictureCanvas* canvas = openSetup()->canvas();
    open();
    // Something white over the top left corner of the picture, origin included.
    canvas->setDrawWidth(40);
    canvas->line(0, 300, 900, 300, Qt::white);
    canvas->setDrawWidth(3);
    const QImage before = canvas->drawing().copy();

    press("CalibrationLineErase");
    const QImage& after = canvas->drawing();
    EXPECT_EQ(qAlpha(after.pixel(0, 0)), 0);
    for (int y = 0; y < after.height(); ++y) {
        for (int x = 0; x < after.width(); ++x) {
            if (x > 1 || y > 1) {
                ASSERT_EQ(after.pixel(x, y), before.pixel(x, y)) << "pixel " << x << "," << y;
            }
        }
    }
    EXPECT_EQ(canvas->drawWidth(), 3);
    EXPECT_TRUE(prompter->shown().isEmpty());
}

TEST_F(CalibrateTest, PointsFarOffThePictureDrawTheVisibleStretchOnly)
{
    PictureCanvas* canvas = openSetup()->canvas();
    open();
    useGrid(kScaleGrid);
    drawScreenLine("-5E+12", "3000", "6000", "3000");
    EXPECT_TRUE(prompter->shown().isEmpty());
    EXPECT_TRUE(whiteNear(canvas, 3000, 3000));
    EXPECT_NEAR(leadingNumber(text("CalibrationLineXActual")), -5e9, 1e3);

    drawScreenLine("1500", "6000", "9000", "6000");
    EXPECT_FALSE(whiteNear(canvas, 3000, 3000));
    EXPECT_FALSE(whiteNear(canvas, 15, 3000));
}

TEST(SegmentWithin, KeepsInsideSegmentsExactlyAndCutsTheRest)
{
    const QLineF inside(10.25, -20, 300, 400);
    EXPECT_EQ(segmentWithin(inside, 1000), inside);
    EXPECT_EQ(segmentWithin(QLineF(5, 5, 5, 5), 10), QLineF(5, 5, 5, 5));

    const auto cut = segmentWithin(QLineF(-3000, 0, 500, 0), 1000);
    ASSERT_TRUE(cut);
    EXPECT_EQ(*cut, QLineF(-1000, 0, 500, 0));

    const auto diagonal = segmentWithin(QLineF(-2000, -2000, 2000, 2000), 1000);
    ASSERT_TRUE(diagonal);
    EXPECT_DOUBLE_EQ(diagonal->x1(), -1000);
    EXPECT_DOUBLE_EQ(diagonal->y2(), 1000);

    EXPECT_FALSE(segmentWithin(QLineF(2000, 0, 3000, 0), 1000));    // wholly to the right
    EXPECT_FALSE(segmentWithin(QLineF(-2000, 0, 0, 2000), 500));    // passes the corner
    EXPECT_FALSE(segmentWithin(QLineF(0, 0, std::nan(""), 5), 1000));
    EXPECT_FALSE(segmentWithin(QLineF(0, 0, INFINITY, 5), 1000));
}

// ---------------------------------------------------------------- what cannot be drawn

TEST_F(CalibrateTest, WithoutAGridDrawExplainsAndShowsNoNumbers)
{
    PictureCanvas* canvas = openSetup()->canvas();
    open();
    const QImage before = canvas->drawing().copy();
    typeInto("Actual", {"60", "20", "60", "-20"});
    press("CalibrateLineDrawCommand");
    ASSERT_EQ(prompter->messages(), QStringList(
        "Grid 1 has no mapping yet. Complete or load the grid on the grid setup screen, then press Draw again."));
    EXPECT_EQ(prompter->shown().first().title, "Calibration Assistant");
    EXPECT_EQ(boxes("Twips"), QStringList({"", "", "", ""}));
    EXPECT_EQ(canvas->drawing(), before);
    EXPECT_EQ(calib->lastLine(), QLineF(0, 0, 0, 0));
}

TEST_F(CalibrateTest, SurveyPointOnTheHorizonGivesAMessageAndChangesNothing)
{
    PictureCanvas* canvas = openSetup()->canvas();
    open();
    useHorizonGrid();
    typeInto("Actual", {"10", "0", "12", "-1024"});   // the first maps, the second cannot
    press("CalibrateLineDrawCommand");
    ASSERT_EQ(prompter->messages(),
              QStringList("The second point (Actual 12, -1024) cannot be placed on the picture with Grid 1: "
                          "it lies on the horizon of the camera's view. Nothing was drawn."));
    EXPECT_EQ(boxes("Twips"), QStringList({"", "", "", ""}));
    EXPECT_FALSE(whiteNear(canvas, 150, 0));
    EXPECT_EQ(calib->lastLine(), QLineF(0, 0, 0, 0));
}

TEST_F(CalibrateTest, ScreenPointOnTheHorizonGivesAMessageAndKeepsTheLastLine)
{
    PictureCanvas* canvas = openSetup()->canvas();
    open();
    useGrid(kScaleGrid);
    drawScreenLine("1500", "3000", "9000", "3000");
    useHorizonGrid();
    typeInto("Twips", {"300", "1024", "600", "500"});
    press("CalibrateLineDrawCommand");
    ASSERT_EQ(prompter->messages(),
              QStringList("The first point (Screen 300, 1024) cannot be mapped to the water with Grid 1: "
                          "it lies on the horizon of the camera's view. Nothing was drawn."));
    EXPECT_EQ(boxes("Actual"), QStringList({" 1.5", " 3", " 9", " 3"}));   // from the first Draw
    EXPECT_TRUE(whiteNear(canvas, 4500, 3000));
    EXPECT_EQ(calib->lastLine(), QLineF(1500, 3000, 9000, 3000));
}

TEST_F(CalibrateTest, BoxesWithoutANumberAreNamedInTheMessage)
{
    open();
    useGrid(kScaleGrid);
    typeInto("Actual", {"60", "20", "sixty", "-20"});
    press("CalibrateLineDrawCommand");
    typeInto("Actual", {"60", "", "60", "-20"});
    press("CalibrateLineDrawCommand");
    selectScreen();
    typeInto("Twips", {"1500", "3000", "9000", "-"});
    press("CalibrateLineDrawCommand");
    EXPECT_EQ(prompter->messages(),
              QStringList({"The box Actual X of the second point holds \"sixty\", which is not a number. "
                           "Type a number and press Draw again.",
                           "The box Actual Y of the first point is empty. Type a number and press Draw again.",
                           "The box Screen Y of the second point holds \"-\", which is not a number. "
                           "Type a number and press Draw again."}));
    EXPECT_EQ(boxes("Actual"), QStringList({"60", "", "60", "-20"}));
    EXPECT_EQ(boxes("Twips"), QStringList({"1500", "3000", "9000", "-"}));
    EXPECT_EQ(calib->lastLine(), QLineF(0, 0, 0, 0));
}
