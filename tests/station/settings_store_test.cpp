#include "station/settings_store.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST(SettingsText, ReadsTheFormsEarlierVersionsWroteAndKeepsOtherSections)
{
    const SettingsText t = parseSettings(
        "; by hand\r\n[General]\r\nfoo=1\r\n[Settings]\r\nGrids=3\r\nlogpath=C:\\\\jumps\r\nhand=C:\\jumps\r\n"
        "TournamentName=\"Spring Open, Lake Eloise\"\r\nlist=a , b ,c\r\nat=@@home\r\ngone=@Invalid()\r\n"
        "esc=\\x0041\\101\\t!\r\nkey%20one= padded \r\n#note=1\r\n[Other]\r\nx=\"y\r\n");
    EXPECT_EQ(t.values, (QMap<QString, QString>{{"grids", "3"},
                                                {"logpath", "C:\\jumps"},
                                                {"hand", "C:\\jumps"},
                                                {"tournamentname", "Spring Open, Lake Eloise"},
                                                {"list", "a, b, c"},
                                                {"at", "@home"},
                                                {"esc", "AA\t!"},
                                                {"key one", "padded"}}));
    EXPECT_EQ(t.leadingLines, QStringList{"; by hand"});
    EXPECT_EQ(t.otherLines, (QStringList{"[General]", "foo=1", "[Other]", "x=\"y"}));
    EXPECT_EQ(settingsBytes(t), QByteArray("; by hand\n[Settings]\nat=@@home\nesc=AA\\t!\ngrids=3\nhand=C:\\\\jumps\n"
                                           "key%20one=padded\nlist=\"a, b, c\"\nlogpath=C:\\\\jumps\n"
                                           "tournamentname=\"Spring Open, Lake Eloise\"\n\n[General]\nfoo=1\n[Other]\nx=\"y\n"));
}

TEST(SettingsText, AwkwardValuesSurviveASaveAndAReopening)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("TX05.ini");
    const QStringList values{" lead and trail ", "a,b;c=d", "say \"hi\"", "C:\\new\\", "two\nlines\r", "@at",
                             QString::fromUtf8("Jos\xC3\xA9 \xF0\x9F\x8F\x84"), QString(QChar(0xFEFF)) + "x", ""};
    {
        SettingsStore s(ini);
        const SettingsStore::Batch batch(s);
        for (int k = 0; k < values.size(); ++k)
            s.save(QString("v%1").arg(k), values[k]);
    }
    SettingsStore s(ini);
    for (int k = 0; k < values.size(); ++k)
        EXPECT_EQ(s.get(QString("v%1").arg(k), "absent"), values[k]) << k;
}

TEST(SettingsText, WholeNumbersAreSixteenBitAndCheckedBeforeTheyAreRounded)
{
    EXPECT_EQ(settingsInt(" 32767.4 "), 32767);
    EXPECT_EQ(settingsInt("-32768.5"), -32768);   // the even neighbour
    EXPECT_EQ(settingsInt("2.5"), 2);
    EXPECT_EQ(settingsInt("32767.5"), std::nullopt);
    EXPECT_EQ(settingsInt("1e19"), std::nullopt);
    EXPECT_EQ(settingsInt("-inf"), std::nullopt);
    EXPECT_EQ(settingsInt("3 grids"), std::nullopt);
    EXPECT_EQ(settingsBool("nan"), std::nullopt);
    EXPECT_EQ(settingsBool("-0.5"), true);
    EXPECT_EQ(settingsBool("FALSE"), false);
    EXPECT_EQ(settingsDouble("1e400"), std::nullopt);
}

TEST(SettingsStore, AFileTooLargeOrNotRegularIsLeftAloneAndTheDefaultsServe)
{
    QTemporaryDir dir;
    const QString big = dir.filePath("big.ini");
    const QByteArray bytes = "[Settings]\ngrids=3\n" + QByteArray(1024 * 1024, ';');
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    SettingsStore s(big);
    EXPECT_EQ(s.loadError(), "The settings file " + QDir::toNativeSeparators(big) +
                                 " cannot be read: it is larger than 1 MiB. Tarvex starts with its default settings and "
                                 "leaves that file as it is; changes made now are lost when Tarvex ends.");
    EXPECT_EQ(s.getInt("grids", 1), 1);
    s.save("grids", 2);
    EXPECT_FALSE(s.lastWriteOk());
    EXPECT_EQ(s.getInt("grids", 1), 2);   // kept for this run
    QFile f(big);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), bytes);

    const QString pipe = dir.filePath("pipe.ini");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    SettingsStore p(pipe);   // would hang if it were opened
    EXPECT_TRUE(p.loadError().contains("it is not a regular file"));
    EXPECT_TRUE(SettingsStore(dir.filePath("new.ini")).loadError().isEmpty());
}

TEST(SettingsStore, TemporaryFilesOfAnEarlierKilledSaveAreRemoved)
{
    QTemporaryDir dir;
    for (const char* name : {"TX05.ini.Ab12Cd", "other.ini.Ab12Cd"}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
    }
    SettingsStore s(dir.filePath("TX05.ini"));
    s.save("grids", 2);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files, QDir::Name), (QStringList{"TX05.ini", "other.ini.Ab12Cd"}));
}

TEST(SettingsStore, StoresOnOneFileSeeEachOthersSavesAndNoneIsLost)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("TX05.ini");
    SettingsStore station(ini);
    SettingsStore other(ini);
    other.save("logpath", QString("/jumps"));
    EXPECT_EQ(station.get("logpath"), "/jumps");
    station.save("grids", 2);
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("[Settings]\ngrids=2\nlogpath=/jumps\n"));
}
