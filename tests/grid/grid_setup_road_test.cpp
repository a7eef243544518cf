// The grid setup screen as an operator meets it: numbers only, sub-pixel marks through the
// loupe, the grid check on the picture in hand, the keyboard nudge.
#include "grid/grid_setup_screen.h"

#include "support/station_fixture.h"
#include "common/text_forms.h"
#include "grid/grid_geometry.h"
#include "widgets/picture_canvas.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

using namespace tarvex;
using namespace tarvex::test;

namespace {

struct Buoy {
    const char* option;
    double px, py;   // true centre on the picture, pixels (sub-pixel)
    const char *surveyX, *surveyY;
    const char *sx, *sy;
};

// A 1280 x 720 camera picture: the far buoys closer together than the near ones.
const Buoy kScene[] = {
    {"upper_left_button", 301.44, 208.93, "ul_survey_x", "ul_survey_y", "70", "-22"},
    {"upper_right_button", 1010.37, 212.62, "ur_survey_x", "ur_survey_y", "70", "22"},
    {"lower_left_button", 95.18, 601.55, "ll_survey_x", "ll_survey_y", "35", "-22"},
    {"lower_right_button", 1195.81, 598.29, "lr_survey_x", "lr_survey_y", "35", "22"},
};
// The splash, and its distance from the jump point (-2.5, 0.4) with the 2.1 m allowance,
// solved independently of the station.
constexpr double kSplashPx = 640.27, kSplashPy = 371.66;
constexpr double kTrueDistance = 56.32450287;

struct GridSetupRoadTest : StationFixture {
    GridSetupScreen* screen = nullptr;

    void open()
    {
        makeStation();
        station->settings().ResultsFilePath = tmp.filePath("results.txt");
        station->settings().SetupFilesPath = tmp.filePath("grids");
        QDir().mkpath(tmp.filePath("grids"));
        station->grids().grids_in_use = 1;
        screen = station->screenAs<GridSetupScreen>("Grid_Setup");
        // Room for the whole picture at 1:1 beside the controls.
        screen->resize(1800, 1000);
        screen->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(screen));
    }
    PictureCanvas* canvas() { return screen->canvas(); }
    void type(const char* box, const QString& t) { child<QLineEdit>(screen, box)->setText(t); }
    QString text(const char* box) { return child<QLineEdit>(screen, box)->text(); }
    void choose(const char* option) { child<QRadioButton>(screen, option)->setChecked(true); }

    // The rendered picture: grey water with a dark dot on each buoy and on the splash.
    static QImage scenePicture()
    {
        QImage img(1280, 720, QImage::Format_RGB32);
        img.fill(QColor(70, 110, 140));
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(240, 120, 20));
        // Image coordinates: the centre of pixel i is at i + 0.5.
        for (const Buoy& b : kScene)
            p.drawEllipse(QPointF(b.px + 0.5, b.py + 0.5), 3, 3);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(kSplashPx + 0.5, kSplashPy + 0.5), 5, 5);
        return img;
    }

    // What an operator does with the loupe: bring the mouse near the point, then press
    // inside the loupe on the point's centre as the loupe shows it.
    void markThroughLoupe(double px, double py)
    {
        const QPointF near = canvas()->surfacePosOf(std::round(px) * 15, std::round(py) * 15);
        send(canvas()->surface(), QEvent::MouseMove, near.toPoint(), Qt::NoButton);
        ASSERT_TRUE(canvas()->loupe()->isVisible());
        const QPointF shown = canvas()->loupePosOf(QPointF(px * 15, py * 15));
        const QPoint at(int(std::floor(shown.x())), int(std::floor(shown.y())));
        send(canvas()->loupe(), QEvent::MouseMove, at, Qt::NoButton);
        send(canvas()->loupe(), QEvent::MouseButtonPress, at, Qt::LeftButton);
        send(canvas()->loupe(), QEvent::MouseButtonRelease, at, Qt::LeftButton);
    }
    // Straight to the widget: the platform's synthesised enter and leave play no part.
    static void send(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button)
    {
        QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button,
                      type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::MouseButtons(Qt::NoButton),
                      Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }

    void enterSurvey()
    {
        for (const Buoy& b : kScene) {
            type(b.surveyX, b.sx);
            type(b.surveyY, b.sy);
        }
        type("jump_x", "-2.5");
        type("jump_y", "0.4");
    }
};

} // namespace

