#include "measure/measure_screen.h"

#include "capture/camera_set.h"
#include "media/clip_writer.h"
#include "media/frame_extract.h"

#include "support/station_fixture.h"
#include "support/grid_test_support.h"
#include "grid/grid_geometry.h"
#include "grid/grid_setup_screen.h"
#include "widgets/picture_canvas.h"

#include <QAction>
#include <QJsonArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <limits>

using namespace tarvex;
using namespace tarvex::test;

namespace {

// Three cameras on shore; each sees its buoys as a trapezoid, a little shifted from the next.
void solveGrid(GridState& g, int n, double shift)
{
    test::BuoySample b[4];
    std::copy(std::begin(test::kTrapezoid), std::end(test::kTrapezoid), b);
    for (auto& s : b)
        s.u += shift;
    test::setBuoys(g, b);
    ASSERT_TRUE(solve_coefficients(g));
    g.jump_survey_x = 0;
    g.jump_survey_y = 5 * n;
    g.storeCompletedGrid(n, QString(), QStringLiteral("camera %1").arg(n));
}

QImage filled(QSize size, Qt::GlobalColor colour)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

struct MeasureScreenTest : StationFixture {
    MeasureScreen* m = nullptr;
    int startupUnexpected = 0;   // questions the start-up asked before the screen existed

    MeasureScreen* open(int grids = 1)
    {
        prompter->no();   // the start-up's emergency reset question
        makeStation().start();
        GridState& g = station->grids();
        g.grids_in_use = grids;
        for (int n = 1; n <= grids; ++n)
            solveGrid(g, n, 300.0 * (n - 1));
        g.recompute_all_grids_set_up();
        g.recompute_survey_x_direction();
        g.switchToGrid(1);
        prompter->clear();
        startupUnexpected = prompter->unexpected();
        m = station->screenAs<MeasureScreen>("Measure");
        m->show();
        return m;
    }
    GridState& g() { return station->grids(); }
    AppSettings& s() { return station->settings(); }
    template <typename T = QWidget> T* c(const char* name) { return child<T>(m, name); }
    // Visible as part of the screen: the arrows are shown and hidden with their pad.
    bool shown(const char* name) { return c(name)->isVisibleTo(m); }
    QPoint onScreen(const char* name) { return c(name)->mapTo(m, QPoint(0, 0)); }
    LineShape* line(const char* name) { return c<LineShape>(name); }

    // The survey point of a screen point on the current grid.
    QPointF survey(QPointF p)
    {
        GridState t = g();
        t.query_screen_x = p.x();
        t.query_screen_y = p.y();
        EXPECT_TRUE(survey_from_screen(t));
        return {t.mapped_survey_x, t.mapped_survey_y};
    }
    void reactivate()
    {
        m->hide();
        m->show();
    }
};

} // namespace

TEST_F(MeasureScreenTest, LoadsWithTheCaptionsAndHiddenParts)
{
    open();
    EXPECT_EQ(m->windowTitle(), "Measure");
    EXPECT_EQ(c<QPushButton>("Record")->text(), "Record &Jump");
    EXPECT_EQ(c<QPushButton>("Unfreeze")->text(), "Clear");
    EXPECT_EQ(c<QLineEdit>("Jump_no")->text(), "Jump");
    EXPECT_EQ(c<QLineEdit>("distance")->text(), "m");
    EXPECT_TRUE(c<QRadioButton>("optJumpOK")->isChecked());
    EXPECT_EQ(c<QScrollBar>("CrossSize")->value(), 100);
    EXPECT_EQ(c<QAction>("mnuCapture")->text(), "C&apture Next Jump");
    for (const char* hidden : {"xtwips", "VerifyDistance", "FrozenSign", "UnofficialJump", "AdjustRight",
                               "AdjustmentLabel", "lineHorizontalImpact", "Comment"})
        EXPECT_FALSE(shown(hidden)) << hidden;
    // Activation drew the overlay: description and buoy labels of grid 1.
    EXPECT_TRUE(shown("grid_description"));
    EXPECT_EQ(c<QLineEdit>("grid_description")->text(), "camera 1");
    // The jump point lies 65 m from the upper left buoy.
    EXPECT_EQ(c<QLabel>("maxbuoy")->text(), " 213 feet");
    EXPECT_EQ(c<QLabel>("maxbuoym")->text(), " 65 meters");
    EXPECT_EQ(m->canvas()->itemPosition(c("maxbuoym")), QPointF(3000 - 100, 2000 - 600));
    EXPECT_EQ(prompter->unexpected(), startupUnexpected);
}

