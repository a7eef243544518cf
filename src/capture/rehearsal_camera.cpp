#include "capture/rehearsal_camera.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <opencv2/imgproc.hpp>
#include <random>
#include <thread>
#include <vector>

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
    // A contact a rounding error after a frame's time is on that frame.
    return int(std::ceil(contactSeconds * framesPerSecond - 1e-9));
}

namespace {

// Uniform in [lo, hi) from the generator's own bits, the same on every platform.
double uniform(std::mt19937& g, double lo, double hi) { return lo + (hi - lo) * (g() / 4294967296.0); }

} // namespace

void RehearsalScript::reseed(quint32 value)
{
    std::mt19937 g(value);
    seed = value;
    // Within the buoys' quadrilateral with a few metres to spare on every side.
    contactSurvey = QPointF(uniform(g, 42.0, 62.0), uniform(g, -4.0, 5.0));
    contactSeconds = uniform(g, 0.8, 2.6);
    const double speed = uniform(g, 20.0, 27.0);
    flightSeconds = std::hypot(contactSurvey.x(), contactSurvey.y()) / speed;
    flightHeight = uniform(g, 2.4, 4.6);
    approachSpeed = speed * uniform(g, 0.8, 0.95);
    runOutSpeed = speed * uniform(g, 0.5, 0.7);
}

RehearsalScript rehearsalScriptFromEnvironment(RehearsalScript script, QStringList* problems)
{
    const auto complain = [problems](const char* name, const QString& value) {
        if (problems)
            *problems << QStringLiteral("%1=%2 is not understood; it is ignored").arg(QLatin1String(name), value);
    };
    if (qEnvironmentVariableIsSet("TARVEX_REHEARSAL_SEED")) {
        const QString v = qEnvironmentVariable("TARVEX_REHEARSAL_SEED");
        bool ok = false;
        const uint seed = v.trimmed().toUInt(&ok);
        if (ok)
            script.reseed(seed);
        else
            complain("TARVEX_REHEARSAL_SEED", v);
    }
    if (qEnvironmentVariableIsSet("TARVEX_REHEARSAL_WAVES")) {
        const QString v = qEnvironmentVariable("TARVEX_REHEARSAL_WAVES");
        bool ok = false;
        const int waves = v.trimmed().toInt(&ok);
        if (ok && waves >= 0 && waves <= 3)
            script.waves = waves;
        else
            complain("TARVEX_REHEARSAL_WAVES", v);
    }
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

QString rehearsalCameraName(int camera)
{
    return camera <= 1 ? kRehearsalCameraName : kRehearsalCameraName + QStringLiteral(" %1").arg(camera);
}

RehearsalLayout RehearsalLayout::forSize(QSize size, int camera)
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
    // The companions stand further down the shore (2: the buoys seen more from the side) and
    // further up it (3: nearer the landing area, the pair spread wider).
    static const std::array<QPointF, 4> kFractions[kRehearsalCameras] = {
        {QPointF(0.80, 0.40), QPointF(0.90, 0.80), QPointF(0.26, 0.38), QPointF(0.12, 0.76)},
        {QPointF(0.70, 0.37), QPointF(0.84, 0.78), QPointF(0.20, 0.36), QPointF(0.05, 0.80)},
        {QPointF(0.90, 0.42), QPointF(0.96, 0.86), QPointF(0.40, 0.41), QPointF(0.22, 0.84)},
    };
    l.camera = std::clamp(camera, 1, kRehearsalCameras);
    const std::array<QPointF, 4>& fractions = kFractions[l.camera - 1];
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
    o[QStringLiteral("camera")] = rehearsalCameraName(layout.camera);
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
    o[QStringLiteral("contactFrame")] = script.landing ? QJsonValue(script.contactFrame(framesPerSecond)) : QJsonValue();
    o[QStringLiteral("contactSeconds")] = script.landing ? QJsonValue(script.contactSeconds) : QJsonValue();
    if (script.landing) {
        place(o, script.contactSurvey, QStringLiteral("contact"));
    } else {
        for (const char* k : {"contactSurvey", "contactPixel", "contactTwips", "contactIdealPixel"})
            o[QLatin1String(k)] = QJsonValue();
    }
    o[QStringLiteral("waves")] = script.waves;
    o[QStringLiteral("seed")] = double(script.seed);
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

RehearsalRenderer::RehearsalRenderer(QSize size, RehearsalScript script, int camera)
    : layout_(RehearsalLayout::forSize(size, camera)), script_(script), lens_(size, script.lensK1)
{
    if (lens_.k1 == 0) {
        lake_ = QImage(size, QImage::Format_RGB32);
        drawLake(lake_, 0);
    } else {
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
        const int margin = std::min(int(std::ceil(beyond)) + 2, std::max(w, h));
        QImage pinhole(size + QSize(2 * margin, 2 * margin), QImage::Format_RGB32);
        drawLake(pinhole, margin);
        cv::Mat mapX(h, w, CV_32FC1), mapY(h, w, CV_32FC1);
        for (int j = 0; j < h; ++j) {
            auto* mx = mapX.ptr<float>(j);
            auto* my = mapY.ptr<float>(j);
            for (int i = 0; i < w; ++i) {
                const auto u = lens_.undistort(QPointF(i, j));
                mx[i] = u ? float(u->x() + margin) : -1e4f;
                my[i] = u ? float(u->y() + margin) : -1e4f;
            }
        }
        lake_ = QImage(size, QImage::Format_RGB32);
        const cv::Mat from(pinhole.height(), pinhole.width(), CV_8UC4, pinhole.bits(), size_t(pinhole.bytesPerLine()));
        cv::Mat to(h, w, CV_8UC4, lake_.bits(), size_t(lake_.bytesPerLine()));
        cv::remap(from, to, mapX, mapY, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0, 0, 0, 255));
    }
    if (script_.waves > 0)
        prepareWaves();
}