TEST_F(GridSetupRoadTest, BuoysAndSplashMarkedThroughTheLoupeMeasureWithinOneCentimetre)
{
    open();
    canvas()->setPicture(scenePicture());
    canvas()->setZoom(1);   // the loupe, not the zoom, gives the fraction of a pixel
    for (const Buoy& b : kScene) {
        choose(b.option);
        markThroughLoupe(b.px, b.py);
    }
    EXPECT_NEAR(leadingNumber(text("upper_right_x")), 15155.55, 15 / 16.0);
    EXPECT_NEAR(leadingNumber(text("lower_left_y")), 9023.25, 15 / 16.0);
    enterSurvey();
    child<QPushButton>(screen, "Load")->click();
    ASSERT_TRUE(station->grids().grid_set_up[1]) << prompter->messages().join("; ").toStdString();

    // The splash, read through the loupe as well (a press here would move the chosen
    // buoy); the grid maps it as Record would.
    canvas()->aimLoupe(QPointF(std::round(kSplashPx) * 15, std::round(kSplashPy) * 15));
    const QPointF shown = canvas()->loupePosOf(QPointF(kSplashPx * 15, kSplashPy * 15));
    const QPointF splash = canvas()->loupeTwipsAt(QPointF(std::floor(shown.x()), std::floor(shown.y())));
    GridState& g = station->grids();
    g.query_screen_x = splash.x();
    g.query_screen_y = splash.y();
    ASSERT_TRUE(screen->distance_calculation());
    EXPECT_NEAR(g.jump_distance, kTrueDistance, 0.01);

    // The live figure: how much one pixel is worth there on the water, and the distance's
    // uncertainty for a click there: through the loupe (the last move came from it) a
    // fifth of a pixel, on the picture itself half a pixel.
    screen->pictureMouseMove(kSplashPx * 15, kSplashPy * 15);
    EXPECT_EQ(canvas()->infoText(), "One picture pixel here: 9.3 cm on the water  +/- 3 cm");
    send(canvas()->surface(), QEvent::MouseMove, canvas()->surfacePosOf(kSplashPx * 15, kSplashPy * 15).toPoint(),
         Qt::NoButton);
    EXPECT_EQ(canvas()->infoText(), "One picture pixel here: 9.2 cm on the water  +/- 5 cm");

    // The grid check measures on this picture's 1280 pixels, and the accuracy report
    // writes the same ratios.
    prompter->clear();
    screen->grid_check();
    EXPECT_EQ(prompter->messages(), QStringList("Front ratio is  86%  Back Ratio is  55%"));
    choose("optAdvancedAccuracy");
    child<QPushButton>(screen, "btnAccuracyCheck")->click();
    const QString report = QString::fromLatin1(readAll(station->programFile("acc1206.txt")));
    EXPECT_TRUE(report.contains("Front Ratio:  86\r\nBack Ratio:  55\r\n")) << report.left(400).toStdString();
}