TEST_F(MeasureScreenTest, GridChoiceHiddenWithOneGridAndCyclesTheGridsInUse)
{
    open(1);
    EXPECT_FALSE(shown("Set_grid"));

    for (const int grids : {2, 3}) {
        open(grids);
        auto* b = c<QPushButton>("Set_grid");
        EXPECT_TRUE(shown("Set_grid"));
        EXPECT_EQ(b->text(), "&Grid 1");
        QStringList captions;
        for (int i = 0; i < grids; ++i) {
            b->click();
            captions << b->text();
            const int n = g().current_grid;
            EXPECT_EQ(b->text(), QStringLiteral("&Grid %1").arg(n));
            // The working state is the chosen grid's record.
            EXPECT_EQ(g().mapping_coefficients, g().grid_table[n].c);
            EXPECT_EQ(g().jump_survey_y, 5.0 * n);
            EXPECT_EQ(c<QLineEdit>("grid_description")->text(), QStringLiteral("camera %1").arg(n));
        }
        const QStringList expected = grids == 2 ? QStringList{"&Grid 2", "&Grid 1"}
                                                : QStringList{"&Grid 2", "&Grid 3", "&Grid 1"};
        EXPECT_EQ(captions, expected);
    }
}

TEST_F(MeasureScreenTest, MarkerArmFollowsTheJumpDirection)
{
    open();
    const QPointF p(6000.4, 4000.8);   // twips finer than a pixel stay exact
    s().RightToLeft = false;
    m->pictureMouseDown(p.x(), p.y());
    EXPECT_EQ(line("lineHorizontalImpact")->line(), QLineF(p, p - QPointF(100, 0)));
    EXPECT_EQ(line("lineVerticalImpact")->line(), QLineF(p.x(), p.y() - 100, p.x(), p.y() + 100));
    EXPECT_TRUE(shown("lineHorizontalImpact"));
    EXPECT_TRUE(shown("AdjustRight"));
    EXPECT_EQ(c<QLineEdit>("distance_ft")->text(), "ft");

    s().RightToLeft = true;
    c<QScrollBar>("CrossSize")->setValue(45);
    m->pictureMouseDown(p.x(), p.y());
    EXPECT_EQ(line("lineHorizontalImpact")->line(), QLineF(p, p + QPointF(45, 0)));
}

TEST_F(MeasureScreenTest, SplashIndicatorStandsTheRampAllowanceAlongSurveyX)
{
    open();
    const QPointF impact(6000, 4000);
    const QPointF at = survey(impact);
    struct Case {
        bool barefoot, sitSki, rightToLeft;
        double metres;
    };
    for (const Case k : {Case{true, false, false, 0}, Case{false, true, false, 1.9}, Case{false, false, false, 2.1},
                         Case{false, true, true, 1.9}, Case{false, false, true, 2.1}}) {
        s().BarefootMode = k.barefoot;
        s().SitSkiMode = k.sitSki;
        s().RightToLeft = k.rightToLeft;
        m->pictureMouseDown(impact.x(), impact.y());
        const QPointF foot(m->state().SplashX, m->state().SplashY);
        EXPECT_EQ(line("lineSplashIndicator")->line(), QLineF(foot, foot - QPointF(0, 1000)));
        if (k.barefoot) {
            EXPECT_EQ(foot, impact);
            continue;
        }
        const QPointF moved = survey(foot);
        const double along = (moved.x() - at.x()) * g().survey_x_direction;
        EXPECT_NEAR(along, k.rightToLeft ? k.metres : -k.metres, 1e-9) << k.sitSki << k.rightToLeft;
        EXPECT_NEAR(moved.y(), at.y(), 1e-9);
    }
}

TEST_F(MeasureScreenTest, MicroAdjustStepsFromTheLastMark)
{
    open();
    m->pictureMouseDown(5000.5, 3000.25);
    auto* right = c<QPushButton>("AdjustRight");
    right->click();
    right->click();
    EXPECT_DOUBLE_EQ(m->state().ImpactX, 5030.5);
    EXPECT_DOUBLE_EQ(m->state().ImpactY, 3000.25);
    EXPECT_EQ(line("lineVerticalImpact")->line().x1(), 5030.5);
    c<QPushButton>("AdjustUp")->click();
    EXPECT_DOUBLE_EQ(m->state().LastMarkY, 2985.25);
    EXPECT_DOUBLE_EQ(m->state().LastMarkX, 5030.5);
}

TEST_F(MeasureScreenTest, VerifyModeShowsTheReadOutAndTogglesBack)
{
    open();
    auto* verify = c<QPushButton>("verify");
    verify->click();
    EXPECT_EQ(verify->text(), "Verify off");
    EXPECT_TRUE(m->verifyMode());
    EXPECT_TRUE(shown("VerifyDistance"));
    EXPECT_TRUE(shown("UnofficialJump"));

    // The read-out follows the mouse without a button held.
    m->canvas()->setZoom(1);
    QTest::mouseMove(m->canvas()->surface(), QPoint(400, 266));
    EXPECT_EQ(c<QLineEdit>("xtwips")->text(), " 6000");
    EXPECT_EQ(c<QLineEdit>("ytwips")->text(), " 3990");
    EXPECT_EQ(c<QLineEdit>("VerifyDistance")->text(), " 47.4m  156ft");

    verify->click();
    EXPECT_EQ(verify->text(), "Verify");
    EXPECT_FALSE(m->verifyMode());
    for (const char* hidden : {"xtwips", "ytwips", "xposition", "yposition", "VerifyDistance", "UnofficialJump"})
        EXPECT_FALSE(shown(hidden)) << hidden;
}