QPointF RehearsalRenderer::onFrame(QPointF survey) const
{
    return paintPoint(lens_.distort(layout_.pixelOf(survey)));
}

double RehearsalRenderer::pixelsPerMetreOnFrame(QPointF survey) const
{
    const QPointF a = onFrame(survey), b = onFrame(survey + QPointF(1.0, 0.0));
    return std::hypot(b.x() - a.x(), b.y() - a.y());
}

void RehearsalRenderer::drawLake(QImage& canvas, int margin)
{
    const RehearsalLayout& l = layout_;
    const QSize size = l.size;
    const double m = margin;
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    if (margin > 0)
        p.translate(m, m);

    // The far shore: the first line across the course that appears in the top seventh of
    // the picture, so the lake fills the frame as it does from a camera tower.
    double& shoreY = shoreY_;
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

// Two trains of deep-water waves as a brightness pattern on the lake. The phases of both
// trains are worked out once on a grid of 2 x 2 pixel blocks; a frame looks the shading up
// at the phases moved on by the time and lets OpenCV spread it over the picture, which keeps
// a 1080p frame at 60 fps affordable.
struct RehearsalRenderer::Water {
    static constexpr int kSteps = 4096;
    struct Train {
        double kx, ky, omega;   // rad/m along survey X and Y, rad/s
    };
    std::array<Train, 2> trains;
    cv::Size blocks;
    std::vector<quint16> phase[2];    // per block, in steps of kSteps per turn
    std::vector<quint8> gain;         // per block; 0 off the water and next to what is not water
    std::array<qint16, kSteps> shade; // brightness at a phase, for the wave level
};

namespace {

std::array<double, 9> inverse(const std::array<double, 9>& m)
{
    const double a = m[4] * m[8] - m[5] * m[7], b = m[5] * m[6] - m[3] * m[8], c = m[3] * m[7] - m[4] * m[6];
    const double det = m[0] * a + m[1] * b + m[2] * c;
    return {a / det, (m[2] * m[7] - m[1] * m[8]) / det, (m[1] * m[5] - m[2] * m[4]) / det,
            b / det, (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
            c / det, (m[1] * m[6] - m[0] * m[7]) / det, (m[0] * m[4] - m[1] * m[3]) / det};
}

constexpr double kTau = 6.283185307179586;

} // namespace

void RehearsalRenderer::prepareWaves()
{
    auto w = std::make_shared<Water>();
    std::mt19937 g(script_.seed * 7919u + 17u);
    const int level = std::clamp(script_.waves, 1, 3);
    // Wind waves a few metres long from up the course, a shorter cross swell.
    const double lengths[2] = {uniform(g, 3.0, 5.0) + level, uniform(g, 1.6, 2.6)};
    const double angles[2] = {uniform(g, -0.4, 0.4), uniform(g, 1.0, 1.6)};
    for (int t = 0; t < 2; ++t) {
        const double k = kTau / lengths[t];
        w->trains[t] = {k * std::cos(angles[t]), k * std::sin(angles[t]), std::sqrt(9.81 * k)};
    }
    // A crest is brighter than a trough is dark: the light off the slope facing the camera.
    for (int i = 0; i < Water::kSteps; ++i) {
        const double ph = kTau * i / Water::kSteps;
        w->shade[i] = qint16(std::lround(level * (5.0 * std::sin(ph) + 2.5 * std::pow(0.5 + 0.5 * std::sin(ph), 6))));
    }

    // Water is what is blue and this side of the far shore; the shading keeps a few pixels
    // off the ramp and the buoys, so their colours stay exact.
    const int fw = lake_.width(), fh = lake_.height();
    const std::array<double, 9> toSurvey = inverse(layout_.surveyToPixel.h);
    const auto survey = [&](QPointF frame, QPointF& out) {
        const auto ideal = lens_.undistort(frame);
        if (!ideal)
            return false;
        const double d = toSurvey[6] * ideal->x() + toSurvey[7] * ideal->y() + toSurvey[8];
        if (d <= 0)
            return false;
        out = QPointF((toSurvey[0] * ideal->x() + toSurvey[1] * ideal->y() + toSurvey[2]) / d,
                      (toSurvey[3] * ideal->x() + toSurvey[4] * ideal->y() + toSurvey[5]) / d);
        return out.y() < shoreY_;
    };
    cv::Mat water(fh, fw, CV_8UC1, cv::Scalar(0));
    for (int j = 0; j < fh; ++j) {
        const auto* line = reinterpret_cast<const QRgb*>(lake_.constScanLine(j));
        auto* m = water.ptr<quint8>(j);
        for (int i = 0; i < fw; ++i)
            m[i] = qBlue(line[i]) >= qRed(line[i]) + 20 ? 255 : 0;
    }
    cv::erode(water, water, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(9, 9)));

    w->blocks = cv::Size((fw + 1) / 2, (fh + 1) / 2);
    const size_t n = size_t(w->blocks.area());
    w->phase[0].assign(n, 0);
    w->phase[1].assign(n, 0);
    w->gain.assign(n, 0);
    for (int bj = 0; bj < w->blocks.height; ++bj)
        for (int bi = 0; bi < w->blocks.width; ++bi) {
            const int i = std::min(2 * bi, fw - 1), j = std::min(2 * bj, fh - 1);
            QPointF at;
            if (!water.at<quint8>(j, i) || !survey(QPointF(i + 0.5, j + 0.5), at))
                continue;
            // Waves shorter than a few pixels would shimmer: far off they fade into the water.
            const size_t k = size_t(bj) * w->blocks.width + bi;
            w->gain[k] = quint8(std::clamp(pixelsPerMetreOnFrame(at) * 40.0, 0.0, 255.0));
            for (int t = 0; t < 2; ++t) {
                const double turns = (w->trains[t].kx * at.x() + w->trains[t].ky * at.y()) / kTau;
                w->phase[t][k] = quint16(int(std::floor((turns - std::floor(turns)) * Water::kSteps)) & (Water::kSteps - 1));
            }
        }
    water_ = std::move(w);
}

void RehearsalRenderer::moveWater(QImage& image, double seconds) const
{
    const Water& w = *water_;
    int shift[2];
    for (int t = 0; t < 2; ++t) {
        const double turns = w.trains[t].omega * seconds / kTau;
        shift[t] = int(std::floor((turns - std::floor(turns)) * Water::kSteps));
    }
    // One shade per 2 x 2 block, spread over a row of brighter and one of darker pixels that
    // OpenCV adds and subtracts with saturation; the fourth byte is Qt's opaque alpha and stays.
    const int fw = image.width(), fh = image.height();
    std::vector<quint32> lighter(static_cast<size_t>(fw)), darker(static_cast<size_t>(fw));
    const cv::Mat up(1, fw, CV_8UC4, lighter.data()), down(1, fw, CV_8UC4, darker.data());
    for (int bj = 0; bj < w.blocks.height; ++bj) {
        const size_t row = size_t(bj) * w.blocks.width;
        bool any = false;
        for (int i = 0; i < fw; i += 2) {
            const int bi = i >> 1;
            const quint8 gain = w.gain[row + bi];
            int d = 0;
            if (gain) {
                const int s = w.shade[(w.phase[0][row + bi] - shift[0]) & (Water::kSteps - 1)]
                              + w.shade[(w.phase[1][row + bi] - shift[1]) & (Water::kSteps - 1)] / 2;
                d = std::clamp((s * gain) >> 8, -255, 255);
                any = any || d != 0;
            }
            const quint32 grey = quint32(std::abs(d)) * 0x010101u;
            lighter[size_t(i)] = d > 0 ? grey : 0;
            darker[size_t(i)] = d < 0 ? grey : 0;
            if (i + 1 < fw) {
                lighter[size_t(i) + 1] = lighter[size_t(i)];
                darker[size_t(i) + 1] = darker[size_t(i)];
            }
        }
        if (!any)
            continue;
        for (int j = 2 * bj; j < std::min(2 * bj + 2, fh); ++j) {
            cv::Mat line(1, fw, CV_8UC4, image.scanLine(j));
            cv::add(line, up, line);
            cv::subtract(line, down, line);
        }
    }
}

void RehearsalRenderer::drawGlints(QPainter& p, double seconds) const
{
    // Sun on the wave tops: each speck lasts about a fifteenth of a second, the same at any
    // frame rate, more of them near the skiers' line where the sun's path lies.
    const long slot = long(std::floor(seconds * 15));
    std::mt19937 g(script_.seed * 2654435761u + quint32(slot) * 40503u + 1u);
    const int count = 25 * script_.waves * script_.waves;
    p.setPen(Qt::NoPen);
    for (int k = 0; k < count; ++k) {
        const QPointF at(uniform(g, 0.0, 110.0), uniform(g, -25.0, 30.0) * uniform(g, 0.2, 1.0));
        const double size = uniform(g, 0.05, 0.18);
        const int alpha = int(uniform(g, 140, 255));
        if (at.y() >= shoreY_ || layout_.surveyToPixel.depth(at) <= 0)
            continue;
        const double r = std::max(0.6, size * pixelsPerMetreOnFrame(at));
        p.setBrush(QColor(255, 255, 240, alpha));
        p.drawEllipse(onFrame(at), r * 1.6, r * 0.7);
    }
}

QImage RehearsalRenderer::render(long frame, int framesPerSecond) const
{
    QImage image = lake_.copy();
    drawMoving(image, frame, framesPerSecond);
    return image;
}

QRect RehearsalRenderer::redraw(QImage& picture, QRect drawn, long frame, int framesPerSecond) const
{
    if (picture.size() != lake_.size() || picture.format() != lake_.format()) {
        picture = render(frame, framesPerSecond);
        return picture.rect();
    }
    // Moving water changes the whole lake; otherwise only what the earlier frame drew over it.
    const QRect back = water_ ? picture.rect() : drawn & picture.rect();
    if (!back.isEmpty()) {
        const qsizetype bytes = qsizetype(back.width()) * 4;
        for (int j = back.top(); j <= back.bottom(); ++j)
            std::memcpy(picture.scanLine(j) + qsizetype(back.left()) * 4, lake_.constScanLine(j) + qsizetype(back.left()) * 4,
                        size_t(bytes));
    }
    return drawMoving(picture, frame, framesPerSecond);
}

QRect RehearsalRenderer::drawMoving(QImage& image, long frame, int framesPerSecond) const
{
    const double seconds = frame >= 0 && framesPerSecond > 0 ? double(frame) / framesPerSecond : 0.0;
    if (water_)
        moveWater(image, seconds);
    QRectF bounds;
    if (script_.waves > 0 || (frame >= 0 && framesPerSecond > 0)) {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        if (script_.waves > 0)
            drawGlints(p, seconds);
        if (frame >= 0 && framesPerSecond > 0)
            drawSkier(p, frame, framesPerSecond, bounds);
    }
    if (water_)
        return image.rect();
    if (bounds.isEmpty())
        return {};
    // A pixel more on every side for antialiasing, and one for rounding to whole pixels.
    const QRect touched(QPoint(int(std::floor(bounds.left())) - 2, int(std::floor(bounds.top())) - 2),
                        QPoint(int(std::ceil(bounds.right())) + 2, int(std::ceil(bounds.bottom())) + 2));
    return touched & image.rect();
}

namespace {

// What an ellipse or a line may touch before antialiasing: its shape and half the pen.
void grow(QRectF& bounds, QPointF centre, double rx, double ry)
{
    bounds |= QRectF(centre.x() - rx, centre.y() - ry, 2 * rx, 2 * ry);
}

void grow(QRectF& bounds, QPointF a, QPointF b, double penWidth)
{
    const double h = penWidth / 2;
    bounds |= QRectF(QPointF(std::min(a.x(), b.x()) - h, std::min(a.y(), b.y()) - h),
                     QPointF(std::max(a.x(), b.x()) + h, std::max(a.y(), b.y()) + h));
}

} // namespace

void RehearsalRenderer::drawSkier(QPainter& p, long frame, int framesPerSecond, QRectF& bounds) const
{
    const RehearsalLayout& l = layout_;
    const RehearsalScript& s = script_;
    const auto ellipse = [&](QPointF centre, double rx, double ry) {
        p.drawEllipse(centre, rx, ry);
        const double pen = p.pen().style() == Qt::NoPen ? 0.0 : p.pen().widthF() / 2;
        grow(bounds, centre, rx + pen, ry + pen);
    };
    const auto line = [&](QPointF a, QPointF b) {
        p.drawLine(a, b);
        grow(bounds, a, b, p.pen().widthF());
    };
    const double t = double(frame) / framesPerSecond;
    const double takeOff = s.contactSeconds - s.flightSeconds;
    const QPointF c = s.contactSurvey;
    const QPointF j = l.jumpSurvey;
    const QPointF dir = (c - j) / std::max(1e-9, std::hypot(c.x() - j.x(), c.y() - j.y()));
    // On the water from the first frame whose time is at or after the contact.
    const bool landed = s.landing && frame >= s.contactFrame(framesPerSecond);

    QPointF ground;
    double height = 0;
    if (t < takeOff) {
        ground = j - dir * (s.approachSpeed * (takeOff - t));
    } else if (!landed) {
        const double f = (t - takeOff) / s.flightSeconds;
        ground = j + (c - j) * f;
        // A pass without a landing holds its height past the top and leaves the picture.
        height = s.landing || f < 0.5 ? 4 * s.flightHeight * f * (1 - f) : s.flightHeight;
        height = std::max(height, 0.0);
    } else {
        const double u = t - s.contactSeconds;
        ground = c + dir * (s.runOutSpeed * u - 3.0 * u * u * (u < 2.3 ? 1 : 0));
    }
    if (l.surveyToPixel.depth(ground) <= 0 || l.surveyToPixel.depth(ground + dir * 0.9) <= 0)
        return;
    const QPointF base = onFrame(ground);
    if (std::abs(base.x()) > 4.0 * l.size.width() || std::abs(base.y()) > 4.0 * l.size.height())
        return;

    const double ppm = pixelsPerMetreOnFrame(ground);
    const QPointF feet = base - QPointF(0, height * ppm * 0.8);
    const QPointF skiHalf = (onFrame(ground + dir * 0.9) - onFrame(ground - dir * 0.9)) / 2;

    // The shadow on the water, thrown a little across the course by a high sun; it meets
    // the skis at the landing.
    {
        const QPointF on = onFrame(ground + QPointF(0.25, -0.35) * height);
        const double sppm = pixelsPerMetreOnFrame(ground + QPointF(0.25, -0.35) * height);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(5, 20, 35, int(110 - 12 * std::min(height, 5.0))));
        ellipse(on, std::max(1.0, 1.0 * sppm), std::max(0.7, 0.35 * sppm));
    }

    if (landed) {
        const double u = t - s.contactSeconds;
        const QPointF at = onFrame(c);
        const double cppm = pixelsPerMetreOnFrame(c);
        // The splash at the touchdown point: a hand's breadth at first contact, then it
        // grows and fades over 0.8 s.
        if (u < 0.8) {
            const double r = (0.25 + 3.0 * u) * cppm;
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(250, 250, 255, int(230 * (1 - u / 0.8))));
            ellipse(at - QPointF(0, r * 0.3), r, r * 0.6);
        }
        // Spray thrown up and forward from the touchdown point, more of it as the skis dig in.
        std::mt19937 g(s.seed * 97u + 5u);
        for (int k = 0; k < 48; ++k) {
            const double launch = uniform(g, 0.0, 0.35);
            const double forward = uniform(g, 1.0, 0.45 * s.runOutSpeed), across = uniform(g, -2.5, 2.5);
            const double up = uniform(g, 1.5, 5.0), size = uniform(g, 0.06, 0.16);
            const double a = u - launch;
            const double rise = up * a - 4.9 * a * a;
            if (a < 0 || rise < 0)
                continue;
            const QPointF g0 = c + dir * (forward * a) + QPointF(-dir.y(), dir.x()) * (across * a);
            const double gppm = pixelsPerMetreOnFrame(g0);
            p.setBrush(QColor(245, 248, 255, 210));
            ellipse(onFrame(g0) - QPointF(0, rise * gppm * 0.8), std::max(0.7, size * gppm),
                          std::max(0.7, size * gppm));
        }
        // The skis' own spray on the run-out.
        if (u > 0.05) {
            p.setBrush(QColor(235, 240, 250, 170));
            ellipse(base - skiHalf * 0.8, std::max(1.0, 0.5 * ppm), std::max(0.8, 0.25 * ppm));
        }
    }

    const QPointF up(0, -ppm * 0.8);
    p.setPen(QPen(QColor(230, 40, 40), std::max(1.0, ppm * 0.35), Qt::SolidLine, Qt::RoundCap));
    line(feet + up * 0.4, feet + up * 1.6);                 // body
    p.setPen(QPen(QColor(30, 30, 30), std::max(1.0, ppm * 0.12), Qt::SolidLine, Qt::RoundCap));
    line(feet - skiHalf, feet + skiHalf);                  // skis
    p.setBrush(QColor(240, 200, 160));
    p.setPen(Qt::NoPen);
    ellipse(feet + up * 1.8, ppm * 0.15, ppm * 0.15);     // head
}

