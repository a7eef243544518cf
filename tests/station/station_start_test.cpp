#include "support/station_fixture.h"

using namespace tarvex;
using namespace tarvex::test;

namespace {

struct StationStartTest : StationFixture {};

TEST_F(StationStartTest, ASettingsFileThatCannotBeReadIsNamedFirstAndNeverOverwritten)
{
    const QByteArray bytes = "[Settings]\nlogpath=" + videos().toUtf8() + "\n" + QByteArray(1024 * 1024, ';');
    {
        QFile f(settingsFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    prompter->no().answer(videos());   // the emergency reset, then the folder the defaults lack
    makeStation().start();
    ASSERT_FALSE(prompter->shown().isEmpty());
    EXPECT_EQ(prompter->shown()[0].text,
              "The settings file " + QDir::toNativeSeparators(settingsFile()) +
                  " cannot be read: it is larger than 1 MiB. Tarvex starts with its default settings and leaves that "
                  "file as it is; changes made now are lost when Tarvex ends.");
    station.reset();
    EXPECT_EQ(readAll(settingsFile()), bytes);
}

} // namespace

namespace {

TEST_F(StationStartTest, StartUpRemovesWhatAKilledReplaceLeftBehindAndNothingElse)
{
    storeSetting("logpath", videos());
    const auto make = [](const QString& path, int ageSeconds) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds), QFileDevice::FileModificationTime);
    };
    make(path("txio/txresult.dst.Ab12Cd"), 60);
    make(path("txio/txraw.dst"), 60);
    make(path("program/currentcapture.bmp.x9Y8z7"), 60);
    make(path("program/notes.txt.x9Y8z7"), 60);
    prompter->no();
    makeStation().start();
    EXPECT_EQ(QDir(path("txio")).entryList(QDir::Files), QStringList{"txraw.dst"});
    EXPECT_EQ(QDir(path("program")).entryList(QDir::Files), QStringList{"notes.txt.x9Y8z7"});
}

} // namespace
