#include "widgets/frame_view.h"
#include "widgets/picture_canvas.h"
#include "support/widget_lookup.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

using namespace tarvex;
using tarvex::test::child;

namespace {

// Frame n is a 4 x 3 picture of grey level 10 n, so a picture names its frame. With a gate,
// each decode waits until the test lets it through.
class NumberedFrames : public ClipSource {
public:
    NumberedFrames(int count, double rate, bool gated = false) : count_(count), rate_(rate), gated_(gated) {}
    int frameCount() const override { return count_; }
    double frameRate() const override { return rate_; }
    QImage frame(int n) override
    {
        std::unique_lock<std::mutex> lock(m_);
        asked_.push_back(n);
        if (gated_) {
            cv_.wait(lock, [this] { return passes_ > 0; });
            --passes_;
        }
        if (n == broken)
            return {};
        QImage img(4, 3, QImage::Format_RGB32);
        img.fill(qRgb(10 * n, 10 * n, 10 * n));
        return img;
    }
    // A damaged frame shows the picture before, as the video reader gives it.
    QImage frameAndState(int n, bool& isDamaged) override
    {
        isDamaged = n == damaged;
        return frame(isDamaged ? n - 1 : n);
    }
    int damaged = -1;
    void let(int decodes)
    {
        {
            std::lock_guard<std::mutex> lock(m_);
            passes_ += decodes;
        }
        cv_.notify_all();
    }
    int broken = -1;
    std::vector<int> asked()
    {
        std::lock_guard<std::mutex> lock(m_);
        return asked_;
    }

private:
    int count_;
    double rate_;
    bool gated_;
    std::mutex m_;
    std::condition_variable cv_;
    int passes_ = 0;
    std::vector<int> asked_;
};

int pictureNumber(const FrameView& v) { return qGray(v.canvas()->picture().pixel(0, 0)) / 10; }

bool waitShown(const FrameView& v, int n) { return QTest::qWaitFor([&] { return v.shownFrame() == n; }, 3000); }

void key(QWidget* to, int k, bool autoRepeat = false, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent e(QEvent::KeyPress, k, mods, QString(), autoRepeat);
    QApplication::sendEvent(to, &e);
}

} // namespace

TEST(FrameView, ShowsTheFrameWithItsNumberTimeAndSliderTogether)
{
    FrameView v;
    auto src = std::make_shared<NumberedFrames>(20, 25);
    v.setSource(src, 3);
    ASSERT_TRUE(waitShown(v, 3));
    EXPECT_EQ(pictureNumber(v), 3);
    EXPECT_EQ(child<QLabel>(&v, "frameNumber")->text(), "Frame 3");
    EXPECT_EQ(child<QLabel>(&v, "frameTime")->text(), "0.120 s");
    EXPECT_EQ(child<QSlider>(&v, "frameSlider")->maximum(), 19);
    EXPECT_EQ(child<QSlider>(&v, "frameSlider")->value(), 3);

    child<QSlider>(&v, "frameSlider")->setValue(17);
    ASSERT_TRUE(waitShown(v, 17));
    EXPECT_EQ(pictureNumber(v), 17);
    EXPECT_EQ(child<QLabel>(&v, "frameTime")->text(), "0.680 s");

    v.requestFrame(99);   // beyond the clip: its last frame
    ASSERT_TRUE(waitShown(v, 19));
}

TEST(FrameView, TimeTextHasThreeDecimals)
{
    EXPECT_EQ(FrameView::timeText(75, 30), "2.500 s");
    EXPECT_EQ(FrameView::timeText(1, 29.97), "0.033 s");
    EXPECT_EQ(FrameView::timeText(0, 25), "0.000 s");
    EXPECT_EQ(FrameView::timeText(5, 0), "-.--- s");
}