TEST_F(MeasureScreenTest, OverlayDrawsCrossesOrCircles)
{
    open();
    const int x = 3000 / 15, y = 2000 / 15;   // upper left buoy
    const QRgb white = qRgb(255, 255, 255);
    auto pixel = [this](int px, int py) { return m->canvas()->composed().pixel(px, py); };

    s().MarkerStyle = "cross";
    m->show_the_grid();
    EXPECT_EQ(pixel(x + 5, y), white);               // on the cross's arm
    EXPECT_NE(pixel(x + 2 * 100 / 15, y + 2), white);   // where a circle would run

    s().LineControlOff = true;
    for (const char* style : {"circle", "anything"}) {
        s().MarkerStyle = style;
        s().MessageColorName = "yellow";
        s().MessageColor = 65535;
        m->show_the_grid();
        EXPECT_EQ(pixel(x + 2 * 100 / 15, y), qRgb(255, 255, 0)) << style;   // on the circle
        EXPECT_EQ(pixel(x, y), qRgb(255, 255, 0)) << style;                 // the centre dot
        EXPECT_NE(pixel(x + 3, y), qRgb(255, 255, 0)) << style;              // no cross arm
    }
}

TEST_F(MeasureScreenTest, ClearAdvancesTheJumpAndResetsTheJump)
{
    open();
    QFile bmp(path("txio/left.bmp"));
    ASSERT_TRUE(bmp.open(QIODevice::WriteOnly));
    bmp.close();
    auto* jump = c<QLineEdit>("Jump_no");
    jump->setText(" 3");
    c<QRadioButton>("Fall")->setChecked(true);
    c<QRadioButton>("Other_Grid")->setChecked(true);
    c<QLineEdit>("Comment")->setText("Fall");
    m->canvas()->setPicture(filled({40, 30}, Qt::red));
    m->state().Frozen = true;
    m->pictureMouseDown(6000, 4000);

    c<QPushButton>("Unfreeze")->click();
    EXPECT_EQ(jump->text(), " 4");
    EXPECT_EQ(c<QLineEdit>("distance")->text(), "m");
    EXPECT_TRUE(c<QRadioButton>("optJumpOK")->isChecked());
    EXPECT_FALSE(c<QRadioButton>("Other_Grid")->isChecked());
    EXPECT_TRUE(c<QLineEdit>("Comment")->text().isEmpty());
    EXPECT_FALSE(m->state().Frozen);
    EXPECT_FALSE(m->canvas()->hasPicture());
    EXPECT_FALSE(shown("AdjustmentLabel"));
    EXPECT_FALSE(shown("lineHorizontalImpact"));
    EXPECT_FALSE(QFile::exists(path("txio/left.bmp")));
    // The point stays, but the next Record asks for a new mark.
    EXPECT_EQ(m->state().ImpactX, 6000);

    // A missing exchange folder is no reason to fail.
    QDir(path("txio")).removeRecursively();
    c<QPushButton>("Unfreeze")->click();
    EXPECT_EQ(jump->text(), " 5");
}

TEST_F(MeasureScreenTest, SelectFrameReloadsOnEveryActivationOtherTagsKeepThePicture)
{
    ASSERT_TRUE(filled({64, 48}, Qt::red).save(path("program/currentcapture.bmp")));
    open();
    s().setArrival(Arrival::FrameChosen);
    reactivate();
    EXPECT_EQ(m->canvas()->picture().size(), QSize(64, 48));
    EXPECT_EQ(m->pictureWidthTwips(), "958.301886792453");
    EXPECT_EQ(m->pictureHeightTwips(), "718.867924528302");

    m->canvas()->setPicture(filled({32, 32}, Qt::blue));
    reactivate();
    EXPECT_EQ(m->canvas()->picture().size(), QSize(64, 48));
    EXPECT_EQ(s().NavigationTag, "SelectFrame");

    s().setArrival(Arrival::PictureMenu);
    m->canvas()->setPicture(filled({32, 32}, Qt::blue));
    reactivate();
    EXPECT_EQ(m->canvas()->picture().size(), QSize(32, 32));

    // A frame that is gone is reported, not fatal.
    QFile::remove(path("program/currentcapture.bmp"));
    s().setArrival(Arrival::FrameChosen);
    prompter->clear();
    reactivate();
    ASSERT_EQ(prompter->messages().size(), 1);
    EXPECT_TRUE(prompter->messages().first().contains("currentcapture.bmp"));
    EXPECT_EQ(m->canvas()->picture().size(), QSize(32, 32));
}

