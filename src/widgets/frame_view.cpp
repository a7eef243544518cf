#include "widgets/frame_view.h"

#include "widgets/picture_canvas.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace tarvex {

// One thread, one job at a time: the view keeps the waiting request itself, so the worker
// never holds more than the decode it runs.
struct FrameView::Worker {
    struct Job {
        quint64 generation = 0;
        std::shared_ptr<ClipSource> source;
        int n = 0;
    };

    explicit Worker(FrameView* view) : view_(view), thread_([this] { loop(); }) {}

    ~Worker()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    void post(Job job)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = std::move(job);
        }
        changed_.notify_all();
    }

    // A job not yet started is of no use any more; the one running finishes on its own.
    void discardWaiting()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_.reset();
    }

private:
    void loop()
    {
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [this] { return stopping_ || job_.has_value(); });
                if (stopping_)
                    return;
                job = std::move(*job_);
                job_.reset();
            }
            bool damaged = false;
            QImage image = job.source->frameAndState(job.n, damaged);
            // The canvas keeps its picture premultiplied; converting here keeps that copy of
            // a whole frame off the user-interface thread.
            if (!image.isNull() && image.format() != QImage::Format_ARGB32_Premultiplied)
                image = std::move(image).convertToFormat(QImage::Format_ARGB32_Premultiplied);
            // A source the view has let go of is released here, off the user-interface thread.
            job.source.reset();
            const quint64 generation = job.generation;
            const int n = job.n;
            QMetaObject::invokeMethod(
                view_, [view = view_, generation, n, image, damaged] { view->arrived(generation, n, image, damaged); },
                Qt::QueuedConnection);
        }
    }

    FrameView* view_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Job> job_;
    bool stopping_ = false;
    std::thread thread_;
};

