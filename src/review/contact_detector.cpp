#include "review/contact_detector.h"

#include "common/twips.h"
#include "media/video_reader.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <mutex>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <thread>
#include <vector>

namespace tarvex {

namespace {

// The water area is searched at about this many pixels across: enough for a 30 cm point on a
// 720p or 1080p course, and cheap enough to keep every frame of a pass in memory.
constexpr int kWorkWidth = 640;
constexpr int kWorkHeight = 400;
// Working pictures of a whole clip stay under this many bytes; a long clip is looked at coarser.
constexpr double kWorkBytes = 96.0 * 1024 * 1024;
// Frames for the still background: spray and skier cover a pixel for well under half of them.
constexpr int kBackgroundSamples = 31;

// Whiteness: bright and unsaturated (min - (max - min) of the channels). Spray is near 250,
// open water and the skier's colours stay far below.
constexpr int kStrictWhite = 150, kStrictRise = 60;
// A patch's first frame may show only a thin veil of spray.
constexpr int kLenientWhite = 100, kLenientRise = 35;
// Spray grows for a good part of a second; a glint is gone within a frame or two.
constexpr double kMinSpraySeconds = 0.15;
// How far back a patch may be followed with the lenient test.
constexpr double kBackTrackSeconds = 0.07;
// A landing's spray covers a square metre and more.
constexpr double kMinSprayArea = 0.3;          // m², with a grid
constexpr double kMinSprayShare = 0.0002;      // of the picture, without one
// The skis touch where the first spray starts: its lowest edge, as spray only rises.
constexpr double kImpactDepth = 1.0;

struct Patch {
    cv::Rect box;
    int pixels = 0;
};

struct Track {
    int first = 0;
    int last = 0;
    cv::Rect box;          // of its newest frame
    cv::Rect firstBox;
    int frames = 0;
    double score = 0;      // pixels summed over its frames
    double peak = 0;       // largest area of one frame, in m² with a grid, else in picture shares
};

cv::Mat whiteness(const QImage& picture, const cv::Rect& roi, cv::Size work)
{
    const QImage rgb = picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32
        ? picture
        : picture.convertToFormat(QImage::Format_RGB32);
    const cv::Mat full(rgb.height(), rgb.width(), CV_8UC4, const_cast<uchar*>(rgb.constBits()),
                       size_t(rgb.bytesPerLine()));
    cv::Mat small;
    cv::resize(full(roi), small, work, 0, 0, cv::INTER_AREA);
    cv::Mat w(work, CV_8U);
    for (int y = 0; y < work.height; ++y) {
        const uchar* s = small.ptr<uchar>(y);
        uchar* d = w.ptr<uchar>(y);
        for (int x = 0; x < work.width; ++x, s += 4) {
            const int lo = std::min({s[0], s[1], s[2]});
            const int hi = std::max({s[0], s[1], s[2]});
            d[x] = uchar(std::clamp(2 * lo - hi, 0, 255));
        }
    }
    return w;
}

cv::Mat temporalMedian(const std::vector<cv::Mat>& frames)
{
    const int n = int(frames.size());
    const int samples = std::min(n, kBackgroundSamples);
    std::vector<const cv::Mat*> picked;
    for (int i = 0; i < samples; ++i)
        picked.push_back(&frames[size_t(samples > 1 ? i * (n - 1) / (samples - 1) : 0)]);
    cv::Mat median(frames.front().size(), CV_8U);
    std::vector<uchar> v(static_cast<size_t>(samples));
    for (int y = 0; y < median.rows; ++y)
        for (int x = 0; x < median.cols; ++x) {
            for (int i = 0; i < samples; ++i)
                v[size_t(i)] = picked[size_t(i)]->at<uchar>(y, x);
            std::nth_element(v.begin(), v.begin() + samples / 2, v.end());
            median.at<uchar>(y, x) = v[size_t(samples / 2)];
        }
    return median;
}

cv::Mat newWhite(const cv::Mat& w, const cv::Mat& background, const cv::Mat& water, int white, int rise)
{
    cv::Mat risen;
    cv::subtract(w, background, risen);   // saturates at 0
    cv::Mat mask = (w >= white) & (risen >= rise);
    return mask & water;
}

bool cancelled(const ContactOptions& o) { return o.cancel && o.cancel->load(std::memory_order_relaxed); }

// The scene as the detector sees it: where the water is, and how large a pixel is there.
struct View {
    cv::Rect roi;     // of the full picture
    int scale = 1;    // full pixels per working pixel
    cv::Size work;
    cv::Mat water;    // working pixels that may show spray
    std::optional<ContactGrid> grid;

