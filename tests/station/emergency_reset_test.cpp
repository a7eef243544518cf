#include "station/emergency_reset.h"
#include "testkit/scripted_prompter.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarvex;

namespace {

struct ResetFixture : ::testing::Test {
    QTemporaryDir dir;
    SettingsStore store{dir.filePath("TX05.ini")};
    ScriptedPrompter p;

    void SetUp() override
    {
        store.save("logpath", QString("C:\\jumps"));
        store.save("logfile", QString("JumpMeasurementLog120626.txt"));
        store.save("barefoot", 1);
        store.save("compression", 2);
        store.save("device", 1);
        store.save("framerate", QString("30"));
        store.save("grid1File", QString("/grids/one.ipt"));
        store.save("grid2File", QString("/grids/two.ipt"));
        store.save("tournamentType", QString("sitski"));
    }
};

} // namespace

TEST_F(ResetFixture, NoAtTheFirstQuestionAsksNothingElseAndChangesNothing)
{
    p.no();
    EmergencyReset(p, store);
    ASSERT_EQ(p.shown().size(), 1);
    EXPECT_EQ(p.shown()[0].title, "Emergency Parameter Reset");
    EXPECT_EQ(p.shown()[0].text, "Do you want to reset all parameters to install values?");
    EXPECT_EQ(p.shown()[0].icon, Icon::Question);
    EXPECT_TRUE(p.shown()[0].defaultNo);
    EXPECT_EQ(store.get("logpath"), "C:\\jumps");
    EXPECT_EQ(p.unexpected(), 0);
}

TEST_F(ResetFixture, EveryKeyIsOfferedWithItsValueAndOnlyTheConfirmedOneIsCleared)
{
    p.yes().yes();
    for (int i = 0; i < 6; ++i)
        p.no();
    p.yes().no();   // only the Grid 2 File question answered Yes
    EmergencyReset(p, store);

    const QStringList expected = {
        "Do you want to reset all parameters to install values?",
        "Are you certain? This means you are crashing and can't operate",
        "Logpath = C:\\jumps Clear it?",
        "barefoot = 1 Clear it?",
        "compression = 2 Clear it?",
        "device = 1 Clear it?",
        "framerate = 30 Clear it?",
        "Grid 1 File = /grids/one.ipt Clear it?",
        "Grid 2 File = /grids/two.ipt Clear it?",
        "Grid 3 File = 0 Clear it?",   // absent keys show the number 0
    };
    EXPECT_EQ(p.texts(), expected);
    for (const auto& s : p.shown())
        EXPECT_EQ(s.title, "Emergency Parameter Reset");
    EXPECT_EQ(store.get("grid2File", "absent"), "");
    EXPECT_EQ(store.get("grid1File"), "/grids/one.ipt");
    EXPECT_EQ(store.get("logpath"), "C:\\jumps");
    EXPECT_EQ(store.get("tournamentType"), "sitski");
    EXPECT_FALSE(store.contains("grid3File"));
    EXPECT_EQ(p.unexpected(), 0);
}

TEST_F(ResetFixture, ClearingTheLogPathAlsoForgetsTheLogFileAndNumbersBecomeZero)
{
    p.yes().yes().yes().yes().yes().yes().yes().no().no().no();
    EmergencyReset(p, store);
    EXPECT_EQ(store.get("logpath", "absent"), "");
    EXPECT_EQ(store.get("logfile", "absent"), "");
    EXPECT_EQ(store.get("barefoot"), "0");
    EXPECT_EQ(store.get("compression"), "0");
    EXPECT_EQ(store.get("device"), "0");
    EXPECT_EQ(store.get("framerate"), "0");
    EXPECT_EQ(store.get("grid1File"), "/grids/one.ipt");
}

TEST_F(ResetFixture, NoAtTheSecondQuestionEndsTheReset)
{
    p.yes().no();
    EmergencyReset(p, store);
    EXPECT_EQ(p.shown().size(), 2);
    EXPECT_EQ(store.get("device"), "1");
}
