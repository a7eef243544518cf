// Every screen on the most common lake-side laptop screen, 1366x768 (ctest runs this program
// on an offscreen screen of that size).
#include "station/screen_names.h"
#include "support/station_fixture.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QApplication>
#include <QScreen>

using namespace tarvex;
using namespace tarvex::test;

namespace {

// A control is reachable when every ancestor up to its window shows all of it; inside a
// scroll area (a picture, a list) it is reachable by scrolling.
std::string unreachable(QWidget* window)
{
    QStringList out;
    for (QWidget* c : window->findChildren<QWidget*>()) {
        if (!c->isVisibleTo(window) || c->objectName().isEmpty() || c->objectName().startsWith("qt_"))
            continue;
        // Controls and the texts that label them; containers may be wider than what they hold.
        const auto* label = qobject_cast<QLabel*>(c);
        if (label ? label->text().isEmpty() && label->pixmap().isNull()
                  : !(qobject_cast<QAbstractButton*>(c) || qobject_cast<QLineEdit*>(c) || qobject_cast<QComboBox*>(c)
                      || qobject_cast<QAbstractSlider*>(c) || qobject_cast<QAbstractSpinBox*>(c)
                      || qobject_cast<QAbstractScrollArea*>(c)))
            continue;
        bool scrolled = false;
        for (QWidget* a = c->parentWidget(); a && a != window; a = a->parentWidget())
            scrolled = scrolled || qobject_cast<QAbstractScrollArea*>(a);
        if (scrolled)
            continue;
        QRect r(QPoint(0, 0), c->size());
        for (QWidget* a = c; a != window; a = a->parentWidget()) {
            r.translate(a->pos());
            const QWidget* parent = a->parentWidget();
            if (!QRect(QPoint(0, 0), parent->size()).contains(r)) {
                out << QStringLiteral("%1 at %2,%3 %4x%5 in %6x%7").arg(c->objectName()).arg(r.x()).arg(r.y())
                           .arg(r.width()).arg(r.height()).arg(parent->width()).arg(parent->height());
                break;
            }
        }
    }
    return out.join(QStringLiteral("; ")).toStdString();
}

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
        EXPECT_EQ(unreachable(w), "");
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
    EXPECT_EQ(unreachable(review), "");
    QWidget* results = station->show(screen::Results);
    QApplication::processEvents();
    EXPECT_TRUE(QRect(0, 0, 1366, 768).contains(results->frameGeometry()));
    EXPECT_EQ(results->size(), QSize(300, 200));
}
