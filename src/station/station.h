#pragma once
// One object owns everything program-wide: settings, grid state, the seams (prompter, clock,
// capture component) and the screens, each created on first touch and kept until the end.
#include "station/app_settings.h"
#include "station/capture_session.h"
#include "station/measure_session.h"
#include "station/review_session.h"
#include "common/prompter.h"
#include "station/settings_store.h"
#include "common/clock.h"
#include "grid/jump_grid.h"

#include <QColor>
#include <QDateTime>
#include <QHash>
#include <QLineF>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

namespace tarvex {

class CaptureComponent;
class Screen;
class Station;

// The screens and windows a station can make, by name. The roof lists every one
// (builtInScreens()); a test may list only the few it drives, and links only those.
struct ScreenCatalogue {
    using Factory = std::function<Screen*(Station&)>;
    // Windows made for one opening and deleted when closed (the log viewers, window:: names).
    using WindowFactory = std::function<QWidget*(Station&, QWidget* owner)>;
    QHash<QString, Factory> screens;
    QHash<QString, WindowFactory> windows;
};

// The real dialogs and capture component live on the roof: withRealSeams() fills the
// prompter and the capture component where they are null. The Station itself needs both.
struct StationOptions {
    QString settingsFile;    // INI file of the settings store; empty = the per-user default
    QString programFolder;   // writable station folder; empty = TARVEX_HOME or the app data folder
    QString txioFolder;      // WSTIMS exchange folder; empty = TARVEX_TXIO or /txio (\txio)
    std::shared_ptr<Prompter> prompter;
    std::shared_ptr<Clock> clock;                // null = system clock
    std::shared_ptr<CaptureComponent> capture;
    bool rehearsal = false;  // withRealSeams() also lists the rehearsal camera (--rehearsal)
    ScreenCatalogue screens;
};

// Base of every screen that exists once: built by the Station, loaded once, hidden when left.
class Screen : public QWidget {
    Q_OBJECT
public:
    explicit Screen(Station& station, QWidget* parent = nullptr);
    // The screen's load: runs once, right after the Station created it.
    virtual void load() {}

protected:
    // Closing a screen's window frame returns to the hub, as leaving it would; the main
    // screen overrides this and ends the program.
    void closeEvent(QCloseEvent* e) override;
    // Runs `arrival` once the showing in progress is done, and only while the screen is
    // visible: other screens show this one first and set NavigationTag after. However often
    // it is asked before then, it runs once.
    void queueArrival(std::function<void()> arrival);

    Station& station_;

private:
    bool arrivalQueued_ = false;
};

class Station : public QObject {
    Q_OBJECT
public:
    explicit Station(StationOptions options);
    ~Station() override;

    // Creates the main screen; its load runs the start-up.
    void start();
    // Created (and loaded) on first touch, never shown by this call. Null for an unknown name.
    QWidget* screen(const QString& name);
    template <typename T> T* screenAs(const QString& name) { return qobject_cast<T*>(screen(name)); }
    // The screen if it exists already, without creating it.
    QWidget* existingScreen(const QString& name) const;
    bool hasScreen(const QString& name) const { return existingScreen(name) != nullptr; }
    bool canCreate(const QString& name) const { return options_.screens.screens.contains(name); }

    // Leaving a screen: hide `from` (if any), show `to`.
    QWidget* show(const QString& to, QWidget* from = nullptr);

    // Each screen's size and place between runs, under a key of its own. A place that lies
    // on no current screen is ignored, so a screen never opens out of reach.
    void rememberPlace(QWidget* screen);
    void restorePlace(QWidget* screen);
    void keepOnScreen(QWidget* screen);

    // Ends the program at once: every screen goes away.
    void quit();
    bool hasQuit() const { return quit_; }

    AppSettings& settings() { return settings_; }
    GridState& grids() { return grids_; }
    SettingsStore& store() { return *store_; }
    Prompter& prompter() { return *options_.prompter; }
    Clock& clock() { return *options_.clock; }
    CaptureComponent& capture() { return *options_.capture; }

    // When this run began (the system's time, as files are stamped with it).
    QDateTime startedAt() const { return startedAt_; }

    QString programFolder() const { return options_.programFolder; }
    QString programFile(const QString& name) const { return options_.programFolder + QLatin1Char('/') + name; }
    QString txioFolder() const { return options_.txioFolder; }
    QString txioFile(const QString& name) const { return options_.txioFolder + QLatin1Char('/') + name; }
    // The exchange folder the operator chose (empty: the default folder). A folder given by
    // the options or TARVEX_TXIO wins; then nothing changes and false is returned.
    bool setTxioFolder(const QString& folder);

    // The capture screen as its typed face; null when it does not exist and `create` is
    // false (or the station has no capture screen).
    CaptureSession* captureSession(bool create = false);
    // The review screen as its typed face, likewise.
    ReviewSession* reviewSession(bool create = false);
    // The measuring screen as its typed face, likewise.
    MeasureSession* measureSession(bool create = false);

    using Factory = ScreenCatalogue::Factory;
    void registerScreen(const QString& name, Factory factory) { options_.screens.screens.insert(name, std::move(factory)); }

    // A new window of that kind owned by `owner`, shown, not modal; null for an unknown kind.
    // A screen opens one without knowing the room it lives in; the catalogue says how it is made.
    QWidget* openWindow(const QString& name, QWidget* owner);
    // The log viewer, from the main screen's and the review screen's "View Log".
    QWidget* openLogView(QWidget* owner);

signals:
    void quitRequested();

    // What one screen tells the others, so that no screen reaches into another's controls.
    // Grid n was loaded from a grid file: its state and description are current.
    void gridLoaded(int grid);
    // Grid n became complete (Complete, Load, a stored file) or stopped being complete (an
    // edit of its boxes), or its description changed (Save): grid_set_up(n) is its truth.
    void gridStateChanged(int grid);
    // The grid setup screen shows a new description for the grid in hand (Save, Load).
    void gridDescriptionChanged(const QString& description);
    // The grid setup screen was left with grid 1 current: the measuring screen shows its
    // buoy distances and description.
    void gridSetupLeft();
    // A line (in picture twips, already clipped to what can be drawn) for every picture
    // screen to draw at the given width; magenta erases.
    void pictureLineRequested(const QLineF& twips, const QColor& colour, int widthPixels);

private:
    StationOptions options_;
    std::unique_ptr<SettingsStore> store_;
    AppSettings settings_;
    GridState grids_;
    QHash<QString, QPointer<QWidget>> screens_;
    bool quit_ = false;
    QDateTime startedAt_ = QDateTime::currentDateTime();
    bool txioFixed_ = false;
    QHash<QString, bool> placeRestored_;
};

} // namespace tarvex
