#include "app/screen_registry.h"
#include "app/config_screen.h"
#include "app/main_screen.h"
#include "app/manual_screen.h"
#include "app/qt_prompter.h"
#include "capture/capture_dialogs.h"
#include "capture/ffmpeg_capture_component.h"
#include "capture/capture_screen.h"
#include "logview/log_view.h"
#include "logview/picture_log_view.h"
#include "station/station.h"
#include "grid/calibrate_screen.h"
#include "grid/grid_setup_screen.h"
#include "measure/measure_screen.h"
#include "measure/results_window.h"
#include "measure/skier_picker.h"
#include "review/review_screen.h"
#include "station/screen_names.h"

// The icons and the manual are compiled into the static library of the roof, whose resource
// registration the linker would otherwise drop.
static void initStationResources() { Q_INIT_RESOURCE(tarvex); }

namespace tarvex {

StationOptions withRealSeams(StationOptions options)
{
    if (!options.prompter)
        options.prompter = std::make_shared<QtPrompter>();
    if (!options.capture) {
        FfmpegCaptureOptions capture;
        capture.rehearsal = options.rehearsal || rehearsalFromEnvironment();
        QStringList problems;
        capture.rehearsalScript = rehearsalScriptFromEnvironment(capture.rehearsalScript, &problems);
        for (const QString& p : problems)
            qWarning("%s", qPrintable(p));
        options.capture = std::make_shared<FfmpegCaptureComponent>(capture, std::make_shared<QtCaptureDialogs>());
    }
    return options;
}

namespace {

// The capture screen records with the settings of the main screen's device panel and picks
// skiers with the selection window of the measuring room; both meet here.
void wireCaptureScreen(Station& s, CaptureScreen& capture)
{
    if (auto* main = qobject_cast<MainScreen*>(s.existingScreen(screen::MainForm)))
        capture.setDevicePanel(main->devicePanel());
    capture.setSkierChooser([&s](QWidget* owner) { return SkierPicker::choose(s, owner); });
}

} // namespace

ScreenCatalogue builtInScreens()
{
    initStationResources();
    ScreenCatalogue c;
    c.screens.insert(screen::MainForm, [](Station& s) -> Screen* {
        auto* main = new MainScreen(s);
        if (auto* capture = qobject_cast<CaptureScreen*>(s.existingScreen(screen::PreviewForm)))
            capture->setDevicePanel(main->devicePanel());
        return main;
    });
    c.screens.insert(screen::PreviewForm, [](Station& s) -> Screen* {
        auto* capture = new CaptureScreen(s);
        wireCaptureScreen(s, *capture);
        return capture;
    });
    c.screens.insert(screen::Config, [](Station& s) -> Screen* { return new ConfigScreen(s); });
    c.screens.insert(screen::Grid_Setup, [](Station& s) -> Screen* { return new GridSetupScreen(s); });
    c.screens.insert(screen::Calibrate, [](Station& s) -> Screen* { return new CalibrateScreen(s); });
    c.screens.insert(screen::Measure, [](Station& s) -> Screen* { return new MeasureScreen(s); });
    c.screens.insert(screen::Results, [](Station& s) -> Screen* { return new ResultsWindow(s); });
    c.screens.insert(screen::frmManual, [](Station& s) -> Screen* { return new ManualScreen(s); });
    c.screens.insert(screen::frmSetStart, [](Station& s) -> Screen* {
        auto* review = new ReviewScreen(s);
        review->setViewLogOpener([&s](QWidget* owner) { s.openLogView(owner); });
        return review;
    });

    c.windows.insert(window::LogView, [](Station& s, QWidget* owner) -> QWidget* { return new LogView(s, owner); });
    c.windows.insert(window::PictureLogView, [](Station& s, QWidget* owner) -> QWidget* {
        return new PictureLogView(s, owner, [&s](const QString& path) {
            auto* measure = s.screenAs<MeasureScreen>(screen::Measure);
            if (!measure)
                return;
            if (!path.isEmpty())
                measure->showLoggedPicture(path);
            s.show(screen::Measure);
        });
    });
    return c;
}

} // namespace tarvex
