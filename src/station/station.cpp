#include "station/station.h"
#include "station/screen_names.h"
#include "station/screen_place.h"
#include "station/settings_keys.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>

namespace tarvex {

Screen::Screen(Station& station, QWidget* parent) : QWidget(parent), station_(station) {}

void Screen::queueArrival(std::function<void()> arrival)
{
    if (arrivalQueued_)
        return;
    arrivalQueued_ = true;
    QTimer::singleShot(0, this, [this, arrival = std::move(arrival)] {
        arrivalQueued_ = false;
        if (isVisible())
            arrival();
    });
}

void Screen::closeEvent(QCloseEvent* e)
{
    station_.rememberPlace(this);
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
    // "\txio" of the drive the program runs from, spelt out so no current drive decides it.
    const QString program = QCoreApplication::applicationDirPath();
    if (program.size() >= 2 && program.at(1) == QLatin1Char(':'))
        return program.left(2) + QStringLiteral("\\txio");
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
    store_ = std::make_unique<SettingsStore>(options_.settingsFile);
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
    const auto f = options_.screens.screens.constFind(name);
    if (f == options_.screens.screens.constEnd())
        return nullptr;
    Screen* s = (*f)(*this);
    s->setObjectName(name);
    screens_.insert(name, s);
    s->load();
    return s;
}

QWidget* Station::show(const QString& to, QWidget* from)
{
    QWidget* target = screen(to);
    if (!target)
        return nullptr;
    restorePlace(target);
    // Without a window manager to honour it, a maximised screen still fills its screen.
    if (!target->isVisible() && target->isMaximized()) {
        if (QScreen* s = target->screen())
            target->setGeometry(s->availableGeometry());
    } else if (!target->isVisible()) {
        keepOnScreen(target);
    }
    target->show();
    target->raise();
    target->activateWindow();
    if (from && from != target) {
        rememberPlace(from);
        from->hide();
    }
    return target;
}

void Station::rememberPlace(QWidget* w)
{
    if (!w || w->objectName().isEmpty() || !w->isVisible())
        return;
    const bool maximised = w->isMaximized();
    // The place is the frame's (as move() takes it), the size the content's (as resize()
    // takes it). A maximised screen keeps the place it had before, so un-maximising finds it.
    const QPoint frameOffset = w->geometry().topLeft() - w->pos();
    const QRect r = maximised ? w->normalGeometry().translated(-frameOffset) : QRect(w->pos(), w->size());
    if (!r.isValid())
        return;
    store_->save(key::screenPlace(w->objectName()), QStringLiteral("%1 %2 %3 %4 %5")
                                                        .arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())
                                                        .arg(maximised ? 1 : 0));
}

void Station::restorePlace(QWidget* w)
{
    if (!w || w->objectName().isEmpty() || placeRestored_.value(w->objectName()))
        return;
    placeRestored_.insert(w->objectName(), true);
    const QStringList parts = store_->get(key::screenPlace(w->objectName())).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 5)
        return;
    int v[5];
    for (int i = 0; i < 5; ++i) {
        bool ok = false;
        v[i] = parts[i].toInt(&ok);
        if (!ok)
            return;
    }
    const QRect r(v[0], v[1], v[2], v[3]);
    if (r.width() < 50 || r.height() < 50)
        return;
    // The operator's last choice wins over a screen's habit of opening maximised.
    if (v[4] == 0 && w->isMaximized())
        w->setWindowState(w->windowState() & ~Qt::WindowMaximized);
    // Sizes below what the screen needs are raised; keepOnScreen brings the rest onto the
    // screen of today, which may be smaller than the one the place was remembered on.
    w->resize(r.size().boundedTo(w->maximumSize()).expandedTo(w->minimumSizeHint()));
    w->move(r.topLeft());
    keepOnScreen(w);
    if (v[4] == 1)
        w->setWindowState(w->windowState() | Qt::WindowMaximized);
}