TEST(FrameView, NewestRequestWinsAndTheNumberAlwaysMatchesThePicture)
{
    FrameView v;
    auto src = std::make_shared<NumberedFrames>(50, 30, true);
    int mismatches = 0;
    QObject::connect(&v, &FrameView::frameShown, [&](int n) {
        if (pictureNumber(v) != n || child<QLabel>(&v, "frameNumber")->text() != FrameView::frameText(n))
            ++mismatches;
    });
    v.setSource(src, 0);   // frame 0 is being decoded and waits at the gate
    for (int n = 1; n <= 6; ++n)
        v.requestFrame(n);
    EXPECT_EQ(v.requestedFrame(), 6);
    src->let(2);
    ASSERT_TRUE(waitShown(v, 6));
    // Only the frame in flight and the newest request were decoded.
    EXPECT_EQ(src->asked(), (std::vector<int>{0, 6}));
    EXPECT_EQ(mismatches, 0);
    EXPECT_FALSE(v.busy());
}

TEST(FrameView, HeldKeyNeverQueuesButEveryTapCounts)
{
    FrameView v;
    auto src = std::make_shared<NumberedFrames>(50, 30, true);
    v.setSource(src, 10);
    src->let(1);
    ASSERT_TRUE(waitShown(v, 10));

    QWidget* canvas = v.canvas();
    key(canvas, Qt::Key_Right);         // 11 in flight (held at the gate)
    key(canvas, Qt::Key_Right, true);   // a repeat while nothing waits: 12 waits
    for (int i = 0; i < 8; ++i)
        key(canvas, Qt::Key_Right, true);   // repeats while 12 waits: dropped
    EXPECT_EQ(v.requestedFrame(), 12);
    key(canvas, Qt::Key_Right);         // a tap is never dropped
    EXPECT_EQ(v.requestedFrame(), 13);
    src->let(2);
    ASSERT_TRUE(waitShown(v, 13));
    EXPECT_EQ(src->asked(), (std::vector<int>{10, 11, 13}));

    // Numeric pad 4 and 6 step as the arrows do; plain 4 and 6 do not.
    src->let(10);
    key(canvas, Qt::Key_4, false, Qt::KeypadModifier);
    ASSERT_TRUE(waitShown(v, 12));
    key(canvas, Qt::Key_6, false, Qt::KeypadModifier);
    ASSERT_TRUE(waitShown(v, 13));
    key(canvas, Qt::Key_6);
    EXPECT_EQ(v.requestedFrame(), 13);

    v.setKeyStepping(false);
    key(canvas, Qt::Key_Left);
    EXPECT_EQ(v.requestedFrame(), 13);
}

TEST(FrameView, StepsStopAtBothEndsOfTheClip)
{
    FrameView v;
    auto src = std::make_shared<NumberedFrames>(3, 30);
    v.setSource(src, 0);
    ASSERT_TRUE(waitShown(v, 0));
    EXPECT_FALSE(v.step(-1));
    EXPECT_EQ(v.requestedFrame(), 0);
    EXPECT_TRUE(v.step(1));
    EXPECT_TRUE(v.step(1));
    EXPECT_FALSE(v.step(1));
    ASSERT_TRUE(waitShown(v, 2));
    EXPECT_EQ(src->asked().size(), 3u);
}

TEST(FrameView, ReleasingTheClipLetsGoOfTheSourceAtOnce)
{
    FrameView v;
    auto src = std::make_shared<NumberedFrames>(10, 30);
    std::weak_ptr<NumberedFrames> weak = src;
    v.setSource(std::move(src), 4);
    v.clearSource();
    // A decode already running keeps it until it ends, on the worker.
    EXPECT_TRUE(QTest::qWaitFor([&] { return weak.expired(); }, 3000));
    EXPECT_EQ(v.shownFrame(), -1);
    // A decode that was on its way is not shown for a clip that is gone.
    QTest::qWait(20);
    EXPECT_EQ(v.shownFrame(), -1);
    EXPECT_FALSE(v.canvas()->hasPicture());
    EXPECT_FALSE(v.step(1));
}

