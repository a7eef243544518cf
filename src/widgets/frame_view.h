#pragma once
// The frame view: one frame of a clip on a PictureCanvas (so it zooms like the picture
// screens), a slider over the clip by frame, and the frame's number and time always in sight.
//
// Frames are decoded on one worker thread. At most one decode runs and one waits; a newer
// request replaces the waiting one, so a held arrow key never builds a queue. The number
// shown and the picture change together when a decode arrives: what is on screen is always
// the frame whose number is shown.
#include "widgets/clip_source.h"

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>
#include <memory>
#include <optional>

class QLabel;
class QSlider;

namespace tarvex {

class PictureCanvas;

class FrameView : public QWidget {
    Q_OBJECT
public:
    explicit FrameView(QWidget* parent = nullptr);
    ~FrameView() override;

    // A clip to step through, shown from frame `first` (clamped to the clip). Null releases
    // the clip. Never waits: a decode of the old clip still running finishes on the worker,
    // which lets go of the old source there, and its picture is dropped when it arrives.
    void setSource(std::shared_ptr<ClipSource> source, int first = 0);
    void clearSource() { setSource(nullptr); }
    bool hasSource() const { return source_ != nullptr; }
    int frameCount() const;
    double frameRate() const;

    // A live picture without slider or frame number (the capture screen's preview).
    void showImage(const QImage& image);

    // Asks for frame n (clamped to the clip); the newest request wins.
    void requestFrame(int n);
    // One step from the newest request. A step of a held key (auto-repeat) is dropped while a
    // decode already waits, so the picture never lags more than one step behind the keys.
    // False when the step would leave the clip or was dropped.
    bool step(int delta, bool autoRepeat = false);

    // The frame on screen, -1 when none; the frame last asked for (the one that will be
    // shown once the decodes settle), -1 when none.
    int shownFrame() const { return shown_; }
    // The picture of shownFrame() as decoded (null when none), so a screen that keeps the
    // frame on screen needs no second decode.
    QImage shownImage() const { return shownImage_; }
    // The frame on screen is damaged: its picture is the best the source had for it.
    bool shownDamaged() const { return shownDamaged_; }
    int requestedFrame() const;
    bool busy() const { return inFlight_.has_value(); }

    // Arrow keys and the numeric-pad 4 and 6 step the clip while on.
    void setKeyStepping(bool on) { keyStepping_ = on; }
    bool keyStepping() const { return keyStepping_; }

    PictureCanvas* canvas() const { return canvas_; }

    // "Frame 12", "0.400 s": what the labels say for frame n at `rate` frames per second.
    static QString frameText(int n);
    static QString timeText(int n, double rate);

signals:
    // A new frame is on screen (its number is shown with it).
    void frameShown(int n);
    // A frame could not be decoded; the previous one stays. (A damaged frame that still has a
    // picture is shown, with frameShown, and said beside its number.)
    void frameFailed(int n);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    struct Worker;
    void start(int n);
    void arrived(quint64 generation, int n, const QImage& image, bool damaged);
    void showFrame(int n, const QImage& image, bool damaged);
    void setClipControlsVisible(bool on);
    bool handleStepKey(QKeyEvent* e);

    PictureCanvas* canvas_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* frameLabel_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    QLabel* problemLabel_ = nullptr;

    std::shared_ptr<ClipSource> source_;
    quint64 generation_ = 0;
    int count_ = 0;
    double rate_ = 0;
    int shown_ = -1;
    QImage shownImage_;
    bool shownDamaged_ = false;
    int failed_ = -1;   // the frame that could not be decoded, while it is the newest asked for
    std::optional<int> inFlight_;
    std::optional<int> pending_;
    bool keyStepping_ = true;
    // TARVEX_STEP_TIMING=1: each step key's time until its frame is painted goes to the log,
    // so the latency an operator feels can be measured in the running station.
    bool stepTiming_ = false;
    QElapsedTimer keyAt_;       // the oldest step key not yet answered by a painted frame
    bool paintAwaited_ = false; // a frame answering keyAt_ is on the canvas, not yet painted
    std::unique_ptr<Worker> worker_;
};

} // namespace tarvex
