#include "station/station.h"
#include "station/screen_names.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QStandardPaths>

namespace tarvex {

Screen::Screen(Station& station, QWidget* parent) : QWidget(parent), station_(station) {}

void Screen::closeEvent(QCloseEvent* e)
{
    e->ignore();
    if (!station_.hasQuit())
        station_.show(screen::MainForm, this);
}

namespace {

QString defaultProgramFolder()
{
    const QString env = qEnvironmentVariable("TARVEX_HOME");
    if (!env.isEmpty())
        return env;
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath();
    return base + QStringLiteral("/Tarvex");
}

QString defaultTxioFolder()
{
    const QString env = qEnvironmentVariable("TARVEX_TXIO");
    if (!env.isEmpty())
        return env;
#ifdef Q_OS_WIN
    return QStringLiteral("\\txio");
#else
    return QStringLiteral("/txio");
#endif
}

} // namespace

Station::Station(StationOptions options) : options_(std::move(options))
{
    if (options_.programFolder.isEmpty())
        options_.programFolder = defaultProgramFolder();
    options_.programFolder = QDir::cleanPath(options_.programFolder);
    QDir().mkpath(options_.programFolder);
    txioFixed_ = !options_.txioFolder.isEmpty() || !qEnvironmentVariable("TARVEX_TXIO").isEmpty();
    if (options_.txioFolder.isEmpty())
        options_.txioFolder = defaultTxioFolder();
    if (!options_.clock)
        options_.clock = std::make_shared<SystemClock>();
    provideRealSeams();
    store_ = std::make_unique<SettingsStore>(options_.settingsFile);
    registerBuiltInScreens();
}

Station::~Station()
{
    // Screens are top-level widgets owned here; delete them before the seams they use.
    for (auto& w : screens_)
        delete w.data();
    screens_.clear();
}

void Station::start()
{
    // Before any screen stores a key: the operator learns that nothing will be kept.
    if (!store_->loadError().isEmpty())
        prompter().message(store_->loadError(), QStringLiteral("Settings"), Icon::Exclamation);
    screen(screen::MainForm);
}

QWidget* Station::existingScreen(const QString& name) const
{
    const auto it = screens_.constFind(name);
    return it == screens_.constEnd() ? nullptr : it->data();
}

QWidget* Station::screen(const QString& name)
{
    if (QWidget* w = existingScreen(name))
        return w;
    const auto f = factories_.constFind(name);
    if (f == factories_.constEnd())
        return nullptr;
    Screen* s = (*f)(*this);
    s->setObjectName(name);
    screens_.insert(name, s);
    s->load();
    emit screenCreated(name, s);
    return s;
}

QWidget* Station::show(const QString& to, QWidget* from)
{
    QWidget* target = screen(to);
    if (!target)
        return nullptr;
    target->show();
    target->raise();
    target->activateWindow();
    if (from && from != target)
        from->hide();
    return target;
}

CaptureSession* Station::captureSession(bool create)
{
    QWidget* w = create && canCreate(screen::PreviewForm) ? screen(screen::PreviewForm)
                                                          : existingScreen(screen::PreviewForm);
    return dynamic_cast<CaptureSession*>(w);
}

ReviewSession* Station::reviewSession(bool create)
{
    QWidget* w = create && canCreate(screen::frmSetStart) ? screen(screen::frmSetStart)
                                                          : existingScreen(screen::frmSetStart);
    return dynamic_cast<ReviewSession*>(w);
}

bool Station::setTxioFolder(const QString& folder)
{
    if (txioFixed_)
        return false;
    options_.txioFolder = folder.isEmpty() ? defaultTxioFolder() : folder;
    return true;
}

void Station::quit()
{
    if (quit_)
        return;
    quit_ = true;
    for (auto& w : screens_)
        if (w)
            w->hide();
    emit quitRequested();
    QCoreApplication::quit();
}

} // namespace tarvex
