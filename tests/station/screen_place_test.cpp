#include "station/station.h"
#include "station/settings_store.h"
#include "testkit/fake_capture_component.h"
#include "testkit/scripted_prompter.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace tarvex;

namespace {

struct PlainScreen : Screen {
    using Screen::Screen;
};

std::unique_ptr<Station> stationOn(const QTemporaryDir& tmp)
{
    StationOptions o;
    o.settingsFile = tmp.filePath("TX05.ini");
    o.programFolder = tmp.filePath("program");
    o.txioFolder = tmp.filePath("txio");
    o.prompter = std::make_shared<ScriptedPrompter>();
    o.capture = std::make_shared<FakeCaptureComponent>();
    auto s = std::make_unique<Station>(o);
    for (const char* name : {"First", "Second"})
        s->registerScreen(name, [](Station& st) { return new PlainScreen(st); });
    return s;
}

} // namespace

TEST(ScreenPlaces, AScreenComesBackWhereItWasButNeverOffTheScreens)
{
    QTemporaryDir tmp;
    {
        auto s = stationOn(tmp);
        QWidget* first = s->show("First");
        first->move(120, 90);
        first->resize(300, 200);
        s->show("Second", first);
        EXPECT_EQ(SettingsStore(tmp.filePath("TX05.ini")).get("place_First"), "120 90 300 200 0");
    }
    {
        auto s = stationOn(tmp);
        QWidget* first = s->show("First");
        EXPECT_EQ(first->pos(), QPoint(120, 90));
        EXPECT_EQ(first->size(), QSize(300, 200));
        // Only the first showing of a run takes the stored place.
        first->hide();
        first->move(10, 10);
        s->show("First");
        EXPECT_EQ(first->pos(), QPoint(10, 10));
    }
    SettingsStore(tmp.filePath("TX05.ini")).save("place_First", "9000 7000 300 200 0");
    {
        auto s = stationOn(tmp);
        QWidget* first = s->show("First");
        EXPECT_EQ(first->size(), QSize(300, 200));
        EXPECT_NE(first->pos(), QPoint(9000, 7000));
    }
    SettingsStore(tmp.filePath("TX05.ini")).save("place_First", "12 x 300 200 0");
    {
        auto s = stationOn(tmp);
        QWidget* first = s->show("First");
        EXPECT_NE(first->size(), QSize(300, 200));   // a damaged value is ignored
    }
}