TEST_F(MeasureScreenTest, UnmappablePointGivesAMessageAndNoMarker)
{
    open();
    m->pictureMouseDown(6000, 4000);
    ASSERT_TRUE(shown("lineHorizontalImpact"));

    // A point on the grid's vanishing line: the mapping's denominator is exactly zero there.
    const auto& cf = g().mapping_coefficients;
    ASSERT_NE(cf[5], 0);
    std::optional<QPointF> horizon;
    for (int u = 0; u < 500 && !horizon; ++u) {
        double v = -(1 + cf[4] * u) / cf[5];
        for (int step = 0; step < 8 && !horizon; ++step) {
            GridState t = g();
            t.query_screen_x = u;
            t.query_screen_y = v;
            if (!distance_calculation(t, TournamentType::Standard))
                horizon = QPointF(u, v);
            v = std::nextafter(v, step % 2 ? -1e9 : 1e9);
        }
    }
    ASSERT_TRUE(horizon.has_value());

    m->pictureMouseMove(horizon->x(), horizon->y());
    EXPECT_TRUE(c<QLineEdit>("VerifyDistance")->text().isEmpty());
    EXPECT_TRUE(c<QLineEdit>("xposition")->text().isEmpty());

    m->pictureMouseDown(horizon->x(), horizon->y());
    EXPECT_EQ(prompter->messages(), QStringList{MeasureScreen::kUnmappableText});
    for (const char* l : {"lineHorizontalImpact", "lineVerticalImpact", "lineSplashIndicator"})
        EXPECT_FALSE(shown(l)) << l;
    // Micro-adjust steps from the last drawn mark, not from the refused point.
    EXPECT_EQ(m->state().LastMarkX, 6000);
}

TEST_F(MeasureScreenTest, ClipboardAndSnapshotFreezeThePicture)
{
    open();
    QApplication::clipboard()->clear();
    c<QAction>("mnuPaste")->trigger();
    EXPECT_FALSE(m->state().Frozen);
    EXPECT_EQ(prompter->messages().size(), 1);

    QApplication::clipboard()->setImage(filled({50, 40}, Qt::green));
    c<QPushButton>("ClipSnapShot")->click();
    EXPECT_TRUE(m->state().Frozen);
    EXPECT_TRUE(shown("FrozenSign"));
    EXPECT_TRUE(c<QLineEdit>("distance")->text().isEmpty());
    EXPECT_EQ(m->canvas()->picture().size(), QSize(50, 40));
    EXPECT_TRUE(shown("gif_file_name"));
    EXPECT_EQ(c<QLineEdit>("gif_file_name")->text(), "Picture from Clipboard");

    c<QPushButton>("Unfreeze")->click();
    prompter->clear();
    c<QPushButton>("ImgSnapShot")->click();
    EXPECT_EQ(prompter->messages(), QStringList{"Warning, snapshot file has not been saved in the \\txio directory"});
    EXPECT_TRUE(m->state().Frozen);
    EXPECT_TRUE(shown("FrozenSign"));

    ASSERT_TRUE(filled({20, 10}, Qt::yellow).save(path("txio/snapshot.bmp")));
    prompter->clear();
    c<QPushButton>("ImgSnapShot")->click();
    EXPECT_TRUE(prompter->messages().isEmpty());
    EXPECT_EQ(m->canvas()->picture().size(), QSize(20, 10));
    EXPECT_EQ(m->pictureWidthTwips(), "299.433962264151");
    EXPECT_EQ(c<QLineEdit>("gif_file_name")->text(), "snapshot.bmp");
}

TEST_F(MeasureScreenTest, AutoLoadTakesTheClipboardOnlyWhenTheFlagSaysReady)
{
    open();
    auto* timer = m->findChild<QTimer*>("loadTimer");
    ASSERT_NE(timer, nullptr);
    c<QCheckBox>("cbAutoLoadClipboard")->setChecked(true);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 1000);

    QApplication::clipboard()->setImage(filled({30, 20}, Qt::cyan));
    m->pollClipboardFlag();   // no flag file yet
    EXPECT_FALSE(m->canvas()->hasPicture());

    const QString flag = path("txio/clipflag.txt");
    auto writeFlag = [&](const QByteArray& text) {
        QFile f(flag);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    writeFlag("Busy\r\n");
    m->pollClipboardFlag();
    EXPECT_FALSE(m->canvas()->hasPicture());

    writeFlag("Ready\r\n");
    m->pollClipboardFlag();
    EXPECT_EQ(m->canvas()->picture().size(), QSize(30, 20));
    EXPECT_FALSE(m->state().Frozen);
    EXPECT_EQ(readAll(flag), QByteArray("  \r\n"));

    c<QCheckBox>("cbAutoLoadClipboard")->setChecked(false);
    EXPECT_FALSE(timer->isActive());
}