namespace {

// Before a window is first shown its frame is unknown; another window's frame is the best
// guess, then a title bar's worth, so the bottom edge is not pushed under a panel.
QMargins frameMarginsOf(const QWidget* w)
{
    const auto margins = [](const QWidget* v) {
        const QRect f = v->frameGeometry(), g = v->geometry();
        return QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
    };
    if (w->testAttribute(Qt::WA_WState_Created) && w->frameGeometry() != w->geometry())
        return margins(w);
    for (const QWidget* other : QApplication::topLevelWidgets())
        if (other != w && other->isVisible() && other->frameGeometry() != other->geometry())
            return margins(other);
    return QMargins(4, 30, 4, 4);
}

QScreen* screenHolding(const QRect& r, QScreen* fallback)
{
    QScreen* best = nullptr;
    qint64 bestArea = 0;
    for (QScreen* s : QGuiApplication::screens()) {
        const QRect common = s->availableGeometry().intersected(r);
        const qint64 area = qint64(common.width()) * common.height();
        if (area > bestArea) {
            best = s;
            bestArea = area;
        }
    }
    if (best)
        return best;
    return fallback ? fallback : QGuiApplication::primaryScreen();
}

} // namespace

void Station::keepOnScreen(QWidget* w)
{
    const QMargins frame = frameMarginsOf(w);
    // A screen nobody has placed (no remembered place, never moved) is placed by the window
    // manager; only a size too large for the screen is ours to mend, and then it is centred.
    const bool placed = w->testAttribute(Qt::WA_Moved);
    const QRect wanted(w->pos(), w->size());
    QScreen* s = placed ? screenHolding(wanted.marginsAdded(frame), w->screen()) : w->screen();
    if (!s)
        return;
    const QRect available = s->availableGeometry();
    QRect fitted = fittedPlace(wanted, frame, available, w->minimumSizeHint().expandedTo(w->minimumSize()));
    if (!placed) {
        if (fitted.size() == wanted.size())
            return;
        const QSize outer = fitted.size().grownBy(frame);
        fitted.moveTopLeft(available.topLeft() + QPoint(std::max(0, (available.width() - outer.width()) / 2),
                                                         std::max(0, (available.height() - outer.height()) / 2)));
    }
    if (fitted.size() != w->size())
        w->resize(fitted.size());
    if (fitted.topLeft() != w->pos())
        w->move(fitted.topLeft());
}

CaptureSession* Station::captureSession(bool create)
{
    QWidget* w = create && canCreate(screen::PreviewForm) ? screen(screen::PreviewForm)
                                                          : existingScreen(screen::PreviewForm);
    return dynamic_cast<CaptureSession*>(w);
}

QWidget* Station::openWindow(const QString& name, QWidget* owner)
{
    const auto f = options_.screens.windows.constFind(name);
    if (f == options_.screens.windows.constEnd())
        return nullptr;
    QWidget* w = (*f)(*this, owner);
    if (w) {
        keepOnScreen(w);
        w->show();
        w->raise();
        w->activateWindow();
    }
    return w;
}

QWidget* Station::openLogView(QWidget* owner) { return openWindow(window::LogView, owner); }

ReviewSession* Station::reviewSession(bool create)
{
    QWidget* w = create && canCreate(screen::frmSetStart) ? screen(screen::frmSetStart)
                                                          : existingScreen(screen::frmSetStart);
    return dynamic_cast<ReviewSession*>(w);
}

MeasureSession* Station::measureSession(bool create)
{
    QWidget* w = create && canCreate(screen::Measure) ? screen(screen::Measure) : existingScreen(screen::Measure);
    return dynamic_cast<MeasureSession*>(w);
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
        rememberPlace(w);
    for (auto& w : screens_)
        if (w)
            w->hide();
    emit quitRequested();
    QCoreApplication::quit();
}

} // namespace tarvex
