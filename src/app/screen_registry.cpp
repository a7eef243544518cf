// Every screen the station knows by name, and the real seams where a test gave none. A screen
#include "station/screen_names.h"
// is created on first touch and kept.
#include "app/config_screen.h"
#include "app/main_screen.h"
#include "app/manual_screen.h"
#include "app/qt_prompter.h"
#include "capture/capture_dialogs.h"
#include "capture/ffmpeg_capture_component.h"
#include "station/station.h"
#include "grid/calibrate_screen.h"
#include "grid/grid_setup_screen.h"
#include "measure/measure_screen.h"
#include "measure/results_window.h"
#include "review/review_screen.h"

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
        capture.dialogs = std::make_shared<QtCaptureDialogs>();
        options_.capture = std::make_shared<FfmpegCaptureComponent>(capture);
    }
}

void Station::registerBuiltInScreens()
{
    registerScreen(screen::MainForm, [](Station& s) { return new MainForm(s); });
    registerScreen(screen::Config, [](Station& s) { return new Config(s); });
    registerScreen(screen::Grid_Setup, [](Station& s) { return new Grid_Setup(s); });
    registerScreen(screen::Calibrate, [](Station& s) { return new Calibrate(s); });
    registerScreen(screen::Measure, [](Station& s) { return new Measure(s); });
    registerScreen(screen::Results, [](Station& s) { return new Results(s); });
    registerScreen(screen::frmManual, [](Station& s) { return new frmManual(s); });
    registerScreen(screen::frmSetStart, [](Station& s) { return new frmSetStart(s); });
}

} // namespace tarvex
