#include "widgets/picture_canvas.h"

#include <QLabel>
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
    p = pressAt(c, QPoint(81, 30));
    EXPECT_DOUBLE_EQ(p.x, 81 / 4.0 * 15);   // 303.75: a quarter pixel past 20
    EXPECT_DOUBLE_EQ(p.y, 112.5);

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
    EXPECT_EQ(l->pos(), QPoint(200, 40));
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