TEST_F(MeasureScreenTest, LeavingAppliesThePictureSavePolicyOnlyForAPickedFrame)
{
    open();
    s().PictureSaveMode = "Ask";
    s().setArrival(Arrival::PictureMenu);
    c<QAction>("Exit")->trigger();
    EXPECT_TRUE(prompter->shown().isEmpty());
    EXPECT_TRUE(s().NavigationTag.isEmpty());
    EXPECT_TRUE(m->isHidden());
    EXPECT_FALSE(shown("grid_description"));
    EXPECT_TRUE(c<QLabel>("maxbuoy")->text().isEmpty());

    m->show();
    s().setArrival(Arrival::FrameChosen);
    prompter->clear();
    prompter->no();
    c<QAction>("mnuCapture")->trigger();
    ASSERT_EQ(prompter->shown().size(), 1);
    EXPECT_EQ(prompter->shown().first().kind, "yesno");
    EXPECT_EQ(prompter->shown().first().text, "Do you want to save this picture?");
    EXPECT_EQ(s().NavigationTag, "Measure");
    EXPECT_TRUE(m->isHidden());

    for (const char* mode : {"NoSave", ""}) {
        m->show();
        s().PictureSaveMode = mode;
        s().setArrival(Arrival::FrameChosen);
        prompter->clear();
        c<QAction>("Exit")->trigger();
        EXPECT_TRUE(prompter->shown().isEmpty()) << mode;
    }
    // "Save" saves without asking; the picture's path goes to the status line, not a box.
    m->show();
    QDir(tmp.path()).mkpath("pictures");
    s().PicturesPath = path("pictures");
    s().PictureSaveMode = "Save";
    s().setArrival(Arrival::FrameChosen);
    prompter->clear();
    c<QAction>("Exit")->trigger();
    EXPECT_FALSE(prompter->texts().join("|").contains("20614032")) << prompter->texts().join("|").toStdString();
    EXPECT_EQ(c<QLabel>("statusLine")->text(),
              "Picture saved as " + QDir::toNativeSeparators(path("pictures") + "/20614032.bmp"));
    EXPECT_TRUE(QFile::exists(path("pictures") + "/20614032.bmp"));
}

TEST_F(MeasureScreenTest, MarkerFollowsTheZoom)
{
    open();
    m->canvas()->setZoom(1);
    m->pictureMouseDown(3000, 1500);
    auto* h = line("lineVerticalImpact");
    EXPECT_EQ(h->geometry().height(), 22);   // 200 twips and the rim
    m->canvas()->setZoom(2);
    EXPECT_EQ(h->geometry().height(), 35);
    EXPECT_EQ(h->line(), QLineF(3000, 1400, 3000, 1600));
}

TEST_F(MeasureScreenTest, DraggingALabelCarriesItsControls)
{
    open();
    auto* label = c<QLabel>("gridlabel");
    QWidget* box = c("grid_description");
    QWidget* name = c("gif_file_name");
    const QPoint boxAt = box->pos(), nameAt = name->pos(), arrowAt = onScreen("AdjustUp"), labelAt = label->pos();

    QTest::mousePress(label, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mouseMove(label, QPoint(25, 15));
    QTest::mouseRelease(label, Qt::LeftButton, Qt::NoModifier, QPoint(25, 15));
    EXPECT_EQ(label->pos(), labelAt + QPoint(20, 10));
    EXPECT_EQ(box->pos(), boxAt + QPoint(20, 10));
    EXPECT_EQ(name->pos(), nameAt + QPoint(20, 10));
    EXPECT_EQ(onScreen("AdjustUp"), arrowAt);

    // After the release, moving the mouse moves nothing.
    QTest::mouseMove(label, QPoint(60, 60));
    EXPECT_EQ(box->pos(), boxAt + QPoint(20, 10));
}

TEST_F(MeasureScreenTest, TheArrowPadKeepsItsPlaceAndFollowsItsHandle)
{
    open();
    EXPECT_EQ(onScreen("AdjustUp"), QPoint(70, 60));
    EXPECT_EQ(onScreen("AdjustLeft"), QPoint(40, 90));
    EXPECT_EQ(onScreen("AdjustRight"), QPoint(100, 90));
    EXPECT_EQ(onScreen("AdjustDown"), QPoint(70, 120));

    m->pictureMouseDown(6000, 4000);
    auto* handle = c<QLabel>("AdjustmentLabel");
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mouseMove(handle, QPoint(35, 25));
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, QPoint(35, 25));
    EXPECT_EQ(onScreen("AdjustUp"), QPoint(100, 80));
    EXPECT_EQ(onScreen("AdjustDown"), QPoint(100, 140));

    // Steps left and down come from the pad too, 15 twips each.
    c<QPushButton>("AdjustLeft")->click();
    c<QPushButton>("AdjustDown")->click();
    EXPECT_DOUBLE_EQ(m->state().ImpactX, 5985);
    EXPECT_DOUBLE_EQ(m->state().ImpactY, 4015);
}