TEST_F(GridSetupRoadTest, TextThatIsNoNumberRefusesCompleteAndSaveAndWritesNothing)
{
    open();
    for (const Buoy& b : kScene) {
        choose(b.option);
        QTest::mouseClick(canvas()->surface(), Qt::LeftButton, Qt::NoModifier, QPoint(int(b.px / 2), int(b.py / 2)));
    }
    enterSurvey();
    type("ur_survey_x", "abc");
    prompter->clear();
    child<QPushButton>(screen, "Load")->click();
    EXPECT_EQ(prompter->messages(), QStringList("The upper right survey x box must hold a number"));
    EXPECT_EQ(prompter->shown().first().title, "Error Message");
    EXPECT_FALSE(station->grids().grid_set_up[1]);
    EXPECT_FALSE(QFile::exists(tmp.filePath("results.txt")));

    prompter->clear();
    child<QAction>(screen, "gridSave")->trigger();
    EXPECT_EQ(prompter->messages(), QStringList("The upper right survey x box must hold a number"));
    EXPECT_EQ(prompter->shown().size(), 1);   // no file dialog, no description asked
    EXPECT_TRUE(QDir(tmp.filePath("grids")).isEmpty());

    // Blanks around a number are fine; a number with a tail is not.
    type("ur_survey_x", " 70 ");
    type("jump_y", "0.4m");
    prompter->clear();
    child<QPushButton>(screen, "Load")->click();
    EXPECT_EQ(prompter->messages(), QStringList("The jump y box must hold a number"));
    type("jump_y", "0.4");
    prompter->clear();
    child<QPushButton>(screen, "Load")->click();
    EXPECT_TRUE(prompter->messages().isEmpty()) << prompter->messages().join("; ").toStdString();
    EXPECT_TRUE(station->grids().grid_set_up[1]);

    // Three buoys on one survey line give no mapping.
    type("ll_survey_x", "70");
    type("ll_survey_y", "0");
    prompter->clear();
    child<QPushButton>(screen, "Load")->click();
    EXPECT_EQ(prompter->messages(), QStringList("No Unique Solution - Re-enter data"));
    EXPECT_FALSE(station->grids().grid_set_up[1]);
}

TEST_F(GridSetupRoadTest, ArrowKeysNudgeTheChosenBuoyAndDigitsChooseIt)
{
    open();
    for (const Buoy& b : kScene) {
        choose(b.option);
        QTest::mouseClick(canvas()->surface(), Qt::LeftButton, Qt::NoModifier, QPoint(int(b.px / 2), int(b.py / 2)));
    }
    EXPECT_EQ(text("lower_left_x"), " 705");
    EXPECT_EQ(text("lower_left_y"), " 4500");

    auto* lowerLeft = child<QRadioButton>(screen, "lower_left_button");
    auto* upperLeft = child<QRadioButton>(screen, "upper_left_button");
    upperLeft->setFocus();
    QTest::keyClick(upperLeft, Qt::Key_3);
    EXPECT_TRUE(lowerLeft->isChecked());

    // With the buoy choice focused, the arrows move the buoy, not the choice.
    lowerLeft->setFocus();
    QTest::keyClick(lowerLeft, Qt::Key_Up);
    QTest::keyClick(lowerLeft, Qt::Key_Up);
    QTest::keyClick(lowerLeft, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_TRUE(lowerLeft->isChecked());
    EXPECT_EQ(text("lower_left_y"), " 4470");
    EXPECT_EQ(text("lower_left_x"), " 855");
    EXPECT_DOUBLE_EQ(station->grids().buoy_screen_x[buoy::LowerLeft], 855);

    // And likewise on the picture.
    QTest::keyClick(canvas()->surface(), Qt::Key_Left);
    EXPECT_EQ(text("lower_left_x"), " 840");
    EXPECT_EQ(text("upper_left_x"), " 2250");   // the others stay
}

TEST_F(GridSetupRoadTest, LeavingIncompleteDefaultsToNo)
{
    open();
    prompter->no();
    child<QAction>(screen, "gridExit")->trigger();
    ASSERT_EQ(prompter->shown().size(), 1);
    EXPECT_EQ(prompter->shown()[0].text, "Do you want to leave the grid setup with the grid setup not complete?");
    EXPECT_TRUE(prompter->shown()[0].defaultNo);
    EXPECT_TRUE(screen->isVisible());
}
