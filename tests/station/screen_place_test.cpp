#include "station/screen_place.h"
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

TEST(ScreenPlaces, APlaceIsFittedInsideTheAreaByTheLeastMove)
{
    const QRect laptop(0, 0, 1366, 728);   // 1366x768 less a 40-pixel panel
    const QMargins frame(4, 30, 4, 4);
    // Inside already: untouched.
    EXPECT_EQ(fittedPlace({100, 50, 800, 600}, frame, laptop, {400, 300}), QRect(100, 50, 800, 600));
    // Remembered low and right on 1920x1080: shrunk to the area, moved in.
    EXPECT_EQ(fittedPlace({600, 250, 1280, 800}, frame, laptop, {400, 300}), QRect(78, 0, 1280, 694));
    // Beyond the left and top edges: moved in, size kept.
    EXPECT_EQ(fittedPlace({-500, -40, 300, 200}, frame, laptop, {100, 100}), QRect(0, 0, 300, 200));
    // Its controls need more than the area: the minimum holds, the title bar stays on the area.
    EXPECT_EQ(fittedPlace({200, 100, 900, 900}, frame, laptop, {900, 760}), QRect(200, 0, 900, 760));
    // A second screen to the right of the first.
    EXPECT_EQ(fittedPlace({3000, 100, 600, 400}, frame, {1920, 0, 1366, 768}, {100, 100}),
              QRect(2678, 100, 600, 400));
}