TEST_F(MeasureScreenTest, TheMarkShowsProvisionalFiguresAndClearHidesThem)
{
    open();
    auto* figures = c<QLabel>("provisionalDistance");
    EXPECT_TRUE(figures->isHidden());
    // On the upper right buoy: 61.85 m from the jump point (0, 5), plus 2.1 m.
    m->pictureMouseDown(9000, 2000);
    EXPECT_FALSE(figures->isHidden());
    // A click of half a pixel (7 cm here) and the four buoys' survey and clicks give 10 cm.
    EXPECT_EQ(figures->text(),
              "Provisional, not recorded: 63.9m  210ft  +/- 10 cm\nOne picture pixel here: 14.0 cm on the water");
    EXPECT_EQ(c<QLineEdit>("distance")->text(), "m");   // nothing recorded yet
    c<QPushButton>("Unfreeze")->click();
    EXPECT_TRUE(figures->isHidden());
}

TEST_F(MeasureScreenTest, OpensMaximisedWithARimmedMarker)
{
    open();
    EXPECT_TRUE(m->windowState() & Qt::WindowMaximized);
    EXPECT_TRUE(m->canvas()->outline());
}

TEST_F(MeasureScreenTest, EveryRecordedJumpLeavesOneEvidenceLine)
{
    open();
    s().ResultsFilePath = path("results.txt");
    s().setArrival(Arrival::FrameChosen);
    s().MeasureVideoFile = path("videos/Annjump1.avi");
    s().MeasureFrameNumber = 30;
    m->pictureMouseDown(9000, 2000);
    c<QPushButton>("Record")->click();
    c<QRadioButton>("Fall")->click();
    c<QPushButton>("Record")->click();
    ASSERT_EQ(prompter->messages(), QStringList());

    const QStringList files = QDir(path("")).entryList({"JumpEvidence*.jsonl"});
    ASSERT_EQ(files.size(), 1);
    QFile f(path(files.first()));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3);   // two lines and the end
    const QJsonObject jump = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(jump["outcome"].toString(), "measured");
    EXPECT_NEAR(jump["distanceMetres"].toDouble(), 63.95, 0.01);
    EXPECT_NEAR(jump["sigmaMetres"].toDouble(), 0.10, 0.01);
    EXPECT_EQ(jump["allowanceMetres"].toDouble(), 2.1);
    EXPECT_EQ(jump["source"].toObject()["frame"].toInt(), 30);
    EXPECT_TRUE(jump["source"].toObject()["video"].toString().endsWith("videos/Annjump1.avi"));
    EXPECT_EQ(jump["markTwips"].toObject()["u"].toDouble(), 9000);
    EXPECT_EQ(jump["grid"].toObject()["points"].toInt(), 4);
    EXPECT_FALSE(jump["version"].toString().isEmpty());
    const QJsonObject fall = QJsonDocument::fromJson(lines[1]).object();
    EXPECT_EQ(fall["outcome"].toString(), "fall");
    EXPECT_TRUE(fall["distanceMetres"].isNull());
}

TEST_F(MeasureScreenTest, TheRecordedDistanceIsLegibleAndTheProvisionalLineGoes)
{
    open();
    s().ResultsFilePath = path("results.txt");
    m->resize(1366, 768);
    QApplication::processEvents();
    auto* readout = c<QLabel>("recordedDistance");
    auto* figures = c<QLabel>("provisionalDistance");
    m->pictureMouseDown(9000, 2000);
    EXPECT_EQ(readout->text(), "");
    c<QPushButton>("Record")->click();
    EXPECT_EQ(prompter->messages(), QStringList());
    EXPECT_EQ(readout->text(), "63.9 m   210 ft");
    EXPECT_TRUE(figures->isHidden());
    // The boxes keep their texts for the results file and the tests that read them.
    EXPECT_EQ(c<QLineEdit>("distance")->text(), " 63.9m");
    EXPECT_EQ(c<QLineEdit>("distance_ft")->text(), " 210ft");
    EXPECT_GE(readout->height(), 48);
    EXPECT_GE(readout->fontInfo().pixelSize(), 26);
    EXPECT_LE(readout->fontMetrics().horizontalAdvance(readout->text()), readout->contentsRect().width());
    // Longer than any jump yet: still whole on the panel, in a smaller but large size.
    m->pictureMouseDown(9000, 2000);
    c<QRadioButton>("Other_Grid")->click();
    prompter->yes().answer("99.9").answer("327.8");
    c<QPushButton>("Record")->click();
    ASSERT_EQ(readout->text(), "99.9 m   327.8 ft");
    EXPECT_LE(readout->fontMetrics().horizontalAdvance(readout->text()), readout->contentsRect().width());
    EXPECT_GE(readout->fontInfo().pixelSize(), 20);
    EXPECT_GE(readout->height(), 48);
    c<QRadioButton>("optJumpOK")->click();
    c<QPushButton>("Record")->click();
    ASSERT_EQ(readout->text(), "63.9 m   210 ft");

    // A new mark, a new picture and Clear each take the reading away.
    c<QPushButton>("Record")->click();
    m->pictureMouseDown(9000, 2000);
    EXPECT_EQ(readout->text(), "");
    c<QPushButton>("Record")->click();
    ASSERT_EQ(readout->text(), "63.9 m   210 ft");
    m->openFrame({path("videos/Annjump2.avi"), 10});
    EXPECT_EQ(readout->text(), "");
    m->pictureMouseDown(9000, 2000);
    c<QPushButton>("Record")->click();
    ASSERT_EQ(readout->text(), "63.9 m   210 ft");
    c<QPushButton>("Unfreeze")->click();
    EXPECT_EQ(readout->text(), "");
}

