// Every screen the station knows by name, and the real seams where a test gave none. A screen
// is created on first touch and kept.
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

// The icons and the manual are compiled into the static ui library, whose resource
// registration the linker would otherwise drop.
static void initStationResources() { Q_INIT_RESOURCE(tarvex); }

namespace tarvex {

void Station::provideRealSeams()
{
    initStationResources();
    if (!options_.prompter)
        options_.prompter = std::make_shared<QtPrompter>();
    if (!options_.capture) {
        FfmpegCaptureOptions capture;
        capture.rehearsal = options_.rehearsal || rehearsalFromEnvironment();
        options_.capture = std::make_shared<FfmpegCaptureComponent>(capture, std::make_shared<QtCaptureDialogs>());
    }
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

void Station::registerBuiltInScreens()
{
    registerScreen(screen::MainForm, [](Station& s) {
        auto* main = new MainScreen(s);
        if (auto* capture = qobject_cast<CaptureScreen*>(s.existingScreen(screen::PreviewForm)))
            capture->setDevicePanel(main->devicePanel());
        return main;
    });
    registerScreen(screen::PreviewForm, [](Station& s) {
        auto* capture = new CaptureScreen(s);
        wireCaptureScreen(s, *capture);
        return capture;
    });
    registerScreen(screen::Config, [](Station& s) { return new ConfigScreen(s); });
    registerScreen(screen::Grid_Setup, [](Station& s) { return new GridSetupScreen(s); });
    registerScreen(screen::Calibrate, [](Station& s) { return new CalibrateScreen(s); });
    registerScreen(screen::Measure, [](Station& s) { return new MeasureScreen(s); });
    registerScreen(screen::Results, [](Station& s) { return new ResultsWindow(s); });
    registerScreen(screen::frmManual, [](Station& s) { return new ManualScreen(s); });
    registerScreen(screen::frmSetStart, [](Station& s) {
        auto* review = new ReviewScreen(s);
        review->setViewLogOpener([&s](QWidget* owner) { s.openLogView(owner); });
        return review;
    });

    registerWindow(window::LogView, [](Station& s, QWidget* owner) { return new LogView(s, owner); });
    registerWindow(window::PictureLogView, [](Station& s, QWidget* owner) {
        return new PictureLogView(s, owner, [&s](const QString& path) {
            auto* measure = s.screenAs<MeasureScreen>(screen::Measure);
            if (!measure)
                return;
            if (!path.isEmpty())
                measure->showLoggedPicture(path);
            s.show(screen::Measure);
        });
    });
}

} // namespace tarvex