// --- The source and the backend ---

namespace {

// A camera's picture is ready on its tick. A worker draws the coming ticks' pictures a few
// ticks ahead, as a camera's driver holds a few filled buffers, so a moment when the machine
// is busy elsewhere costs no frame. Each picture shows its own tick's moment: one drawn before
// the recording's script was known is drawn again.
class RehearsalSource : public FrameSource {
public:
    RehearsalSource(QSize size, int fps, const RehearsalScript& script, int camera = 1)
        : renderer_(size, script, camera), fps_(std::max(1, fps)), origin_(CaptureClock::now())
    {
        worker_ = std::thread([this] { drawAhead(); });
    }

    ~RehearsalSource() override
    {
        interrupt();
        worker_.join();
    }

    std::optional<Frame> next() override
    {
        std::unique_lock lock(mutex_);
        // A frame is due on every tick of the camera's own clock. A camera's driver keeps
        // frames in the buffers it was given for a caller that is late (a USB camera's up to
        // 32, half a second at 60 fps); here half a second of them. A caller later than that
        // skips the ticks it missed, as a real camera's frames would be gone. A late frame
        // keeps its tick's time and picture: it is only handed over later.
        const auto now = CaptureClock::now();
        if (tickTime(tick_) + driverFrames() * period() < now) {
            tick_ = ticksAt(now);
            forgetBefore(tick_);
            cv_.notify_all();
        }
        const long tick = tick_;
        const auto due = tickTime(tick);
        if (cv_.wait_until(lock, due, [this] { return interrupted_; }))
            return std::nullopt;
        cv_.wait(lock, [&] { return interrupted_ || (!ready_.empty() && ready_.front().tick == tick); });
        if (interrupted_)
            return std::nullopt;
        const long frame = frameAt(tick);
        QImage image;
        if (ready_.front().frame == frame)
            image = std::move(ready_.front().image);
        ready_.pop_front();
        ++tick_;
        cv_.notify_all();   // room for one more picture ahead
        lock.unlock();
        if (image.isNull())
            image = renderer_.render(frame, fps_);   // the script changed while it was drawn
        Frame out;
        out.image = std::move(image);
        out.time = due;
        return out;
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
        long t = std::max(tick_, ticksAt(CaptureClock::now())) + 1;
        if (tickTime(t) - CaptureClock::now() < std::chrono::milliseconds(8))
            ++t;
        return tickTime(t);
    }

