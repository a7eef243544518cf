#pragma once
// The rehearsal camera: a lake seen from the shore with four surveyed buoys and the jump
// ramp, through a fixed camera (a plane homography from survey metres to pixels), and on
// every recording a skier whose first contact with the water lands on a known survey point
// at a known frame. Beside each of its videos it leaves the ground truth, so a developer, a
// test or a trainee always has a camera with a known answer.
//
// Pixel coordinates: pixel (i, j) has its centre at (i, j); the picture spans -0.5 .. W-0.5.
// Screen twips are 15 x pixel coordinates, the convention of the grid setup screen.
#include "capture/capture_backend.h"
#include "common/twips.h"
#include <QJsonObject>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <array>
#include <memory>

namespace tarvex {

inline const QString kRehearsalCameraName = QStringLiteral("Tarvex Rehearsal Camera");
// The rehearsal camera has two companions on other places of the shore, so a pass can be
// recorded and measured by several cameras: "Tarvex Rehearsal Camera 2" and "... 3".
inline constexpr int kRehearsalCameras = 3;
QString rehearsalCameraName(int camera);

// x' = (h0 x + h1 y + h2) / (h6 x + h7 y + h8), y' = (h3 x + h4 y + h5) / (...).
struct Homography {
    std::array<double, 9> h{1, 0, 0, 0, 1, 0, 0, 0, 1};
    QPointF map(QPointF p) const;
    // Denominator of map(p): positive in front of the camera.
    double depth(QPointF p) const;
    // The mapping that takes from[k] to to[k]; nullopt for a degenerate set.
    static std::optional<Homography> fromPoints(const std::array<QPointF, 4>& from, const std::array<QPointF, 4>& to);
};

// What a recording with the rehearsal camera plays.
struct RehearsalScript {
    QPointF contactSurvey{52.4, 1.6};   // metres, first contact of the skier's skis
    double contactSeconds = 1.0;          // after the start of the recording, anywhere between frames
    bool landing = true;                  // false: the skier never reaches the water in the clip
    double approachSpeed = 18.0;          // m/s up the ramp
    double flightSeconds = 1.3;           // from the ramp's end to first contact
    double flightHeight = 3.2;            // metres at the top of the flight
    double runOutSpeed = 14.0;            // m/s just after the landing
    // Radial lens coefficient about the picture centre (see RehearsalLens); negative = barrel.
    double lensK1 = 0;
    bool checkBuoys = true;   // C1..C8 on the water
    int waves = 0;            // 0 calm (no waves, no glints) .. 3 rough
    quint32 seed = 0;         // the pattern of waves, glints and spray

    // The frame of first contact at a frame rate: the first frame whose time is at or after
    // contactSeconds (frame n is taken at n / framesPerSecond).
    int contactFrame(int framesPerSecond) const;
    // A pass of its own for every seed: the contact point within the landing area, its time,
    // the speed and the height of the flight vary as they do between real jumps. The lens,
    // the water and whether the skier lands are left as they are.
    void reseed(quint32 seed);
    static RehearsalScript seeded(quint32 seed)
    {
        RehearsalScript s;
        s.reseed(seed);
        return s;
    }
};

// The options of the rehearsal camera that a station or a trial sets from outside:
// TARVEX_REHEARSAL_SEED (a pass of its own, see seeded()), TARVEX_REHEARSAL_WAVES (0..3),
// TARVEX_REHEARSAL_LENS_K1. A value that cannot be read is left at the script's own and
// named in problems.
RehearsalScript rehearsalScriptFromEnvironment(RehearsalScript script, QStringList* problems = nullptr);

// One radial coefficient about the picture centre c = ((W-1)/2, (H-1)/2), the radius
// normalised by half the picture diagonal R so k1 does not depend on the picture size:
// an ideal pixel p appears at c + (p - c) (1 + k1 r^2), r = |p - c| / R.
struct RehearsalLens {
    RehearsalLens(QSize size, double k1);
    double k1 = 0;
    QPointF centre;
    double radius = 1;   // R, pixels
    QPointF distort(QPointF ideal) const;
    // The ideal pixel that appears at `distorted`; nullopt past the fold of a strong barrel.
    std::optional<QPointF> undistort(QPointF distorted) const;
};

// The fixed surveyed layout and the camera that watches it, for one picture size.
struct RehearsalLayout {
    // Buoys in the station's order: 1 upper right, 2 lower right, 3 upper left, 4 lower left.
    std::array<QPointF, 4> buoySurvey;
    // Check buoys C1..C8 across the landing area: survey points a grid fit can be judged by.
    std::array<QPointF, 8> checkSurvey;
    QPointF jumpSurvey;
    QSize size;
    Homography surveyToPixel;
    int camera = 1;   // 1..kRehearsalCameras: where on the shore it stands

