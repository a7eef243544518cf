#include "review/contact_detector.h"

#include "capture/avi_recorder.h"
#include "capture/rehearsal_camera.h"
#include "grid/grid_geometry.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace tarvex;

namespace {

// A scene of our own, unlike the rehearsal camera: a grey-green river seen side on, waves
// running across it, glints flashing for one frame, a skier in yellow who comes in low from
// the left with a shadow and is drawn over the spray, which grows from a hand's breadth at
// the touchdown point. The
// skis touch at 1.43 s: at 30 fps the first frame that shows it is frame 43.
struct Scene {
    bool lands = true;
    double touchdown = 1.43;                 // seconds
    QPointF impact{212.0, 181.0};            // pixels
    int glintsPerFrame = 6;

    QImage frame(int n, double fps) const
    {
        const double t = n / fps;
        QImage img(320, 240, QImage::Format_RGB32);
        QPainter p(&img);
        p.fillRect(0, 0, 320, 70, QColor(190, 200, 170));   // far bank, pale but coloured
        for (int y = 70; y < 240; ++y) {
            const int wave = int(18 * std::sin(0.21 * y - 5.0 * t) + 8 * std::sin(0.05 * y + 0.3 * n));
            p.fillRect(0, y, 320, 1, QColor(50 + wave / 2, 90 + wave, 80 + wave));
        }
        std::mt19937 rng(unsigned(n) * 7919u + 17u);
        std::uniform_int_distribution<int> gx(0, 317), gy(72, 237);
        for (int g = 0; g < glintsPerFrame; ++g)
            p.fillRect(gx(rng), gy(rng), 2, 2, QColor(255, 255, 250));

        // The skier runs left to right at 160 px/s, dropping onto the water at the touchdown.
        const double x = impact.x() + 160 * (t - touchdown);
        const double lift = t < touchdown ? std::min(30.0, 60 * (touchdown - t)) : 0.0;
        const QPointF feet(x, impact.y() - lift);
        if (x > -20 && x < 340) {
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(20, 45, 45));                                   // shadow on the water
            p.drawEllipse(QPointF(x, impact.y() + 2), 9, 2);
            if (lands && t >= touchdown) {
                const double age = t - touchdown;
                const double r = 3 + 30 * age;
                if (age < 1.0) {
                    p.setBrush(QColor(245, 248, 250, int(235 * (1 - age))));
                    p.drawEllipse(QRectF(impact.x() - r, impact.y() - 1.4 * r, 2 * r, 1.6 * r));
                }
            }
            p.setBrush(QColor(230, 190, 20));                                 // body
            p.drawRect(QRectF(feet.x() - 3, feet.y() - 22, 6, 18));
            p.setBrush(QColor(20, 20, 20));                                   // skis
            p.drawRect(QRectF(feet.x() - 11, feet.y() - 1.5, 22, 3));
        }
        return img;
    }

    ContactFrames frames(int count, double fps) const
    {
        return ContactFrames{count, fps, [this, fps](int n) { return frame(n, fps); }};
    }
};

RehearsalScript script(QPointF survey, double seconds)
{
    RehearsalScript s;
    s.contactSurvey = survey;
    s.contactSeconds = seconds;
    return s;
}

ContactGrid gridOf(const RehearsalLayout& l)
{
    GridState g;
    for (int k = 1; k <= kBuoyCount; ++k) {
        const QPointF px = l.pixelOf(l.buoySurvey[size_t(k - 1)]) * kTwipsPerPixel;
        g.buoy_screen_x[k] = px.x();
        g.buoy_screen_y[k] = px.y();
        g.buoy_survey_x[k] = l.buoySurvey[size_t(k - 1)].x();
        g.buoy_survey_y[k] = l.buoySurvey[size_t(k - 1)].y();
    }
    EXPECT_TRUE(solve_coefficients(g));
    return *contactGridOf(g);
}

bool writeRehearsalClip(const QString& path, VideoCodec codec, QSize size, int fps, int frames, RehearsalScript s)
{
    const RehearsalRenderer r(size, s);
    RecorderSettings rs;
    rs.path = path;
    rs.size = size;
    rs.framesPerSecond = fps;
    rs.codec = codec;
    QString error;
    auto rec = AviRecorder::create(rs, error);
    if (!rec)
        return false;
    for (int f = 0; f < frames; ++f)
        if (!rec->writeVideo(r.render(f, fps), f, error))
            return false;
    return rec->finish(error);
}

} // namespace

TEST(ContactDetector, FindsTheFirstFrameOfSprayAmidWavesGlintsAndAShadow)
{
    const Scene scene;
    const auto at30 = detectContact(scene.frames(120, 30));
    ASSERT_TRUE(at30);
    EXPECT_EQ(at30->frame, 43);
    // Twips of the touchdown point (212, 181) px, within 4 px: the skier is 25 px tall, so
    // that is under 30 cm on the water.
    EXPECT_NEAR(at30->impactTwips.x(), 3180, 60);
    EXPECT_NEAR(at30->impactTwips.y(), 2715, 60);
    EXPECT_GE(at30->confidence, 0.5);

    // At 60 fps the touchdown at 1.43 s is first seen on frame 86.
    const auto at60 = detectContact(scene.frames(240, 60));
    ASSERT_TRUE(at60);
    EXPECT_EQ(at60->frame, 86);
}

