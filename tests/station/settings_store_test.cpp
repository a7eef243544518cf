#include "station/settings_store.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarvex;

TEST(SettingsStore, KeysMatchWithoutRegardToCaseAndSurviveReopening)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("TX05.ini");
    {
        SettingsStore s(ini);
        s.save("videoresolution", 3);
        s.save("logpath", QString("C:\\jumps"));
        s.save("TournamentName", QString("Spring Open, Lake Eloise"));
    }
    SettingsStore s(ini);
    EXPECT_EQ(s.getInt("VideoResolution", -1), 3);
    EXPECT_EQ(s.get("LOGPATH"), "C:\\jumps");
    EXPECT_EQ(s.get("tournamentname"), "Spring Open, Lake Eloise");
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("[Settings]"));
}

TEST(SettingsStore, AbsentAndForeignValuesGiveTheDefault)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("TX05.ini");
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Settings]\nframerate=fast\ndevice=99999\ngrids=2\nright2left=True\nboxlineoff=1\n");
    }
    SettingsStore s(ini);
    EXPECT_EQ(s.getInt("framerate", 0), 0);
    EXPECT_EQ(s.getInt("device", -1), -1);
    EXPECT_EQ(s.getDouble("grids", 0), 2);
    EXPECT_EQ(s.getInt("compression", -1), -1);
    EXPECT_EQ(s.get("logpath", "none"), "none");
    EXPECT_TRUE(s.getBool("right2left", false));
    EXPECT_TRUE(s.getBool("BoxLineOff", false));
    EXPECT_FALSE(s.getBool("absent", false));
}

TEST(SettingsStore, ABatchReachesTheFileWhenItsOutermostScopeEnds)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("TX05.ini");
    SettingsStore s(ini);
    {
        const SettingsStore::Batch outer(s);
        s.save("grids", 2);
        {
            const SettingsStore::Batch inner(s);
            s.save("logpath", QString("/jumps"));
        }
        EXPECT_FALSE(QFile::exists(ini));   // nothing written while the handler runs
        EXPECT_EQ(s.get("logpath"), "/jumps");
    }
    SettingsStore reread(ini);
    EXPECT_EQ(reread.getInt("grids", 0), 2);
    EXPECT_EQ(reread.get("logpath"), "/jumps");
    EXPECT_TRUE(s.lastWriteOk());
}

TEST(SettingsStore, AMalformedFileReadAtStartDoesNotMakeLaterSavesLookFailed)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("TX05.ini");
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Settings\n\x01\x02garbage=\"unterminated\n");
    }
    SettingsStore s(ini);
    s.save("grids", 3);
    EXPECT_TRUE(s.lastWriteOk());
}

TEST(SettingsStore, NumbersFarOutOfRangeReadAsTheDefault)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("TX05.ini");
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Settings]\ngrids=1e19\nbarefoot=-1e300\nframerate=nan\ndevice=inf\n");
    }
    SettingsStore s(ini);
    EXPECT_EQ(s.getInt("grids", 1), 1);
    EXPECT_EQ(s.getInt("barefoot", 0), 0);
    EXPECT_EQ(s.getInt("framerate", 15), 15);
    EXPECT_EQ(s.getInt("device", -1), -1);
}