    void recordingStarts(CaptureClock::time_point start, int framesPerSecond) override
    {
        std::lock_guard lock(mutex_);
        scriptStart_ = start;
        scriptFps_ = framesPerSecond;
        // Pictures drawn ahead without the jump are drawn again with it.
        const auto stale = std::find_if(ready_.begin(), ready_.end(), [this](const Drawn& d) { return d.frame != frameAt(d.tick); });
        ready_.erase(stale, ready_.end());
        cv_.notify_all();
    }

private:
    int driverFrames() const { return std::max(4, fps_ / 2); }
    static constexpr int kAhead = 4;
    // Pictures the worker draws into again once the station has let go of them: those drawn
    // ahead, on the preview and queued for the compressor. When the compressor falls behind
    // on a busy machine its queue holds up to a second of pictures; a fresh picture for each
    // would cost the copy and the page faults the canvases save just when time is short, so
    // there are canvases for as many as the queue holds, and a few once it has caught up.
    static constexpr std::size_t kFewCanvases = kAhead + 8;
    static constexpr qint64 kCanvasBytes = 640LL << 20;

    struct Drawn {
        long tick;
        long frame;
        QImage image;
    };
    struct Canvas {
        QImage image;
        QRect drawn;   // where it differs from the still lake
    };

    void drawAhead()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            // Ticks in order: the first one from tick_ on that has no picture yet.
            long tick = tick_;
            cv_.wait(lock, [&] {
                if (interrupted_)
                    return true;
                tick = tick_;
                for (const Drawn& d : ready_) {
                    if (d.tick != tick)
                        break;
                    ++tick;
                }
                return tick < tick_ + kAhead;
            });
            if (interrupted_)
                return;
            const long frame = frameAt(tick);
            lock.unlock();
            QImage image = draw(frame);
            lock.lock();
            if (tick < tick_ || frame != frameAt(tick))
                continue;   // skipped, or the script came meanwhile
            const auto at = std::find_if(ready_.begin(), ready_.end(), [&](const Drawn& d) { return d.tick > tick; });
            ready_.insert(at, Drawn{tick, frame, std::move(image)});
            cv_.notify_all();
        }
    }

    // Worker thread only.
    QImage draw(long frame)
    {
        Canvas* free = nullptr;
        std::size_t idle = 0;
        for (Canvas& c : canvases_) {
            // Nobody else holds it: what the compressor and the preview read of it is done.
            if (c.image.isDetached() && ++idle == 1)
                free = &c;
        }
        if (free) {
            std::atomic_thread_fence(std::memory_order_acquire);
            free->drawn = renderer_.redraw(free->image, free->drawn, frame, fps_);
            QImage image = free->image;
            if (idle > kFewCanvases) {
                // The queue has caught up: one idle canvas fewer per picture.
                const auto spare = std::find_if(canvases_.rbegin(), canvases_.rend(),
                                                [&](const Canvas& c) { return &c != free && c.image.isDetached(); });
                canvases_.erase(std::next(spare).base());
            }
            return image;
        }
        QImage image = renderer_.render(frame, fps_);
        const auto most = std::size_t(kCanvasBytes / std::max<qsizetype>(1, image.sizeInBytes()));
        if (canvases_.size() < std::max(kFewCanvases, most))
            canvases_.push_back(Canvas{image, image.rect()});
        return image;
    }

    // Under mutex_.
    void forgetBefore(long tick)
    {
        while (!ready_.empty() && ready_.front().tick < tick)
            ready_.pop_front();
    }

    // Under mutex_: the frame of the jump shown on a tick, -1 before any recording.
    long frameAt(long tick) const
    {
        if (scriptFps_ <= 0)
            return -1;
        return std::max(-1L, std::lround(secondsBetween(scriptStart_, tickTime(tick)) * scriptFps_));
    }
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
    long tick_ = 0;   // the tick next() hands out next
    bool interrupted_ = false;
    CaptureClock::time_point scriptStart_;
    int scriptFps_ = 0;
    std::deque<Drawn> ready_;   // by tick, from tick_ on
    std::vector<Canvas> canvases_;
    std::thread worker_;
};

} // namespace

