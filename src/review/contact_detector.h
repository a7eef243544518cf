#pragma once
// The contact detector: which frame of a recorded pass shows the skier's first contact with
// the water, and where on that frame it is. A suggestion only; the operator confirms it.
//
// A landing throws up spray: a bright, unsaturated patch that appears on the water where
// there was none, stays where it started and grows for a good part of a second. Glints flash
// for a frame or two, waves move on, a body in the air is coloured; none of them sits still
// and grows. So the detector looks for the longest-lived growing patch of new white on the
// water and follows it back to the first frame in which any of it shows.
#include "grid/plane_mapping.h"

#include <QImage>
#include <QPointF>
#include <QString>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QObject;

namespace tarvex {

class VideoReader;

// The camera's grid, when there is one: the buoys in twips (station order: upper right,
// lower right, upper left, lower left) and the mapping from twips to survey metres.
struct ContactGrid {
    std::array<QPointF, 4> buoyTwips;
    PlaneMapping mapping;
};
// The current grid of the working state; nullopt while it maps nothing.
std::optional<ContactGrid> contactGridOf(const GridState& g);

struct ContactSuggestion {
    int frame = 0;            // 0-based, display order
    double confidence = 0;    // 0..1
    QPointF impactTwips;      // on that frame

    bool operator==(const ContactSuggestion&) const = default;
};

// The frames to look at: a count, the rate and the picture of frame n (null when it cannot
// be had). Tests hand rendered scenes straight in; the station hands a VideoReader.
struct ContactFrames {
    int count = 0;
    double framesPerSecond = 0;
    std::function<QImage(int n)> frame;
};

struct ContactOptions {
    std::optional<ContactGrid> grid;
    const std::atomic<bool>* cancel = nullptr;   // set from another thread: give up soon
};

// nullopt: no landing found (or cancelled, or nothing to read).
std::optional<ContactSuggestion> detectContact(const ContactFrames& frames, const ContactOptions& options = {});
// Reads every frame once through `reader`, which must be open; its cache is left small.
std::optional<ContactSuggestion> detectContact(VideoReader& reader, const ContactOptions& options = {});
// Opens `path` with a VideoReader of its own; `error` says why a file could not be read.
std::optional<ContactSuggestion> detectContact(const QString& path, const ContactOptions& options = {},
                                               QString* error = nullptr);

// One detection on a worker thread. The result is delivered on `context`'s thread (never
// after the job or the context is gone); destroying the job cancels and joins the worker.
class ContactJob {
public:
    using Done = std::function<void(std::optional<ContactSuggestion>)>;
    ContactJob(const QString& path, ContactOptions options, QObject* context, Done done);
    ~ContactJob();
    ContactJob(const ContactJob&) = delete;
    ContactJob& operator=(const ContactJob&) = delete;

    const QString& path() const { return path_; }
    bool finished() const;
    // The result once finished() (nullopt before, and when no landing was found).
    std::optional<ContactSuggestion> result() const;

    struct State;

private:
    QString path_;
    std::shared_ptr<State> state_;
};

} // namespace tarvex