TEST(FrameView, ANewClipNeverWaitsForTheOldDecodeAndItsPictureNeverShows)
{
    FrameView v;
    std::vector<int> shown;
    QObject::connect(&v, &FrameView::frameShown, [&](int n) { shown.push_back(n); });
    auto old = std::make_shared<NumberedFrames>(10, 30, true);
    auto* oldFrames = old.get();
    v.setSource(old, 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return oldFrames->asked() == std::vector<int>{3}; }, 3000));

    // The old decode is held at its gate: a waiting setSource would never return here.
    v.setSource(std::make_shared<NumberedFrames>(10, 30), 5);
    EXPECT_EQ(v.shownFrame(), -1);
    EXPECT_FALSE(v.canvas()->hasPicture());
    oldFrames->let(1);
    ASSERT_TRUE(waitShown(v, 5));
    QTest::qWait(20);
    EXPECT_EQ(shown, std::vector<int>{5});
    EXPECT_EQ(pictureNumber(v), 5);
    EXPECT_EQ(v.shownImage().pixel(0, 0), qRgb(50, 50, 50));
}

TEST(FrameView, LivePictureHasNoSliderOrNumber)
{
    FrameView v;
    v.setSource(std::make_shared<NumberedFrames>(10, 30), 2);
    ASSERT_TRUE(waitShown(v, 2));
    QImage live(8, 6, QImage::Format_RGB32);
    live.fill(Qt::green);
    v.showImage(live);
    EXPECT_FALSE(v.hasSource());
    EXPECT_EQ(v.canvas()->picture().size(), QSize(8, 6));
    EXPECT_TRUE(child<QSlider>(&v, "frameSlider")->isHidden());
    EXPECT_TRUE(child<QLabel>(&v, "frameNumber")->isHidden());
}

TEST(FrameView, ADamagedFrameIsSaidAndCanBeSteppedPast)
{
    FrameView v;
    auto src = std::make_shared<NumberedFrames>(10, 30);
    src->broken = 2;
    v.setSource(src, 1);
    ASSERT_TRUE(waitShown(v, 1));
    int failed = -1;
    QObject::connect(&v, &FrameView::frameFailed, [&](int n) { failed = n; });
    v.step(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return failed == 2; }, 3000));
    EXPECT_EQ(v.shownFrame(), 1);
    EXPECT_EQ(pictureNumber(v), 1);
    EXPECT_EQ(child<QLabel>(&v, "frameNumber")->text(), "Frame 1");
    EXPECT_FALSE(child<QLabel>(&v, "frameProblem")->isHidden());
    EXPECT_EQ(child<QLabel>(&v, "frameProblem")->text(), "Frame 2 cannot be read");
    v.step(1);
    ASSERT_TRUE(waitShown(v, 3));
    EXPECT_TRUE(child<QLabel>(&v, "frameProblem")->isHidden());
}

TEST(FrameView, ADamagedFrameIsShownAndSaidUntilAGoodOneReplacesIt)
{
    FrameView v;
    auto src = std::make_shared<NumberedFrames>(10, 30);
    src->damaged = 4;
    v.setSource(src, 4);
    ASSERT_TRUE(waitShown(v, 4));
    EXPECT_EQ(pictureNumber(v), 3);
    EXPECT_TRUE(v.shownDamaged());
    EXPECT_EQ(child<QLabel>(&v, "frameNumber")->text(), "Frame 4");
    EXPECT_FALSE(child<QLabel>(&v, "frameProblem")->isHidden());
    EXPECT_EQ(child<QLabel>(&v, "frameProblem")->text(), "Frame 4 is damaged");
    v.step(1);
    ASSERT_TRUE(waitShown(v, 5));
    EXPECT_FALSE(v.shownDamaged());
    EXPECT_TRUE(child<QLabel>(&v, "frameProblem")->isHidden());
    // A new clip starts with nothing said.
    v.setSource(std::make_shared<NumberedFrames>(10, 30), 0);
    EXPECT_FALSE(v.shownDamaged());
    EXPECT_TRUE(child<QLabel>(&v, "frameProblem")->isHidden());
}
