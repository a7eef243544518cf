// An installed station has no writable folder of its own (/usr/bin): with nothing set it must
// keep its settings and files in the user's folders and never beside the program.
#include "station/station.h"
#include "testkit/fake_capture_component.h"
#include "testkit/scripted_prompter.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarvex;

namespace {

// Sets the variables for one test and puts the old values back.
class Environment {
public:
    void set(const char* name, const QString& value)
    {
        saved_.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value.toLocal8Bit());
    }
    ~Environment()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->wasSet)
                qputenv(it->name, it->value);
            else
                qunsetenv(it->name);
        }
    }

private:
    struct Saved { const char* name; QByteArray value; bool wasSet; };
    QList<Saved> saved_;
};

TEST(PerUserFolders, NothingSetMeansTheUsersDataAndConfigFolders)
{
    QTemporaryDir home;
    Environment env;
    env.set("TARVEX_HOME", QString());
    env.set("TARVEX_TXIO", QString());
    env.set("XDG_DATA_HOME", home.filePath("data"));
    env.set("XDG_CONFIG_HOME", home.filePath("config"));

    StationOptions o;
    o.prompter = std::make_shared<ScriptedPrompter>();
    o.capture = std::make_shared<FakeCaptureComponent>();
    Station station{o};
    EXPECT_EQ(station.programFolder(), home.filePath("data/Tarvex"));
    EXPECT_TRUE(QDir(home.filePath("data/Tarvex")).exists());   // made at once, so the first save finds it
    EXPECT_EQ(station.store().fileName(), home.filePath("config/Tarvex/TX05.ini"));
    EXPECT_FALSE(station.programFolder().startsWith(QCoreApplication::applicationDirPath()));

    // TARVEX_HOME wins, for a station kept on a stick or a shared folder.
    env.set("TARVEX_HOME", home.filePath("stick"));
    Station onStick{o};
    EXPECT_EQ(onStick.programFolder(), home.filePath("stick"));
}

} // namespace
