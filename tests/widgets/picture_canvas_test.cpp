#include "widgets/picture_canvas.h"

#include "support/widget_lookup.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarvex;

namespace {

QImage checkerPicture(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, ((x + y) % 2) ? qRgb(10, 200, 30) : qRgb(200, 20, 90));
    return img;
}

struct Press {
    double x, y;
};

Press pressAt(PictureCanvas& c, QPoint surfacePos)
{
    QSignalSpy spy(&c, &PictureCanvas::mousePressed);
    QTest::mousePress(c.surface(), Qt::LeftButton, Qt::NoModifier, surfacePos);
    QTest::mouseRelease(c.surface(), Qt::LeftButton, Qt::NoModifier, surfacePos);
    if (spy.count() != 1)
        return {-1, -1};
    return {spy[0][0].toDouble(), spy[0][1].toDouble()};
}

} // namespace

TEST(PictureCanvasTest, MousePositionsMapToTwipsAndZoomGivesFinerThanOnePixel)
{
    PictureCanvas c;
    c.resize(400, 300);
    c.show();
    Press p = pressAt(c, QPoint(20, 7));
    EXPECT_DOUBLE_EQ(p.x, 300);
    EXPECT_DOUBLE_EQ(p.y, 105);

    c.setZoom(4);
    EXPECT_EQ(c.surface()->size(), QSize(3200, 2400));   // default 800 x 600 field
    // Widget pixel 81 at zoom 4 has its centre at 81.5, a picture position of 20.375;
    // the centre of picture pixel 20 is at 20.5, so the point lies 1/8 pixel before it.
    p = pressAt(c, QPoint(81, 30));
    EXPECT_DOUBLE_EQ(p.x, 298.125);
    EXPECT_DOUBLE_EQ(p.y, 106.875);

    // The zoom keys: in twice, out once, then back to 1.
    c.setZoom(1);
    QTest::keyClick(c.surface(), Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(c.zoom(), 1.25);
    QTest::keyClick(c.surface(), Qt::Key_Minus);
    EXPECT_DOUBLE_EQ(c.zoom(), 1);
    c.setZoom(3);
    QTest::keyClick(c.surface(), Qt::Key_0);
    EXPECT_DOUBLE_EQ(c.zoom(), 1);
    c.setZoom(1000);
    EXPECT_DOUBLE_EQ(c.zoom(), PictureCanvas::kMaxZoom);
}

TEST(PictureCanvasTest, ItemsStayOnTheirTwipsPositionWhenZoomed)
{
    PictureCanvas c;
    QLabel* l = c.addLabel("mark", "R");
    c.placeItem(l, 1500, 300);
    EXPECT_EQ(l->pos(), QPoint(100, 20));
    c.setZoom(2);
    EXPECT_EQ(l->pos(), QPoint(201, 41));   // the widget pixel whose centre shows (100, 20)
    EXPECT_EQ(c.itemPosition(l), QPointF(1500, 300));
}

TEST(PictureCanvasTest, MagentaErasesTheDrawingAndLeavesThePicture)
{
    PictureCanvas c;
    const QImage pic = checkerPicture(100, 80);
    c.setPicture(pic);
    EXPECT_EQ(c.fieldPixels(), QSize(100, 80));
    c.setDrawWidth(2);

    c.line(150, 600, 1350, 600, Qt::white);   // pixels 10..90 on row 40
    c.circle(750, 600, 300, Qt::white);
    ASSERT_EQ(c.drawing().pixelColor(50, 40), QColor(Qt::white));
    ASSERT_EQ(c.composed().pixel(50, 40), qRgb(255, 255, 255));

    c.line(150, 600, 1350, 600, PictureCanvas::magenta());
    c.circle(750, 600, 300, PictureCanvas::magenta());
    const QImage shown = c.composed();
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x) {
            ASSERT_EQ(qAlpha(c.drawing().pixel(x, y)), 0) << x << "," << y;
            ASSERT_EQ(shown.pixel(x, y), pic.pixel(x, y)) << x << "," << y;
        }

    // Without a picture the erased field shows the magenta background again.
    c.clearPicture();
    EXPECT_FALSE(c.hasPicture());
    EXPECT_EQ(c.fieldPixels(), QSize(800, 600));
    c.point(300, 300, Qt::white);
    c.point(300, 300, PictureCanvas::magenta());
    EXPECT_EQ(c.composed().pixel(20, 20), qRgb(255, 0, 255));
}