TEST(ContactDetector, SuggestsNothingWithoutALandingOrFrames)
{
    Scene flyBy;
    flyBy.lands = false;
    flyBy.glintsPerFrame = 30;   // a sunny, choppy day: plenty of white that is no spray
    EXPECT_FALSE(detectContact(flyBy.frames(150, 30)));

    EXPECT_FALSE(detectContact(ContactFrames{0, 30, [](int) { return QImage(); }}));
    EXPECT_FALSE(detectContact(ContactFrames{90, 30, [](int) { return QImage(); }}));
    // A landing whose every other frame cannot be read still has its spray seen.
    const Scene scene;
    const auto gappy = detectContact(ContactFrames{120, 30, [&scene](int n) {
                                                       return n % 2 ? QImage() : scene.frame(n, 30);
                                                   }});
    ASSERT_TRUE(gappy);
    EXPECT_NEAR(gappy->frame, 44, 1);
}

TEST(ContactDetector, LooksOnlyAtTheWaterOfTheGridAndGivesUpWhenCancelled)
{
    // The landing lies far outside a grid whose buoys sit in the picture's upper left corner.
    const Scene scene;
    ContactOptions elsewhere;
    ContactGrid g;
    g.buoyTwips = {QPointF(1200, 1100), QPointF(1200, 1400), QPointF(150, 1100), QPointF(150, 1400)};
    GridState gs;
    gs.mapping_coefficients[1] = 0.001;
    gs.mapping_coefficients[5] = 0.001;
    g.mapping = PlaneMapping::fromGrid(gs);
    elsewhere.grid = g;
    EXPECT_FALSE(detectContact(scene.frames(120, 30), elsewhere));

    std::atomic<bool> stop{true};
    ContactOptions cancelled;
    cancelled.cancel = &stop;
    EXPECT_FALSE(detectContact(scene.frames(120, 30), cancelled));
}

TEST(ContactDetector, ReadsMjpegAndH264RecordingsOfTheRehearsalCamera)
{
    QTemporaryDir dir;
    // Survey point (47.5, -2.3) m at 1.9 s: frame 57 at 30 fps.
    const RehearsalScript s = script(QPointF(47.5, -2.3), 1.9);
    const RehearsalLayout layout = RehearsalLayout::forSize(QSize(640, 480));
    const ContactGrid grid = gridOf(layout);
    for (VideoCodec codec : {VideoCodec::Mjpeg, VideoCodec::H264Intra}) {
        if (!availableVideoCodecs().contains(codec))
            continue;
        const QString path = dir.filePath(QStringLiteral("pass%1.avi").arg(int(codec)));
        ASSERT_TRUE(writeRehearsalClip(path, codec, QSize(640, 480), 30, 90, s));
        ContactOptions o;
        o.grid = grid;
        QString error;
        const auto found = detectContact(path, o, &error);
        ASSERT_TRUE(found) << qPrintable(videoCodecName(codec)) << " " << qPrintable(error);
        EXPECT_EQ(found->frame, 57) << qPrintable(videoCodecName(codec));
        const auto water = grid.mapping.surveyFromScreen(found->impactTwips);
        ASSERT_TRUE(water);
        EXPECT_NEAR(water->x(), 47.5, 0.3);
        EXPECT_NEAR(water->y(), -2.3, 0.3);
    }
    QString error;
    EXPECT_FALSE(detectContact(dir.filePath(QStringLiteral("missing.avi")), {}, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ContactDetector, JobDeliversOnItsContextThreadAndNotAfterItIsGone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pass.avi"));
    ASSERT_TRUE(writeRehearsalClip(path, VideoCodec::Mjpeg, QSize(320, 240), 30, 60, script(QPointF(50, 0), 1.0)));
    QObject context;
    int calls = 0;
    std::optional<ContactSuggestion> got;
    Qt::HANDLE thread = nullptr;
    {
        ContactJob job(path, {}, &context, [&](std::optional<ContactSuggestion> s) {
            ++calls;
            got = s;
            thread = QThread::currentThreadId();
        });
        EXPECT_EQ(job.path(), path);
        QTRY_VERIFY_WITH_TIMEOUT(calls == 1, 10000);
        EXPECT_TRUE(job.finished());
        EXPECT_EQ(job.result(), got);
    }
    ASSERT_TRUE(got);
    EXPECT_EQ(got->frame, 30);
    EXPECT_EQ(thread, QThread::currentThreadId());

    // A job dropped at once (the review closed) never calls back.
    int late = 0;
    {
        ContactJob job(path, {}, &context, [&](std::optional<ContactSuggestion>) { ++late; });
    }
    QTest::qWait(50);
    QCoreApplication::processEvents();
    EXPECT_EQ(late, 0);
}