    QPointF fullPixel(double wx, double wy) const
    {
        return {roi.x + scale * wx + (scale - 1) / 2.0, roi.y + scale * wy + (scale - 1) / 2.0};
    }

    // The area of `pixels` working pixels around working point (wx, wy): m² with a grid,
    // else a share of the picture.
    double area(int pixels, double wx, double wy, QSize picture) const
    {
        const double full = double(pixels) * scale * scale;
        if (grid) {
            const QPointF p = fullPixel(wx, wy) * kTwipsPerPixel;
            const auto a = grid->mapping.surveyFromScreen(p);
            const auto b = grid->mapping.surveyFromScreen(p + QPointF(kTwipsPerPixel, 0));
            const auto c = grid->mapping.surveyFromScreen(p + QPointF(0, kTwipsPerPixel));
            if (a && b && c) {
                const QPointF u = *b - *a, v = *c - *a;
                const double perPixel = std::abs(u.x() * v.y() - u.y() * v.x());
                if (std::isfinite(perPixel) && perPixel > 0)
                    return full * perPixel;
            }
        }
        return full / (double(picture.width()) * picture.height());
    }
    double minArea() const { return grid ? kMinSprayArea : kMinSprayShare; }
};

View viewOf(QSize picture, const ContactOptions& options, double frames)
{
    View v;
    v.grid = options.grid;
    const cv::Rect whole(0, 0, picture.width(), picture.height());
    std::vector<cv::Point> polygon;
    if (v.grid) {
        // Station order 1 UR, 2 LR, 3 UL, 4 LL; around the quadrilateral: UR, LR, LL, UL.
        std::array<QPointF, 4> px;
        for (int k = 0; k < 4; ++k)
            px[size_t(k)] = v.grid->buoyTwips[size_t(k)] / kTwipsPerPixel;
        const QPointF centre = (px[0] + px[1] + px[2] + px[3]) / 4.0;
        // Short and long jumps land outside the buoys: widen the quadrilateral.
        const double margin = 0.05 * picture.width();
        for (int k : {0, 1, 3, 2}) {
            QPointF d = px[size_t(k)] - centre;
            const double len = std::hypot(d.x(), d.y());
            const QPointF q = centre + d * 1.3 + (len > 0 ? d / len * margin : QPointF());
            polygon.emplace_back(int(std::lround(std::clamp(q.x(), -1e6, 1e6))),
                                 int(std::lround(std::clamp(q.y(), -1e6, 1e6))));
        }
        v.roi = cv::boundingRect(polygon) & whole;
        if (v.roi.width < 8 || v.roi.height < 8) {
            // A grid of another picture: look at all of this one.
            polygon.clear();
            v.roi = whole;
        }
    } else {
        v.roi = whole;
    }
    v.scale = std::max({1, int(std::ceil(v.roi.width / double(kWorkWidth))),
                        int(std::ceil(v.roi.height / double(kWorkHeight)))});
    while (double(v.roi.width / v.scale) * (v.roi.height / v.scale) * std::max(1.0, frames) > kWorkBytes)
        ++v.scale;
    v.work = cv::Size(std::max(1, v.roi.width / v.scale), std::max(1, v.roi.height / v.scale));
    v.roi.width = v.work.width * v.scale;
    v.roi.height = v.work.height * v.scale;
    if (polygon.empty()) {
        v.water = cv::Mat(v.work, CV_8U, cv::Scalar(255));
    } else {
        v.water = cv::Mat(v.work, CV_8U, cv::Scalar(0));
        std::vector<cv::Point> local;
        for (const cv::Point& p : polygon)
            local.emplace_back((p.x - v.roi.x) / v.scale, (p.y - v.roi.y) / v.scale);
        cv::fillConvexPoly(v.water, local, cv::Scalar(255));
    }
    return v;
}

std::vector<Patch> patchesOf(const cv::Mat& mask)
{
    // Closing joins the spray that the skier's body and skis cut in pieces.
    static const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(5, 5));
    cv::Mat joined;
    cv::morphologyEx(mask, joined, cv::MORPH_CLOSE, kernel);
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(joined, labels, stats, centroids, 8, CV_32S);
    std::vector<Patch> out;
    for (int i = 1; i < n; ++i) {
        Patch p;
        p.box = cv::Rect(stats.at<int>(i, cv::CC_STAT_LEFT), stats.at<int>(i, cv::CC_STAT_TOP),
                         stats.at<int>(i, cv::CC_STAT_WIDTH), stats.at<int>(i, cv::CC_STAT_HEIGHT));
        p.pixels = cv::countNonZero(mask(p.box) & (labels(p.box) == i));
        if (p.pixels > 0)
            out.push_back(p);
    }
    return out;
}

cv::Rect grown(const cv::Rect& r, int by) { return cv::Rect(r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by); }

// Patches of strictly new white in `indices` (frames in order), linked from frame to frame
// where they overlap; a patch may miss one frame of the list.
std::vector<Track> tracksOf(const std::vector<int>& indices, const std::vector<cv::Mat>& w, const cv::Mat& background,
                            const View& view, QSize picture, const ContactOptions& options)
{
    std::vector<Track> tracks;
    const int link = std::max(2, view.work.width / 100);
    // Only white that is still there in the next frame of the list: a glint is gone by then,
    // spray has grown.
    static const cv::Mat still = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::Mat next;
    for (int pos = 0; pos < int(indices.size()); ++pos) {
        if (cancelled(options))
            return {};
        const int k = indices[size_t(pos)];
        cv::Mat strict = pos == 0 ? newWhite(w[size_t(k)], background, view.water, kStrictWhite, kStrictRise) : next;
        if (pos + 1 < int(indices.size())) {
            next = newWhite(w[size_t(indices[size_t(pos + 1)])], background, view.water, kStrictWhite, kStrictRise);
            cv::Mat around;
            cv::dilate(next, around, still);
            strict &= around;
        }
        std::vector<int> area(tracks.size(), 0);
        std::vector<cv::Rect> box(tracks.size());
        for (const Patch& p : patchesOf(strict)) {
            int best = -1, bestOverlap = 0;
            for (int t = 0; t < int(tracks.size()); ++t) {
                if (tracks[size_t(t)].last < pos - 2)
                    continue;
                const int overlap = (grown(tracks[size_t(t)].box, link) & p.box).area();
                if (overlap > bestOverlap) {
                    bestOverlap = overlap;
                    best = t;
                }
            }
            if (best < 0) {
                Track t;
                t.first = t.last = pos;
                t.box = t.firstBox = p.box;
                tracks.push_back(t);
                area.push_back(0);
                box.emplace_back();
                best = int(tracks.size()) - 1;
            }
            area[size_t(best)] += p.pixels;
            box[size_t(best)] = box[size_t(best)].area() ? (box[size_t(best)] | p.box) : p.box;
        }
        for (size_t t = 0; t < tracks.size(); ++t) {
            if (!area[t])
                continue;
            Track& tr = tracks[t];
            if (tr.first == pos)
                tr.firstBox = box[t];
            tr.last = pos;
            tr.box = box[t];
            ++tr.frames;
            tr.score += area[t];
            const cv::Rect& b = tr.box;
            tr.peak = std::max(tr.peak, view.area(area[t], b.x + b.width / 2.0, b.y + b.height / 2.0, picture));
        }
    }
    for (Track& t : tracks) {   // positions back to frame numbers
        t.first = indices[size_t(t.first)];
        t.last = indices[size_t(t.last)];
    }
    return tracks;
}

// The first spray again on the whole picture around the working seed: a working pixel may
// be a third of a metre deep on the far side of the course.
std::optional<QPointF> refinedImpact(const QImage& frame, QSize picture, const View& view, const cv::Mat& background,
                                     const cv::Mat& seed)
{
    if (view.scale <= 1 || frame.isNull() || frame.size() != picture)
        return std::nullopt;
    const cv::Rect around = grown(cv::boundingRect(seed), 2) & cv::Rect(0, 0, view.work.width, view.work.height);
    if (around.area() == 0)
        return std::nullopt;
    const int k = view.scale;
    const cv::Rect full(view.roi.x + around.x * k, view.roi.y + around.y * k, around.width * k, around.height * k);
    const cv::Size size = full.size();
    cv::Mat still, water, near;
    cv::resize(background(around), still, size, 0, 0, cv::INTER_NEAREST);
    cv::resize(view.water(around), water, size, 0, 0, cv::INTER_NEAREST);
    cv::resize(seed(around), near, size, 0, 0, cv::INTER_NEAREST);
    cv::dilate(near, near, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * k + 1, 2 * k + 1)));
    const cv::Mat spray = newWhite(whiteness(frame, full, size), still, water, kLenientWhite, kLenientRise) & near;
    if (cv::countNonZero(spray) < 3)
        return std::nullopt;
    const cv::Rect b = cv::boundingRect(spray);
    const cv::Moments m = cv::moments(spray, true);
    return QPointF(full.x + m.m10 / m.m00, full.y + b.y - 0.5 + kImpactDepth * b.height);
}

} // namespace