namespace {

double relativeLuminance(const QColor& c)
{
    auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// The WCAG 2 contrast ratio: 21 for black on white, 4.54 for #767676 on white.
double contrastRatio(const QColor& a, const QColor& b)
{
    const double la = relativeLuminance(a), lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

TEST_F(MeasureScreenTest, OptionalRerideIsLegibleInItsOwnColours)
{
    open();
    m->setDefaultColours();
    auto* option = c<QRadioButton>("O_reride");
    // The colour the style draws a radio button's label with, on the ground the control
    // paints or shows through.
    const QColor text = option->palette().color(QPalette::WindowText);
    const QColor ground = option->autoFillBackground() ? option->palette().color(option->backgroundRole())
                                                       : option->parentWidget()->palette().color(QPalette::Window);
    EXPECT_GE(contrastRatio(text, ground), 4.5) << text.name().toStdString() << " on " << ground.name().toStdString();
    // An operator's message colour replaces the text colour on the panel's own ground.
    m->setMessageColour(QColor(0, 0, 128));
    EXPECT_FALSE(option->autoFillBackground());
    EXPECT_EQ(option->palette().color(QPalette::WindowText), QColor(0, 0, 128));
}

TEST_F(MeasureScreenTest, FitsALaptopScreen)
{
    open();
    const QSize least = m->minimumSizeHint().expandedTo(m->minimumSize());
    // 1366x768 less a title bar and a task bar.
    EXPECT_LE(least.width(), 1366);
    EXPECT_LE(least.height(), 768 - 70) << least.height();
}

TEST_F(MeasureScreenTest, RoadTheSuggestedPointIsOfferedAndTakenOnlyWithA)
{
    ASSERT_TRUE(filled({640, 480}, Qt::darkBlue).save(path("program/currentcapture.bmp")));
    open();
    auto* take = c<QPushButton>("cmdTakeSuggestion");
    auto* figures = c<QLabel>("suggestedImpactFigures");
    FrameHandOver h;
    h.videoFile = path("videos/Annjump2.avi");
    h.frame = 43;
    h.suggestedImpact = QPointF(9000, 2000);   // the upper right buoy: 63.9 m with the allowance
    h.suggestedFrame = 43;
    m->openFrame(h);
    reactivate();

    EXPECT_TRUE(take->isEnabled());
    EXPECT_TRUE(figures->isVisibleTo(m));
    EXPECT_EQ(figures->text(), "Suggested 63.9m  210ft (A)");
    // A hollow circle on the overlay, and no mark: Record would still ask for one.
    const QImage drawn = m->canvas()->drawing();
    EXPECT_EQ(drawn.pixelColor(600 + 10, 133), QColor(0, 224, 112));   // 150 twips right of 9000, 2000
    EXPECT_FALSE(m->state().Marked);
    EXPECT_FALSE(shown("lineHorizontalImpact"));
    EXPECT_EQ(c<QLineEdit>("distance")->text(), "");

    // In the skier's name box the key types; on the picture it takes the point.
    c<QComboBox>("Skier_name")->setFocus();
    QTest::keyClick(c<QComboBox>("Skier_name"), Qt::Key_A);
    EXPECT_FALSE(m->state().Marked);
    m->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m));
    m->canvas()->surface()->setFocus();
    QTest::keyClick(m->canvas()->surface(), Qt::Key_A);
    EXPECT_TRUE(m->state().Marked);
    EXPECT_EQ(m->state().impact(), QPointF(9000, 2000));
    EXPECT_TRUE(shown("lineHorizontalImpact"));
    EXPECT_EQ(c<QLabel>("provisionalDistance")->text(),
              "Provisional, not recorded: 63.9m  210ft  +/- 10 cm\nOne picture pixel here: 14.0 cm on the water");
    EXPECT_EQ(c<QLineEdit>("distance")->text(), "m");   // taken, not recorded

    // A hand-over without a suggestion offers none; nor does Clear leave one behind.
    m->openFrame({path("videos/Annjump2.avi"), 10});
    reactivate();
    EXPECT_FALSE(take->isEnabled());
    EXPECT_FALSE(figures->isVisibleTo(m));
    m->openFrame(h);
    reactivate();
    ASSERT_TRUE(take->isEnabled());
    c<QPushButton>("Unfreeze")->click();
    EXPECT_FALSE(take->isEnabled());
    take->click();
    EXPECT_FALSE(m->state().Marked);
}

// A landing seen by two cameras: the grid switch brings the other camera's frame taken
// nearest in time, a mark in each gives two distances, and Record puts both and their
// difference in the evidence while the results line stays the current grid's.
TEST_F(MeasureScreenTest, RoadTwoCamerasMeasureOneLandingTwice)
{
    QDir().mkpath(path("videos"));
    const QString first = path("videos/Annjump1.avi"), second = path("videos/Annjump1-cam2.avi");
    ASSERT_TRUE(testclips::writeClip(first, testclips::Codec::Mjpeg, 20));
    ASSERT_TRUE(testclips::writeClip(second, testclips::Codec::Mjpeg, 20));
    FrameTimes a, b;
    for (int n = 0; n < 20; ++n) {
        a.micros << n * 40000;
        b.micros << n * 40000 + 25000;   // the second camera 25 ms behind: frame 9 matches its 8
    }
    QString error;
    ASSERT_TRUE(a.write(first + ".times", error));
    ASSERT_TRUE(b.write(second + ".times", error));
    ASSERT_EQ(extractFrame(*prompter, first, 9, path("program/currentcapture.bmp")), ExtractResult::Ok);
    open(2);
    s().ResultsFilePath = path("results.txt");
    FrameHandOver h;
    h.videoFile = first;
    h.frame = 9;
    h.cameraFiles = {{1, first}, {2, second}};
    m->openFrame(h);
    reactivate();
    ASSERT_EQ(m->shownCamera(), 1);
    EXPECT_EQ(testclips::frameNumberOf(m->canvas()->picture(), testclips::Codec::Mjpeg), 9);
    m->pictureMouseDown(9000, 2000);

    c<QPushButton>("Set_grid")->click();
    EXPECT_EQ(g().current_grid, 2);
    EXPECT_EQ(m->shownCamera(), 2);
    EXPECT_EQ(testclips::frameNumberOf(m->canvas()->picture(), testclips::Codec::Mjpeg), 8);
    EXPECT_EQ(s().MeasureVideoFile, second);
    EXPECT_EQ(s().MeasureFrameNumber, 8);
    EXPECT_FALSE(m->state().Marked);   // this camera's picture has no mark yet
    reactivate();                      // and an activation keeps its picture
    EXPECT_EQ(testclips::frameNumberOf(m->canvas()->picture(), testclips::Codec::Mjpeg), 8);
    m->pictureMouseDown(9300, 2000);   // the same buoy as camera 2 sees it
    ASSERT_EQ(m->cameraMarks().marks().size(), 2);
    EXPECT_NEAR(*m->cameraMarks().difference(), 1.019, 0.001);

    c<QPushButton>("Record")->click();
    ASSERT_EQ(prompter->messages(), QStringList());
    const QStringList files = QDir(path("")).entryList({"JumpEvidence*.jsonl"});
    ASSERT_EQ(files.size(), 1);
    const QJsonObject e = QJsonDocument::fromJson(readAll(path(files.first())).split('\n').first()).object();
    EXPECT_NEAR(e["distanceMetres"].toDouble(), 62.93, 0.01);   // grid 2, where Record was pressed
    EXPECT_EQ(e["source"].toObject()["frame"].toInt(), 8);
    const QJsonArray cameras = e["cameras"].toArray();
    ASSERT_EQ(cameras.size(), 2);
    EXPECT_EQ(cameras[0].toObject()["frame"].toInt(), 9);
    EXPECT_NEAR(cameras[0].toObject()["distanceMetres"].toDouble(), 63.95, 0.01);
    EXPECT_EQ(cameras[1].toObject()["video"].toString(), second);
    EXPECT_NEAR(cameras[1].toObject()["distanceMetres"].toDouble(), 62.93, 0.01);
    EXPECT_NEAR(e["cameraDifferenceMetres"].toDouble(), 1.019, 0.001);

    // Back on grid 1, camera 1's frame with its mark.
    c<QPushButton>("Set_grid")->click();
    EXPECT_EQ(m->shownCamera(), 1);
    EXPECT_EQ(testclips::frameNumberOf(m->canvas()->picture(), testclips::Codec::Mjpeg), 9);
    EXPECT_EQ(m->state().impact(), QPointF(9000, 2000));
}
