// Every screen the station knows by name. A screen is created on first touch and kept.
#include "app/config_screen.h"
#include "app/main_screen.h"
#include "app/manual_screen.h"
#include "app/station.h"
#include "grid/calibrate_screen.h"
#include "grid/grid_setup_screen.h"
#include "measure/measure_screen.h"
#include "measure/results_window.h"

namespace tarvex {

void Station::registerBuiltInScreens()
{
    registerScreen(QStringLiteral("MainForm"), [](Station& s) { return new MainForm(s); });
    registerScreen(QStringLiteral("Config"), [](Station& s) { return new Config(s); });
    registerScreen(QStringLiteral("Grid_Setup"), [](Station& s) { return new Grid_Setup(s); });
    registerScreen(QStringLiteral("Calibrate"), [](Station& s) { return new Calibrate(s); });
    registerScreen(QStringLiteral("Measure"), [](Station& s) { return new Measure(s); });
    registerScreen(QStringLiteral("Results"), [](Station& s) { return new Results(s); });
    registerScreen(QStringLiteral("frmManual"), [](Station& s) { return new frmManual(s); });
}

} // namespace tarvex
