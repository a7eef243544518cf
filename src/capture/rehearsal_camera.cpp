#include "capture/rehearsal_camera.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <opencv2/imgproc.hpp>

namespace tarvex {

// --- Homography ---

QPointF Homography::map(QPointF p) const
{
    const double w = depth(p);
    return {(h[0] * p.x() + h[1] * p.y() + h[2]) / w, (h[3] * p.x() + h[4] * p.y() + h[5]) / w};
}

double Homography::depth(QPointF p) const { return h[6] * p.x() + h[7] * p.y() + h[8]; }

std::optional<Homography> Homography::fromPoints(const std::array<QPointF, 4>& from, const std::array<QPointF, 4>& to)
{
    // Eight equations in h0..h7 with h8 = 1, solved with partial pivoting.
    double a[8][9] = {};
    for (int k = 0; k < 4; ++k) {
        const double x = from[k].x(), y = from[k].y(), u = to[k].x(), v = to[k].y();
        double* r = a[2 * k];
        r[0] = x; r[1] = y; r[2] = 1; r[6] = -u * x; r[7] = -u * y; r[8] = u;
        r = a[2 * k + 1];
        r[3] = x; r[4] = y; r[5] = 1; r[6] = -v * x; r[7] = -v * y; r[8] = v;
    }
    for (int c = 0; c < 8; ++c) {
        int best = c;
        for (int r = c + 1; r < 8; ++r)
            if (std::abs(a[r][c]) > std::abs(a[best][c]))
                best = r;
        if (std::abs(a[best][c]) < 1e-12)
            return std::nullopt;
        std::swap(a[c], a[best]);
        for (int r = 0; r < 8; ++r) {
            if (r == c)
                continue;
            const double f = a[r][c] / a[c][c];
            for (int k = c; k < 9; ++k)
                a[r][k] -= f * a[c][k];
        }
    }
    Homography m;
    for (int i = 0; i < 8; ++i)
        m.h[i] = a[i][8] / a[i][i];
    m.h[8] = 1;
    return m;
}

// --- Layout and script ---

int RehearsalScript::contactFrame(int framesPerSecond) const
{
    return int(std::lround(contactSeconds * framesPerSecond));
}

RehearsalScript rehearsalScriptFromEnvironment(RehearsalScript script, QStringList* problems)
{
    const auto complain = [problems](const char* name, const QString& value) {
        if (problems)
            *problems << QStringLiteral("%1=%2 is not understood; it is ignored").arg(QLatin1String(name), value);
    };
    if (qEnvironmentVariableIsSet("TARVEX_REHEARSAL_LENS_K1")) {
        const QString v = qEnvironmentVariable("TARVEX_REHEARSAL_LENS_K1");
        bool ok = false;
        const double k1 = v.trimmed().toDouble(&ok);
        if (ok && std::abs(k1) <= 0.5)
            script.lensK1 = k1;
        else
            complain("TARVEX_REHEARSAL_LENS_K1", v);
    }
    return script;
}

// --- The lens ---

RehearsalLens::RehearsalLens(QSize size, double k1)
    : k1(k1), centre((size.width() - 1) / 2.0, (size.height() - 1) / 2.0),
      radius(std::max(1.0, std::hypot(double(size.width()), double(size.height())) / 2))
{
}

QPointF RehearsalLens::distort(QPointF ideal) const
{
    const QPointF v = ideal - centre;
    const double r = std::hypot(v.x(), v.y()) / radius;
    return centre + v * (1 + k1 * r * r);
}

std::optional<QPointF> RehearsalLens::undistort(QPointF distorted) const
{
    const QPointF v = distorted - centre;
    const double d = std::hypot(v.x(), v.y()) / radius;
    if (k1 == 0 || d == 0)
        return distorted;
    // Newton on r + k1 r^3 = d from r = d; the radial map only folds back for a barrel
    // stronger than any lens a station would use, and there the pixel has no source.
    double r = d;
    for (int i = 0; i < 30; ++i) {
        const double slope = 1 + 3 * k1 * r * r;
        if (slope < 1e-3)
            return std::nullopt;
        const double step = (r + k1 * r * r * r - d) / slope;
        r -= step;
        if (std::abs(step) < 1e-13)
            break;
    }
    if (r <= 0 || std::abs(r + k1 * r * r * r - d) > 1e-9)
        return std::nullopt;
    return centre + v * (r / d);
}

RehearsalLayout RehearsalLayout::forSize(QSize size)
{
    RehearsalLayout l;
    // X runs from the ramp along the jump, Y across it, away from the shore camera.
    l.buoySurvey = {QPointF(70.0, 12.0), QPointF(68.0, -10.0), QPointF(35.0, 11.0), QPointF(33.0, -9.0)};
    // Two loose rows either side of the skiers' line and one on it near each end, so no three
    // of the points a fit uses are in a row by accident.
    l.checkSurvey = {QPointF(40.0, -8.0), QPointF(42.0, 10.0), QPointF(46.0, -4.0), QPointF(50.0, 6.0),
                     QPointF(55.0, -7.0), QPointF(58.0, 9.0), QPointF(62.0, -5.0), QPointF(66.0, 4.0)};
    l.jumpSurvey = QPointF(0.0, 0.0);
    l.size = size;
    // Where the buoys appear, as fractions of the picture: the far pair higher and closer
    // together, as a camera on a low tower beside the course sees them.
    const std::array<QPointF, 4> fractions = {QPointF(0.80, 0.40), QPointF(0.90, 0.80), QPointF(0.26, 0.38),
                                              QPointF(0.12, 0.76)};
    std::array<QPointF, 4> pixels;
    for (int k = 0; k < 4; ++k)
        pixels[k] = QPointF(fractions[k].x() * size.width() - 0.5, fractions[k].y() * size.height() - 0.5);
    l.surveyToPixel = *Homography::fromPoints(l.buoySurvey, pixels);
    return l;
}

QString groundTruthPathFor(const QString& videoPath)
{
    const QFileInfo fi(videoPath);
    return fi.path() + QLatin1Char('/') + fi.completeBaseName() + QStringLiteral(".truth.json");
}

namespace {

QJsonArray pair(QPointF p) { return QJsonArray{p.x(), p.y()}; }

const char* const kBuoyNames[4] = {"upper right", "lower right", "upper left", "lower left"};

} // namespace

QJsonObject groundTruth(const RehearsalLayout& layout, const RehearsalScript& script, int framesPerSecond)
{
    const RehearsalLens lens(layout.size, script.lensK1);
    // Where a survey point appears in the picture, and where a pinhole would have put it.
    const auto place = [&](QJsonObject& o, QPointF survey, const QString& prefix) {
        const QPointF ideal = layout.pixelOf(survey);
        const QPointF px = lens.distort(ideal);
        const auto key = [&](const char* k) {
            return prefix.isEmpty() ? QString::fromLatin1(k)
                                    : prefix + QChar(QLatin1Char(k[0])).toUpper() + QLatin1String(k + 1);
        };
        o[key("survey")] = pair(survey);
        o[key("pixel")] = pair(px);
        o[key("twips")] = pair(px * kTwipsPerPixel);
        o[key("idealPixel")] = pair(ideal);
    };
    QJsonObject o;
    o[QStringLiteral("camera")] = kRehearsalCameraName;
    o[QStringLiteral("width")] = layout.size.width();
    o[QStringLiteral("height")] = layout.size.height();
    o[QStringLiteral("framesPerSecond")] = framesPerSecond;
    o[QStringLiteral("pixelConvention")] = QStringLiteral("pixel (i,j) centre at (i,j); twips = 15 x pixel");
    QJsonArray h;
    for (double v : layout.surveyToPixel.h)
        h.append(v);
    o[QStringLiteral("homographySurveyToPixel")] = h;
    o[QStringLiteral("lensK1")] = lens.k1;
    o[QStringLiteral("lensRadiusPixels")] = lens.radius;
    QJsonArray buoys;
    for (int k = 0; k < 4; ++k) {
        QJsonObject b;
        b[QStringLiteral("index")] = k + 1;
        b[QStringLiteral("name")] = QLatin1String(kBuoyNames[k]);
        place(b, layout.buoySurvey[k], {});
        buoys.append(b);
    }
    o[QStringLiteral("buoys")] = buoys;
    QJsonArray checks;
    for (size_t k = 0; k < layout.checkSurvey.size(); ++k) {
        QJsonObject c;
        c[QStringLiteral("name")] = QStringLiteral("C%1").arg(k + 1);
        place(c, layout.checkSurvey[k], {});
        checks.append(c);
    }
    o[QStringLiteral("checkPoints")] = checks;
    o[QStringLiteral("jumpSurvey")] = pair(layout.jumpSurvey);
    o[QStringLiteral("contactFrame")] = script.contactFrame(framesPerSecond);
    place(o, script.contactSurvey, QStringLiteral("contact"));
    return o;
}

bool writeGroundTruth(const QString& path, const QJsonObject& truth, QString& error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("Cannot write the ground truth %1: %2").arg(path, f.errorString());
        return false;
    }
    f.write(QJsonDocument(truth).toJson(QJsonDocument::Indented));
    if (!f.commit()) {
        error = QStringLiteral("Cannot write the ground truth %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

// --- Rendering ---

namespace {

// QPainter's pixel i spans [i, i+1]; ours is centred on i.
QPointF paintPoint(QPointF pixel) { return pixel + QPointF(0.5, 0.5); }

// Pixels per metre around a survey point, along X.
double pixelsPerMetre(const RehearsalLayout& l, QPointF survey)
{
    const QPointF a = l.pixelOf(survey), b = l.pixelOf(survey + QPointF(1.0, 0.0));
    return std::hypot(b.x() - a.x(), b.y() - a.y());
}

QPolygonF surveyPolygon(const RehearsalLayout& l, std::initializer_list<QPointF> pts)
{
    QPolygonF p;
    for (QPointF s : pts)
        p << paintPoint(l.pixelOf(s));
    return p;
}

} // namespace

// The lens as a lookup from every frame pixel to the pinhole picture's, in OpenCV's fixed
// point, worked out once per renderer.
struct RehearsalRenderer::Warp {
    cv::Mat map1, map2;
};

RehearsalRenderer::RehearsalRenderer(QSize size, RehearsalScript script)
    : layout_(RehearsalLayout::forSize(size)), script_(script), lens_(size, script.lensK1)
{
    if (lens_.k1 != 0) {
        const int w = size.width(), h = size.height();
        // The pinhole picture must cover every source a frame pixel has: a barrel pulls in
        // pixels from beyond the corners.
        double beyond = 0;
        const auto reach = [&](double x, double y) {
            if (const auto u = lens_.undistort(QPointF(x, y)))
                beyond = std::max({beyond, -u->x(), -u->y(), u->x() - (w - 1), u->y() - (h - 1)});
        };
        for (int i = 0; i < w; ++i)
            reach(i, 0), reach(i, h - 1);
        for (int j = 0; j < h; ++j)
            reach(0, j), reach(w - 1, j);
        margin_ = std::min(int(std::ceil(beyond)) + 2, std::max(w, h));
        cv::Mat mapX(h, w, CV_32FC1), mapY(h, w, CV_32FC1);
        for (int j = 0; j < h; ++j) {
            auto* mx = mapX.ptr<float>(j);
            auto* my = mapY.ptr<float>(j);
            for (int i = 0; i < w; ++i) {
                const auto u = lens_.undistort(QPointF(i, j));
                mx[i] = u ? float(u->x() + margin_) : -1e4f;
                my[i] = u ? float(u->y() + margin_) : -1e4f;
            }
        }
        auto warp = std::make_shared<Warp>();
        cv::convertMaps(mapX, mapY, warp->map1, warp->map2, CV_16SC2);
        warp_ = std::move(warp);
    }
    lake_ = QImage(size + QSize(2 * margin_, 2 * margin_), QImage::Format_RGB32);
    drawLake();
}

void RehearsalRenderer::drawLake()
{
    const RehearsalLayout& l = layout_;
    const QSize size = l.size;
    const double m = margin_;
    QPainter p(&lake_);
    p.setRenderHint(QPainter::Antialiasing);
    if (margin_ > 0)
        p.translate(m, m);

    // The far shore: the first line across the course that appears in the top seventh of
    // the picture, so the lake fills the frame as it does from a camera tower.
    double shoreY = 20;
    while (shoreY < 400 && l.surveyToPixel.depth(QPointF(50, shoreY + 1)) > 0
           && l.pixelOf(QPointF(50, shoreY)).y() > size.height() / 7.0)
        shoreY += 1;
    QPolygonF shore;
    for (double x = -150; x <= 250; x += 10)
        shore << paintPoint(l.pixelOf(QPointF(x, shoreY)));
    const double horizon = std::clamp(shore.boundingRect().center().y(), 1.0, size.height() - 1.0);

    QLinearGradient water(0, horizon, 0, size.height());
    water.setColorAt(0, QColor(70, 110, 140));
    water.setColorAt(1, QColor(25, 60, 95));
    p.fillRect(QRectF(-m, -m, size.width() + 2 * m, size.height() + 2 * m), water);

    QPolygonF land = shore;
    land << QPointF(size.width() + 10 + m, -10 - m) << QPointF(-10 - m, -10 - m);
    QLinearGradient sky(0, 0, 0, horizon);
    sky.setColorAt(0, QColor(150, 190, 225));
    sky.setColorAt(1, QColor(215, 230, 240));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRect(QRectF(-m, -m, size.width() + 2 * m, horizon + 2 + m));
    p.setBrush(QColor(60, 95, 55));
    QPolygonF trees;
    for (double x = -150; x <= 250; x += 10)
        trees << paintPoint(l.pixelOf(QPointF(x, shoreY)))
                     - QPointF(0, (6 + 4 * std::sin(x * 0.37)) * pixelsPerMetre(l, {x, shoreY}));
    for (int i = shore.size() - 1; i >= 0; --i)
        trees << shore[i];
    p.drawPolygon(trees);

    // Ripples along lines across the course: they show the perspective of the water.
    p.setBrush(Qt::NoBrush);
    for (double y = -30; y < shoreY; y += 6) {
        QPainterPath path;
        bool first = true;
        for (double x = -150; x <= 250; x += 5) {
            const QPointF q = paintPoint(l.pixelOf(QPointF(x + 1.5 * std::sin(y), y)));
            first ? path.moveTo(q) : path.lineTo(q);
            first = false;
        }
        p.setPen(QPen(QColor(110, 150, 180, 90), std::max(1.0, pixelsPerMetre(l, {40, y}) * 0.08)));
        p.drawPath(path);
    }

    // The ramp: 6.4 m long, 4.3 m wide, ending at the surveyed jump point.
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(QColor(235, 235, 225));
    p.drawPolygon(surveyPolygon(l, {QPointF(-6.4, -2.15), QPointF(0, -2.15), QPointF(0, 2.15), QPointF(-6.4, 2.15)}));

    // Buoys: round, 0.4 m across, centred on their surveyed point; the check buoys yellow.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 120, 20));
    for (const QPointF& b : l.buoySurvey) {
        const double r = std::max(1.5, 0.2 * pixelsPerMetre(l, b));
        p.drawEllipse(paintPoint(l.pixelOf(b)), r, r * 0.8);
    }
    if (script_.checkBuoys) {
        p.setBrush(QColor(250, 225, 30));
        for (const QPointF& b : l.checkSurvey) {
            const double r = std::max(1.5, 0.2 * pixelsPerMetre(l, b));
            p.drawEllipse(paintPoint(l.pixelOf(b)), r, r * 0.8);
        }
    }
}

QImage RehearsalRenderer::render(long frame, int framesPerSecond) const
{
    QImage image = lake_.copy();
    if (frame >= 0 && framesPerSecond > 0)
        drawSkier(image, frame, framesPerSecond);
    if (!warp_)
        return image;
    QImage out(layout_.size, QImage::Format_RGB32);
    const cv::Mat from(image.height(), image.width(), CV_8UC4, image.bits(), size_t(image.bytesPerLine()));
    cv::Mat to(out.height(), out.width(), CV_8UC4, out.bits(), size_t(out.bytesPerLine()));
    cv::remap(from, to, warp_->map1, warp_->map2, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0, 0, 0, 255));
    return out;
}

void RehearsalRenderer::drawSkier(QImage& image, long frame, int framesPerSecond) const
{
    const RehearsalLayout& l = layout_;
    const double fps = framesPerSecond;
    const double contact = script_.contactFrame(framesPerSecond);
    const double flight = 1.3 * fps;                   // frames in the air
    const double takeOff = contact - flight;
    const QPointF c = script_.contactSurvey;
    const QPointF j = l.jumpSurvey;
    const QPointF dir = (c - j) / std::hypot(c.x() - j.x(), c.y() - j.y());
    const double f = double(frame);

    QPointF ground;
    double height = 0;
    if (f < takeOff) {
        ground = j - dir * (18.0 * (takeOff - f) / fps);   // 18 m/s up the ramp
    } else if (f < contact) {
        const double s = (f - takeOff) / flight;
        ground = j + (c - j) * s;
        height = 4 * 3.2 * s * (1 - s);
    } else {
        const double t = (f - contact) / fps;
        ground = c + dir * (14.0 * t - 3.0 * t * t * (t < 2.3 ? 1 : 0));
    }

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    if (margin_ > 0)
        p.translate(margin_, margin_);
    const double ppm = pixelsPerMetre(l, ground);
    const QPointF feet = paintPoint(l.pixelOf(ground)) - QPointF(0, height * ppm * 0.8);

    if (f >= contact) {
        // The splash grows and fades over 0.8 s around the point of first contact.
        const double t = (f - contact) / fps;
        if (t < 0.8) {
            const QPointF at = paintPoint(l.pixelOf(c));
            const double cppm = pixelsPerMetre(l, c);
            const double r = (0.6 + 2.5 * t) * cppm;
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(250, 250, 255, int(230 * (1 - t / 0.8))));
            p.drawEllipse(at - QPointF(0, r * 0.3), r, r * 0.6);
        }
    }

    const QPointF up(0, -ppm * 0.8);
    p.setPen(QPen(QColor(230, 40, 40), std::max(1.0, ppm * 0.35), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(feet + up * 0.4, feet + up * 1.6);                 // body
    p.setPen(QPen(QColor(30, 30, 30), std::max(1.0, ppm * 0.12), Qt::SolidLine, Qt::RoundCap));
    const QPointF skiHalf = (paintPoint(l.pixelOf(ground + dir * 0.9)) - paintPoint(l.pixelOf(ground - dir * 0.9))) / 2;
    p.drawLine(feet - skiHalf, feet + skiHalf);                  // skis
    p.setBrush(QColor(240, 200, 160));
    p.setPen(Qt::NoPen);
    p.drawEllipse(feet + up * 1.8, ppm * 0.15, ppm * 0.15);     // head
}

// --- The source and the backend ---

namespace {

class RehearsalSource : public FrameSource {
public:
    RehearsalSource(QSize size, int fps, const RehearsalScript& script)
        : renderer_(size, script), fps_(std::max(1, fps)), origin_(CaptureClock::now())
    {
    }

    std::optional<Frame> next() override
    {
        std::unique_lock lock(mutex_);
        // A frame is due on every tick of the camera's own clock; a late caller skips the
        // ticks it missed, as a real camera's frames would be gone.
        const auto now = CaptureClock::now();
        if (tickTime(tick_) + period() < now)
            tick_ = ticksAt(now);
        const auto due = tickTime(tick_);
        if (cv_.wait_until(lock, due, [this] { return interrupted_; }))
            return std::nullopt;
        const long frame = scriptFps_ > 0 ? std::lround(secondsBetween(scriptStart_, due) * scriptFps_) : -1;
        ++tick_;
        lock.unlock();
        return Frame{renderer_.render(frame, fps_), due};
    }

    void interrupt() override
    {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
        cv_.notify_all();
    }

    QString error() const override { return {}; }

    std::optional<CaptureClock::time_point> nextFrameTime() const override
    {
        std::lock_guard lock(mutex_);
        // The tick after one that is only a few milliseconds away: that one may be rendered
        // already without the recording's script.
        long t = std::max(tick_, ticksAt(CaptureClock::now()));
        if (tickTime(t) - CaptureClock::now() < std::chrono::milliseconds(8))
            ++t;
        return tickTime(t);
    }

    void recordingStarts(CaptureClock::time_point start, int framesPerSecond) override
    {
        std::lock_guard lock(mutex_);
        scriptStart_ = start;
        scriptFps_ = framesPerSecond;
    }

private:
    std::chrono::nanoseconds period() const { return std::chrono::nanoseconds(1'000'000'000LL / fps_); }
    CaptureClock::time_point tickTime(long k) const
    {
        return origin_ + std::chrono::nanoseconds(k * 1'000'000'000LL / fps_);
    }
    long ticksAt(CaptureClock::time_point t) const
    {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t - origin_).count();
        return long((ns * fps_ + 999'999'999LL) / 1'000'000'000LL);
    }
    static double secondsBetween(CaptureClock::time_point a, CaptureClock::time_point b)
    {
        return std::chrono::duration<double>(b - a).count();
    }

    RehearsalRenderer renderer_;
    const int fps_;
    const CaptureClock::time_point origin_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    long tick_ = 0;
    bool interrupted_ = false;
    CaptureClock::time_point scriptStart_;
    int scriptFps_ = 0;
};

} // namespace

QList<QSize> RehearsalBackend::sizes()
{
    return {QSize(320, 240), QSize(640, 480), QSize(1280, 720), QSize(1920, 1080)};
}

QList<VideoDeviceInfo> RehearsalBackend::devices()
{
    VideoDeviceInfo d;
    d.name = kRehearsalCameraName;
    d.id = QStringLiteral("rehearsal");
    d.formats = {VideoFormatInfo{QStringLiteral("RGB32"), {}, sizes(), {}}};
    return {d};
}

std::unique_ptr<FrameSource> RehearsalBackend::open(const VideoDeviceInfo&, const VideoOpenRequest& request, QString& error)
{
    if (request.size.width() < 16 || request.size.height() < 16 || request.framesPerSecond < 1) {
        error = QStringLiteral("The rehearsal camera cannot run at %1x%2, %3 fps")
                    .arg(request.size.width())
                    .arg(request.size.height())
                    .arg(request.framesPerSecond);
        return nullptr;
    }
    return std::make_unique<RehearsalSource>(request.size, request.framesPerSecond, script_);
}

} // namespace tarvex
