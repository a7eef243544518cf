#include "widgets/nudge_pad.h"

#include "support/widget_lookup.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarvex;
using namespace tarvex::test;

namespace {

struct Nudge {
    double dx, dy;
};

QList<Nudge> nudges(const QSignalSpy& spy)
{
    QList<Nudge> out;
    for (const QList<QVariant>& args : spy)
        out.append({args[0].toDouble(), args[1].toDouble()});
    return out;
}

TEST(NudgePadTest, EachArrowNudgesOneStepItsWay)
{
    QWidget screen;
    NudgePad pad(&screen, {40, 60}, 15);
    QSignalSpy spy(&pad, &NudgePad::nudged);
    for (const char* name : {"AdjustUp", "AdjustDown", "AdjustLeft", "AdjustRight"})
        child<QPushButton>(&screen, name)->click();
    const QList<Nudge> got = nudges(spy);
    ASSERT_EQ(got.size(), 4);
    EXPECT_EQ(got[0].dx, 0);
    EXPECT_EQ(got[0].dy, -15);
    EXPECT_EQ(got[1].dx, 0);
    EXPECT_EQ(got[1].dy, 15);
    EXPECT_EQ(got[2].dx, -15);
    EXPECT_EQ(got[2].dy, 0);
    EXPECT_EQ(got[3].dx, 15);
    EXPECT_EQ(got[3].dy, 0);
}

TEST(NudgePadTest, ButtonsSitWhereTheScreensAlwaysHadThem)
{
    QWidget screen;
    NudgePad pad(&screen, {40, 60}, 15);
    auto at = [&](const char* name) {
        QWidget* b = child<QPushButton>(&screen, name);
        return QRect(b->mapTo(&screen, QPoint(0, 0)), b->size());
    };
    EXPECT_EQ(at("AdjustUp"), QRect(70, 60, 28, 28));
    EXPECT_EQ(at("AdjustLeft"), QRect(40, 90, 28, 28));
    EXPECT_EQ(at("AdjustRight"), QRect(100, 90, 28, 28));
    EXPECT_EQ(at("AdjustDown"), QRect(70, 120, 28, 28));
    EXPECT_FALSE(child<QPushButton>(&screen, "AdjustUp")->icon().isNull());
    // The middle of the pad is no button and must leave the picture clickable.
    EXPECT_FALSE(pad.mask().contains(QPoint(44, 44)));
    EXPECT_TRUE(pad.mask().contains(QPoint(44, 14)));
}

TEST(NudgePadTest, ArrowKeysNudgeByAStepAndShiftByTen)
{
    QWidget screen;
    NudgePad pad(&screen, {0, 0}, 15);
    QSignalSpy spy(&pad, &NudgePad::nudged);
    EXPECT_TRUE(pad.nudgeForKey(QKeyEvent(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier)));
    EXPECT_TRUE(pad.nudgeForKey(QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::ShiftModifier)));
    EXPECT_FALSE(pad.nudgeForKey(QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier)));
    EXPECT_FALSE(pad.nudgeForKey(QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::ShiftModifier)));
    const QList<Nudge> got = nudges(spy);
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0].dx, -15);
    EXPECT_EQ(got[0].dy, 0);
    EXPECT_EQ(got[1].dx, 0);
    EXPECT_EQ(got[1].dy, 150);
}

} // namespace