TEST(PictureCanvasTest, LoadsABitmapAndReportsAFileThatIsNoPicture)
{
    QTemporaryDir dir;
    const QImage pic = checkerPicture(64, 48);
    ASSERT_TRUE(pic.save(dir.filePath("frame.bmp"), "BMP"));
    ASSERT_TRUE(pic.save(dir.filePath("frame.jpg"), "JPEG"));

    PictureCanvas c;
    QSignalSpy changed(&c, &PictureCanvas::pictureChanged);
    QString error;
    ASSERT_TRUE(c.loadPicture(dir.filePath("frame.bmp"), &error)) << error.toStdString();
    EXPECT_EQ(c.picture().size(), QSize(64, 48));
    EXPECT_EQ(c.picture().pixel(3, 0), pic.pixel(3, 0));
    EXPECT_DOUBLE_EQ(c.widthTwips(), 960);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(c.loadPicture(dir.filePath("frame.jpg")));

    QFile junk(dir.filePath("junk.bmp"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a picture");
    junk.close();
    EXPECT_FALSE(c.loadPicture(junk.fileName(), &error));
    EXPECT_TRUE(error.startsWith("The picture " + junk.fileName() + " could not be loaded")) << error.toStdString();
    EXPECT_EQ(c.picture().size(), QSize(64, 48));   // the old picture stays
}

TEST(PictureCanvasTest, APixelCentreIsWholePixelsTimesFifteenAtEveryZoom)
{
    PictureCanvas c;
    c.resize(600, 400);
    c.show();
    for (const double zoom : {1.0, 2.0, 3.5, 8.0}) {
        c.setZoom(zoom);
        // The widget pixel that covers the centre of picture pixel (100, 50).
        const QPoint w(int(std::floor(100.5 * zoom)), int(std::floor(50.5 * zoom)));
        const Press p = pressAt(c, w);
        EXPECT_NEAR(p.x, 1500, 15 / zoom / 2) << "zoom " << zoom;
        EXPECT_NEAR(p.y, 750, 15 / zoom / 2) << "zoom " << zoom;
        const QPointF back = c.surfacePosOf(1500, 750);
        EXPECT_NEAR(back.x(), w.x(), 0.5) << "zoom " << zoom;
    }
}

TEST(PictureCanvasTest, MarkersAreDrawnCentredOnTheirPointWhenZoomedAndHaveADarkRim)
{
    PictureCanvas c;
    c.resize(700, 500);
    c.setOutline(true);
    QImage black(60, 40, QImage::Format_RGB32);
    black.fill(Qt::black);
    c.setPicture(black);
    c.show();
    c.setZoom(8);
    // Half a picture pixel right of pixel 10: widget x = (10.5 + 0.5) * 8 - 0.5 = 87.5.
    c.setDrawWidth(2);
    c.line(157.5, 150, 157.5, 450, Qt::white);
    const QImage shot = c.surface()->grab().toImage();
    QList<int> white;
    for (int x = 60; x < 120; ++x)
        if (shot.pixelColor(x, 160).lightness() > 200)
            white << x;
    ASSERT_EQ(white.size(), 2);   // two screen pixels, not two picture pixels (16)
    EXPECT_NEAR((white.first() + white.last()) / 2.0, 87.5, 1);
    // The rim: dark grey, not the black of the picture, just outside the white.
    EXPECT_EQ(shot.pixelColor(white.first() - 1, 160), PictureCanvas::outlineColour());

    // On the picture-resolution layer the rim is there too, and an erase takes it with the line.
    c.setZoom(1);
    c.line(300, 300, 600, 300, Qt::white);
    EXPECT_EQ(c.drawing().pixelColor(30, 20), QColor(Qt::white));
    EXPECT_EQ(c.drawing().pixelColor(30, 18), PictureCanvas::outlineColour());
    c.line(157.5, 150, 157.5, 450, PictureCanvas::magenta());
    c.line(300, 300, 600, 300, PictureCanvas::magenta());
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x)
            ASSERT_EQ(qAlpha(c.drawing().pixel(x, y)), 0) << x << "," << y;
}

TEST(PictureCanvasTest, ZoomBarKeysAndFitWorkOutsideTextBoxes)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* box = new QLineEdit(&window);
    auto* button = new QPushButton("other", &window);
    auto* c = new PictureCanvas(&window);
    layout->addWidget(box);
    layout->addWidget(button);
    layout->addWidget(c);
    window.resize(640, 480);
    QImage big(1600, 900, QImage::Format_RGB32);
    big.fill(Qt::darkBlue);
    c->setPicture(big);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // A picture larger than the room opens whole.
    EXPECT_LT(c->zoom(), 0.4);
    EXPECT_LE(c->surface()->width(), c->viewport()->width());
    EXPECT_EQ(test::child<QLabel>(c, "zoomFigure")->text(), c->zoomText());
    // Its own fit follows the window (a maximise that arrives late).
    const double fitted = c->zoom();
    window.resize(960, 720);
    QCoreApplication::processEvents();
    EXPECT_GT(c->zoom(), fitted);
    const double fittedNow = c->zoom();

    QSignalSpy zoomed(c, &PictureCanvas::zoomChanged);
    button->setFocus();
    QTest::keyClick(button, Qt::Key_0);
    EXPECT_DOUBLE_EQ(c->zoom(), 1);
    EXPECT_EQ(test::child<QLabel>(c, "zoomFigure")->text(), "100 %");
    QTest::keyClick(button, Qt::Key_Minus);
    EXPECT_DOUBLE_EQ(c->zoom(), 0.8);
    QTest::keyClick(button, Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(c->zoom(), 1);
    QTest::keyClick(button, Qt::Key_F);
    EXPECT_DOUBLE_EQ(c->zoom(), fittedNow);
    EXPECT_EQ(zoomed.count(), 4);

    // In a text box the same keys type.
    box->setFocus();
    QTest::keyClicks(box, "-10");
    EXPECT_EQ(box->text(), "-10");
    EXPECT_DOUBLE_EQ(c->zoom(), fittedNow);

    test::child<QToolButton>(c, "zoomOneButton")->click();
    EXPECT_DOUBLE_EQ(c->zoom(), 1);
    test::child<QToolButton>(c, "zoomInButton")->click();
    EXPECT_DOUBLE_EQ(c->zoom(), 1.25);

    // Frames of the same size keep the operator's zoom.
    c->setPicture(big);
    EXPECT_DOUBLE_EQ(c->zoom(), 1.25);
}

TEST(PictureCanvasTest, TheLoupeMarksAFractionOfAPixel)
{
    PictureCanvas c;
    c.resize(600, 400);
    QImage pic(200, 100, QImage::Format_RGB32);
    pic.fill(Qt::gray);
    c.setPicture(pic);
    c.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&c));
    c.setZoom(1);
    EXPECT_DOUBLE_EQ(c.loupeMagnification(), 8);

    QTest::mouseMove(c.surface(), QPoint(40, 30));
    EXPECT_TRUE(c.loupe()->isVisible());
    EXPECT_EQ(c.loupeCentre(), QPointF(600, 450));
    // Its centre pixel shows the aimed point; eight loupe pixels are one picture pixel.
    EXPECT_EQ(c.loupeTwipsAt(QPointF(80, 80)), QPointF(600, 450));
    EXPECT_EQ(c.loupeTwipsAt(QPointF(82, 76)), QPointF(603.75, 442.5));
    EXPECT_EQ(c.loupePosOf(QPointF(603.75, 442.5)), QPointF(82.5, 76.5));

    QSignalSpy pressed(&c, &PictureCanvas::mousePressed);
    QTest::mousePress(c.loupe(), Qt::LeftButton, Qt::NoModifier, QPoint(86, 80));
    ASSERT_EQ(pressed.count(), 1);
    EXPECT_DOUBLE_EQ(pressed[0][0].toDouble(), 611.25);
    EXPECT_DOUBLE_EQ(pressed[0][1].toDouble(), 450);

    c.setLoupeEnabled(false);
    EXPECT_FALSE(c.loupe()->isVisible());
    EXPECT_FALSE(test::child<QToolButton>(&c, "loupeButton")->isChecked());
}

TEST(PictureCanvasTest, AFittedZoomIsChosenAgainForAPictureOfANewSize)
{
    PictureCanvas c;
    c.resize(640, 480);
    QImage big(1920, 1080, QImage::Format_RGB32);
    big.fill(Qt::darkBlue);
    c.setPicture(big);
    c.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&c));
    const double fitted1080 = c.zoom();
    EXPECT_LT(fitted1080, 0.34);
    QImage hd(1280, 720, QImage::Format_RGB32);
    hd.fill(Qt::darkBlue);
    c.setPicture(hd);
    EXPECT_GT(c.zoom(), fitted1080 * 1.4);   // 1920 / 1280 = 1.5 larger again
    EXPECT_LE(c.surface()->width(), c.viewport()->width());
    QImage small(200, 150, QImage::Format_RGB32);
    small.fill(Qt::darkBlue);
    c.setPicture(small);
    EXPECT_DOUBLE_EQ(c.zoom(), 1);
    // A zoom the operator chose stays for the next frame of the same size.
    c.setPicture(hd);
    c.setZoom(2);
    c.setPicture(hd);
    EXPECT_DOUBLE_EQ(c.zoom(), 2);
}