std::optional<ContactGrid> contactGridOf(const GridState& g)
{
    ContactGrid grid;
    grid.mapping = PlaneMapping::fromGrid(g);
    if (grid.mapping == PlaneMapping())
        return std::nullopt;
    for (int k = 1; k <= kBuoyCount; ++k)
        grid.buoyTwips[size_t(k - 1)] = QPointF(g.buoy_screen_x[k], g.buoy_screen_y[k]);
    return grid;
}

std::optional<ContactSuggestion> detectContact(const ContactFrames& frames, const ContactOptions& options)
{
    if (frames.count < 3 || !frames.frame)
        return std::nullopt;
    const double fps = frames.framesPerSecond > 0 ? frames.framesPerSecond : 30.0;

    QImage first;
    int firstIndex = 0;
    for (; firstIndex < frames.count && first.isNull(); ++firstIndex) {
        if (cancelled(options))
            return std::nullopt;
        first = frames.frame(firstIndex);
    }
    --firstIndex;
    if (first.isNull() || first.width() < 8 || first.height() < 8)
        return std::nullopt;
    const QSize picture = first.size();
    const View view = viewOf(picture, options, frames.count);

    std::vector<cv::Mat> w(size_t(frames.count));
    const cv::Mat nothing(view.work, CV_8U, cv::Scalar(0));
    auto load = [&](int k) {
        if (!w[size_t(k)].empty())
            return;
        const QImage img = k == firstIndex ? first : (k < firstIndex ? QImage() : frames.frame(k));
        // An unreadable frame shows no new white, so it never starts a landing.
        w[size_t(k)] = !img.isNull() && img.size() == picture ? whiteness(img, view.roi, view.work) : nothing;
    };

    // Every other frame first: decoding is most of the cost, and spray lasts many frames.
    const int stride = frames.count >= 20 ? 2 : 1;
    std::vector<int> coarse;
    for (int k = 0; k < frames.count; k += stride) {
        if (cancelled(options))
            return std::nullopt;
        load(k);
        coarse.push_back(k);
    }
    std::vector<cv::Mat> samples;
    for (int k : coarse)
        samples.push_back(w[size_t(k)]);
    const cv::Mat background = temporalMedian(samples);

    const int minFrames = std::max(3, int(std::lround(kMinSpraySeconds * fps)));
    const std::vector<Track> tracks = tracksOf(coarse, w, background, view, picture, options);
    const Track* best = nullptr;
    double second = 0;
    for (const Track& t : tracks) {
        if (t.last - t.first + 1 < minFrames || t.frames * stride < minFrames || t.peak < view.minArea())
            continue;
        if (!best || t.score > best->score) {
            if (best)
                second = std::max(second, best->score);
            best = &t;
        } else {
            second = std::max(second, t.score);
        }
    }
    if (!best || cancelled(options))
        return std::nullopt;

    // Every frame around the start of that patch.
    const int maxBack = std::max(2, int(std::lround(kBackTrackSeconds * fps)));
    const int from = std::max(0, best->first - 2 * stride - maxBack - 1);
    const int to = std::min(frames.count - 1, best->first + minFrames + stride);
    std::vector<int> dense;
    for (int k = from; k <= to; ++k) {
        if (cancelled(options))
            return std::nullopt;
        load(k);
        dense.push_back(k);
    }
    const cv::Rect coarseStart = grown(best->firstBox, std::max(2, view.work.width / 50));
    const Track* start = nullptr;
    const std::vector<Track> fine = tracksOf(dense, w, background, view, picture, options);
    for (const Track& t : fine)
        if ((t.box & coarseStart).area() > 0 || (t.firstBox & coarseStart).area() > 0)
            if (!start || t.score > start->score)
                start = &t;
    const Track& origin = start ? *start : *best;

    // Back from the first strict frame while a veil of spray shows where the patch begins.
    int contact = origin.first;
    cv::Mat seed = newWhite(w[size_t(contact)], background, view.water, kStrictWhite, kStrictRise);
    cv::Mat inBox(view.work, CV_8U, cv::Scalar(0));
    inBox(grown(origin.firstBox, 1) & cv::Rect(0, 0, view.work.width, view.work.height)).setTo(255);
    seed &= inBox;
    static const cv::Mat near = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(5, 5));
    for (int step = 0; step < maxBack && contact > from; ++step) {
        cv::Mat around;
        cv::dilate(seed, around, near);
        const cv::Mat veil =
            newWhite(w[size_t(contact - 1)], background, view.water, kLenientWhite, kLenientRise) & around;
        if (cv::countNonZero(veil) == 0)
            break;
        --contact;
        seed = veil;
    }

    const cv::Rect b = cv::boundingRect(seed);
    const cv::Moments m = cv::moments(seed, true);
    const double cx = m.m00 > 0 ? m.m10 / m.m00 : b.x + (b.width - 1) / 2.0;
    const double cy = b.y - 0.5 + kImpactDepth * b.height;
    ContactSuggestion s;
    s.frame = contact;
    s.impactTwips = view.fullPixel(cx, cy) * kTwipsPerPixel;
    if (const auto fine = refinedImpact(frames.frame(contact), picture, view, background, seed))
        s.impactTwips = *fine * kTwipsPerPixel;
    // Sure when the patch stands alone and is well past the smallest spray.
    const double alone = 1.0 - 0.7 * std::min(1.0, second / best->score);
    const double large = std::min(1.0, best->peak / (3 * view.minArea()));
    s.confidence = std::round(100 * std::clamp(alone * (0.5 + 0.5 * large), 0.0, 1.0)) / 100;
    return s;
}