FrameView::FrameView(QWidget* parent) : QWidget(parent)
{
    canvas_ = new PictureCanvas(this);
    canvas_->setObjectName(QStringLiteral("frameCanvas"));
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setObjectName(QStringLiteral("frameSlider"));
    slider_->setRange(0, 0);
    frameLabel_ = new QLabel(this);
    frameLabel_->setObjectName(QStringLiteral("frameNumber"));
    timeLabel_ = new QLabel(this);
    timeLabel_->setObjectName(QStringLiteral("frameTime"));
    problemLabel_ = new QLabel(this);
    problemLabel_->setObjectName(QStringLiteral("frameProblem"));
    problemLabel_->setStyleSheet(QStringLiteral("color: red"));
    problemLabel_->hide();
    // Wide enough for "Frame 99999" and "9999.999 s", so the slider does not jump as they change.
    frameLabel_->setMinimumWidth(frameLabel_->fontMetrics().horizontalAdvance(QStringLiteral("Frame 99999")) + 8);
    timeLabel_->setMinimumWidth(timeLabel_->fontMetrics().horizontalAdvance(QStringLiteral("9999.999 s")) + 8);

    auto* bar = new QHBoxLayout;
    bar->addWidget(slider_, 1);
    bar->addWidget(frameLabel_);
    bar->addWidget(timeLabel_);
    bar->addWidget(problemLabel_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(canvas_, 1);
    layout->addLayout(bar);

    connect(slider_, &QSlider::valueChanged, this, [this](int v) { requestFrame(v); });
    for (QObject* o : {static_cast<QObject*>(canvas_), static_cast<QObject*>(canvas_->viewport()),
                       static_cast<QObject*>(canvas_->surface()), static_cast<QObject*>(slider_)})
        o->installEventFilter(this);
    setFocusProxy(canvas_);
    worker_ = std::make_unique<Worker>(this);
    setClipControlsVisible(false);
    stepTiming_ = qEnvironmentVariableIntValue("TARVEX_STEP_TIMING") != 0;
}

FrameView::~FrameView()
{
    worker_.reset();
}

int FrameView::frameCount() const { return count_; }
double FrameView::frameRate() const { return rate_; }

QString FrameView::frameText(int n) { return QStringLiteral("Frame %1").arg(n); }

QString FrameView::timeText(int n, double rate)
{
    if (!(rate > 0))
        return QStringLiteral("-.--- s");
    return QString::number(n / rate, 'f', 3) + QStringLiteral(" s");
}

void FrameView::setSource(std::shared_ptr<ClipSource> source, int first)
{
    ++generation_;
    inFlight_.reset();
    pending_.reset();
    source_.reset();
    worker_->discardWaiting();
    shown_ = -1;
    shownImage_ = QImage();
    shownDamaged_ = false;
    failed_ = -1;
    problemLabel_->hide();
    source_ = std::move(source);
    count_ = source_ ? std::max(0, source_->frameCount()) : 0;
    rate_ = source_ ? source_->frameRate() : 0;
    {
        const QSignalBlocker block(slider_);
        slider_->setRange(0, std::max(0, count_ - 1));
        slider_->setValue(0);
    }
    canvas_->clearPicture();
    frameLabel_->clear();
    timeLabel_->clear();
    setClipControlsVisible(source_ != nullptr);
    if (source_ && count_ > 0)
        requestFrame(first);
}

void FrameView::showImage(const QImage& image)
{
    if (source_)
        setSource(nullptr);
    canvas_->setPicture(image);
}

void FrameView::setClipControlsVisible(bool on)
{
    slider_->setVisible(on);
    frameLabel_->setVisible(on);
    timeLabel_->setVisible(on);
}

int FrameView::requestedFrame() const
{
    if (pending_)
        return *pending_;
    if (inFlight_)
        return *inFlight_;
    // Steps go on from a frame that could not be shown, so a damaged frame can be passed.
    return failed_ >= 0 ? failed_ : shown_;
}

void FrameView::requestFrame(int n)
{
    if (!source_ || count_ <= 0)
        return;
    n = std::clamp(n, 0, count_ - 1);
    if (n == requestedFrame())
        return;
    if (inFlight_) {
        pending_ = n;
        return;
    }
    start(n);
}

bool FrameView::step(int delta, bool autoRepeat)
{
    if (!source_ || count_ <= 0)
        return false;
    if (autoRepeat && pending_)
        return false;
    const int base = std::max(0, requestedFrame());
    const int n = base + delta;
    if (n < 0 || n >= count_)
        return false;
    requestFrame(n);
    return true;
}

void FrameView::start(int n)
{
    inFlight_ = n;
    worker_->post({generation_, source_, n});
}

void FrameView::arrived(quint64 generation, int n, const QImage& image, bool damaged)
{
    if (generation != generation_)
        return;
    inFlight_.reset();
    if (pending_) {
        const int next = *pending_;
        pending_.reset();
        start(next);
    }
    if (image.isNull()) {
        if (!inFlight_) {
            failed_ = n;
            problemLabel_->setText(QStringLiteral("Frame %1 cannot be read").arg(n));
            problemLabel_->show();
        }
        emit frameFailed(n);
        return;
    }
    showFrame(n, image, damaged);
}

void FrameView::showFrame(int n, const QImage& image, bool damaged)
{
    shown_ = n;
    shownImage_ = image;
    // What is said of a damaged frame belongs to its picture, so it changes with it.
    if (damaged) {
        problemLabel_->setText(QStringLiteral("Frame %1 is damaged").arg(n));
        problemLabel_->show();
    } else if (!inFlight_ || shownDamaged_) {
        problemLabel_->hide();
    }
    if (!inFlight_)
        failed_ = -1;
    shownDamaged_ = damaged;
    canvas_->setPicture(image);
    if (stepTiming_ && keyAt_.isValid())
        paintAwaited_ = true;
    frameLabel_->setText(frameText(n));
    timeLabel_->setText(timeText(n, rate_));
    if (!slider_->isSliderDown()) {
        const QSignalBlocker block(slider_);
        slider_->setValue(n);
    }
    emit frameShown(n);
}

bool FrameView::handleStepKey(QKeyEvent* e)
{
    if (!keyStepping_ || !source_)
        return false;
    int delta = 0;
    const bool keypad = e->modifiers() & Qt::KeypadModifier;
    if (e->key() == Qt::Key_Left || (keypad && e->key() == Qt::Key_4))
        delta = -1;
    else if (e->key() == Qt::Key_Right || (keypad && e->key() == Qt::Key_6))
        delta = 1;
    if (!delta)
        return false;
    if (stepTiming_ && !keyAt_.isValid())
        keyAt_.start();
    step(delta, e->isAutoRepeat());
    return true;
}

bool FrameView::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::KeyPress && handleStepKey(static_cast<QKeyEvent*>(e)))
        return true;
    if (e->type() == QEvent::Paint && paintAwaited_ && watched == canvas_->surface()) {
        // The paint runs right after this filter; the next turn of the loop comes after it.
        paintAwaited_ = false;
        QTimer::singleShot(0, this, [this, n = shown_] {
            if (!keyAt_.isValid())
                return;
            qInfo("step: key to frame %d painted in %.1f ms", n, keyAt_.nsecsElapsed() / 1e6);
            keyAt_.invalidate();
        });
    }
    return QWidget::eventFilter(watched, e);
}

void FrameView::keyPressEvent(QKeyEvent* e)
{
    if (!handleStepKey(e))
        QWidget::keyPressEvent(e);
}

} // namespace tarvex