    static RehearsalLayout forSize(QSize size, int camera = 1);
    // Through a perfect pinhole; the lens moves it to RehearsalLens::distort of this.
    QPointF pixelOf(QPointF survey) const { return surveyToPixel.map(survey); }
};

// The ground-truth file beside a rehearsal video: "<video without suffix>.truth.json".
QString groundTruthPathFor(const QString& videoPath);
QJsonObject groundTruth(const RehearsalLayout& layout, const RehearsalScript& script, int framesPerSecond);
bool writeGroundTruth(const QString& path, const QJsonObject& truth, QString& error);

// Draws the scene: the lake once per size, the water, the skier and the splash per frame.
// With a lens the still lake is drawn through a pinhole with a margin around it and warped
// into the frame once; what moves is drawn straight at the positions the lens gives, so a
// frame costs no warp.
class RehearsalRenderer {
public:
    RehearsalRenderer(QSize size, RehearsalScript script, int camera = 1);
    const RehearsalLayout& layout() const { return layout_; }
    const RehearsalLens& lens() const { return lens_; }
    // frame < 0: no jump is being played (preview before a recording).
    QImage render(long frame, int framesPerSecond) const;
    // The same picture drawn over one this renderer drew before, of which `drawn` is the part
    // that differed from the still lake (what an earlier redraw returned; the whole picture
    // for a render). Only that part is put back, so a 1080p frame costs the skier, not a copy
    // of the whole lake. Returns the part of this frame that differs from the lake.
    QRect redraw(QImage& picture, QRect drawn, long frame, int framesPerSecond) const;

private:
    struct Water;
    void drawLake(QImage& canvas, int margin);
    void prepareWaves();
    void moveWater(QImage& image, double seconds) const;
    void drawGlints(QPainter& p, double seconds) const;
    QRect drawMoving(QImage& image, long frame, int framesPerSecond) const;
    // Grows `bounds` by everything it paints.
    void drawSkier(QPainter& p, long frame, int framesPerSecond, QRectF& bounds) const;
    // A survey point in the frame, in QPainter's coordinates, and the frame's pixels per
    // metre along X there.
    QPointF onFrame(QPointF survey) const;
    double pixelsPerMetreOnFrame(QPointF survey) const;
    RehearsalLayout layout_;
    RehearsalScript script_;
    RehearsalLens lens_;
    double shoreY_ = 20;   // survey Y of the far shore
    std::shared_ptr<const Water> water_;
    QImage lake_;
};

// The backend that lists the rehearsal camera.
class RehearsalBackend : public VideoBackend {
public:
    explicit RehearsalBackend(RehearsalScript script = {}) : script_(script) {}
    QList<VideoDeviceInfo> devices() override;
    std::unique_ptr<FrameSource> open(const VideoDeviceInfo& device, const VideoOpenRequest& request,
                                      QString& error) override;
    const RehearsalScript& script() const { return script_; }

    static QList<QSize> sizes();
    // Which of the rehearsal cameras a listed device is (1 when it is none of them).
    static int cameraOf(const VideoDeviceInfo& device);

private:
    RehearsalScript script_;
};

} // namespace tarvex