std::optional<ContactSuggestion> detectContact(VideoReader& reader, const ContactOptions& options)
{
    if (!reader.isOpen())
        return std::nullopt;
    reader.waitUntilIdle();   // the display order of a clip with B-frames
    // Each frame is read once: caching them would only cost memory.
    reader.setCacheBytes(int64_t(16) << 20);
    ContactFrames f;
    f.count = reader.frameCount();
    f.framesPerSecond = reader.frameRateValue();
    f.frame = [&reader](int n) {
        bool damaged = false;
        return reader.frame(n, nullptr, &damaged);
    };
    return detectContact(f, options);
}

std::optional<ContactSuggestion> detectContact(const QString& path, const ContactOptions& options, QString* error)
{
    VideoReader reader(int64_t(16) << 20);
    // One decoding thread: the detector runs beside the review screen's own reader.
    reader.setDecoderThreads(1);
    if (!reader.open(path)) {
        if (error)
            *error = reader.error();
        return std::nullopt;
    }
    return detectContact(reader, options);
}

// ---------------------------------------------------------------- the worker

struct ContactJob::State {
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    mutable std::mutex mutex;
    std::optional<ContactSuggestion> result;
    std::thread worker;
};

ContactJob::ContactJob(const QString& path, ContactOptions options, QObject* context, Done done)
    : path_(path), state_(std::make_shared<State>())
{
    options.cancel = &state_->cancel;
    const std::shared_ptr<State> state = state_;
    QPointer<QObject> target(context);
    state_->worker = std::thread([state, path, options, target, done = std::move(done)]() {
        const auto found = detectContact(path, options);
        {
            std::lock_guard lock(state->mutex);
            state->result = found;
        }
        state->finished = true;
        // The job (and so `target`, which outlives it) is still there: the destructor joins.
        if (!state->cancel && target && done)
            QMetaObject::invokeMethod(
                target.data(),
                [state, found, done] {
                    if (!state->cancel)
                        done(found);
                },
                Qt::QueuedConnection);
    });
}

ContactJob::~ContactJob()
{
    state_->cancel = true;
    if (state_->worker.joinable())
        state_->worker.join();
}

bool ContactJob::finished() const { return state_->finished; }

std::optional<ContactSuggestion> ContactJob::result() const
{
    std::lock_guard lock(state_->mutex);
    return state_->result;
}

} // namespace tarvex
