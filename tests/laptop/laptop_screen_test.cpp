// Every screen on the most common lake-side laptop screen, 1366x768 (ctest runs this program
// on an offscreen screen of that size).
#include "station/screen_names.h"
#include "support/controls_inside.h"
#include "support/station_fixture.h"

#include <QApplication>
#include <QScreen>

using namespace tarvex;
using namespace tarvex::test;

namespace {

struct LaptopScreens : StationFixture {
    void SetUp() override
    {
        StationFixture::SetUp();
        ASSERT_EQ(QGuiApplication::primaryScreen()->availableGeometry(), QRect(0, 0, 1366, 768))
            << "run through ctest, which gives this program a 1366x768 screen";
    }
};

} // namespace

TEST_F(LaptopScreens, EveryScreenOpensInsideTheScreenWithEveryControlReachable)
{
    makeStation();
    for (const QString& name : {screen::MainForm, screen::Config, screen::Grid_Setup, screen::Calibrate,
                                screen::Measure, screen::Results, screen::frmManual, screen::PreviewForm,
                                screen::frmSetStart}) {
        SCOPED_TRACE(name.toStdString());
        QWidget* w = station->show(name);
        ASSERT_NE(w, nullptr);
        QApplication::processEvents();
        EXPECT_TRUE(QRect(0, 0, 1366, 768).contains(w->frameGeometry()))
            << w->frameGeometry().x() << "," << w->frameGeometry().y() << " " << w->frameGeometry().width()
            << "x" << w->frameGeometry().height();
        EXPECT_EQ(controlsOutside(w).join("; ").toStdString(), "");
        w->hide();
    }
}

TEST_F(LaptopScreens, APlaceRememberedOnALargerScreenIsBroughtOntoThisOne)
{
    // As stored by a station on a 1920x1080 screen: the review screen at its full size, low
    // and right, and the results window wholly beyond this screen's right edge.
    storeSetting("place_frmSetStart", "600 250 1280 800 0");
    storeSetting("place_Results", "1500 900 300 200 0");
    makeStation();
    QWidget* review = station->show(screen::frmSetStart);
    QApplication::processEvents();
    EXPECT_TRUE(QRect(0, 0, 1366, 768).contains(review->frameGeometry()));
    EXPECT_EQ(controlsOutside(review).join("; ").toStdString(), "");
    QWidget* results = station->show(screen::Results);
    QApplication::processEvents();
    EXPECT_TRUE(QRect(0, 0, 1366, 768).contains(results->frameGeometry()));
    EXPECT_EQ(results->size(), QSize(300, 200));
}