QList<QSize> RehearsalBackend::sizes()
{
    return {QSize(320, 240), QSize(640, 480), QSize(1280, 720), QSize(1920, 1080)};
}

QList<VideoDeviceInfo> RehearsalBackend::devices()
{
    QList<VideoDeviceInfo> out;
    for (int k = 1; k <= kRehearsalCameras; ++k) {
        VideoDeviceInfo d;
        d.name = rehearsalCameraName(k);
        d.id = k == 1 ? QStringLiteral("rehearsal") : QStringLiteral("rehearsal%1").arg(k);
        // Any whole rate is drawn; these are the ones a camera at a lake offers.
        d.formats = {VideoFormatInfo{QStringLiteral("RGB32"), {}, sizes(), {25, 30, 50, 60}}};
        out << d;
    }
    return out;
}

int RehearsalBackend::cameraOf(const VideoDeviceInfo& device)
{
    const QString rest = device.id.mid(QStringLiteral("rehearsal").size());
    const int k = device.id.startsWith(QLatin1String("rehearsal")) ? rest.toInt() : 0;
    return k >= 2 && k <= kRehearsalCameras ? k : 1;
}

std::unique_ptr<FrameSource> RehearsalBackend::open(const VideoDeviceInfo& device, const VideoOpenRequest& request,
                                                    QString& error)
{
    if (request.size.width() < 16 || request.size.height() < 16 || request.framesPerSecond < 1) {
        error = QStringLiteral("The rehearsal camera cannot run at %1x%2, %3 fps")
                    .arg(request.size.width())
                    .arg(request.size.height())
                    .arg(request.framesPerSecond);
        return nullptr;
    }
    return std::make_unique<RehearsalSource>(request.size, request.framesPerSecond, script_, cameraOf(device));
}

} // namespace tarvex
