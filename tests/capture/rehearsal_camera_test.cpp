// The rehearsal camera's pictures and their ground truth: where the truth says a mark is,
// the picture shows it.
#include "capture/rehearsal_camera.h"
#include "cli/cli.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace tarvex {
namespace {

QByteArray md5(const QImage& img)
{
    return QCryptographicHash::hash(QByteArrayView(img.constBits(), img.sizeInBytes()), QCryptographicHash::Md5)
        .toHex();
}

QPointF at(const QJsonValue& v) { return {v.toArray()[0].toDouble(), v.toArray()[1].toDouble()}; }

QJsonObject readJson(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
}

// The centre of the warm colour (buoys: red well above blue) within `radius` of `near`,
// each pixel weighted by how much warmer it is than the water around the window.
QPointF warmCentroid(const QImage& img, QPointF near, int radius)
{
    const auto warmth = [&](int x, int y) {
        const QRgb p = img.pixel(x, y);
        return double(qRed(p)) - double(qBlue(p));
    };
    const int cx = int(std::lround(near.x())), cy = int(std::lround(near.y()));
    double background = -1e9;
    for (int d = -radius; d <= radius; ++d)
        background = std::max({background, warmth(cx + d, cy - radius), warmth(cx + d, cy + radius),
                                warmth(cx - radius, cy + d), warmth(cx + radius, cy + d)});
    double sw = 0, sx = 0, sy = 0;
    for (int y = cy - radius + 1; y < cy + radius; ++y)
        for (int x = cx - radius + 1; x < cx + radius; ++x) {
            const double w = std::max(0.0, warmth(x, y) - background);
            sw += w;
            sx += w * x;
            sy += w * y;
        }
    return sw > 0 ? QPointF(sx / sw, sy / sw) : QPointF(-1, -1);
}

TEST(RehearsalCameraLens, NoDistortionAndNoCheckBuoysDrawThePictureOfBefore)
{
    RehearsalScript plain;
    plain.checkBuoys = false;
    RehearsalRenderer r(QSize(640, 480), plain);
    EXPECT_EQ(md5(r.render(-1, 30)), "c2ebbbde79d230e58e01855594e08523");
    EXPECT_EQ(md5(r.render(20, 30)), "d491c3231c1a0adf4fc3d14a06080ab3");
    EXPECT_EQ(md5(r.render(30, 30)), "8f627f6a2c94dfc865ee64727256657f");
    // The check buoys are the only change of the still picture.
    EXPECT_NE(md5(RehearsalRenderer(QSize(640, 480), RehearsalScript{}).render(-1, 30)),
              "c2ebbbde79d230e58e01855594e08523");
}

TEST(RehearsalCameraLens, EveryBuoyAppearsWhereTheTruthPutsItThroughABarrelLens)
{
    for (QSize size : {QSize(1920, 1080), QSize(1280, 720)}) {
        RehearsalScript s;
        s.lensK1 = -0.1;
        const RehearsalRenderer r(size, s);
        const QImage picture = r.render(-1, 30);
        ASSERT_EQ(picture.size(), size);
        // The corners come from beyond the pinhole frame: drawn, not black.
        EXPECT_NE(picture.pixel(0, size.height() - 1), qRgb(0, 0, 0));
        EXPECT_NE(picture.pixel(size.width() - 1, 0), qRgb(0, 0, 0));
        const QJsonObject truth = groundTruth(r.layout(), s, 30);
        QJsonArray marks = truth["buoys"].toArray();
        for (const QJsonValue& c : truth["checkPoints"].toArray())
            marks.append(c);
        ASSERT_EQ(marks.size(), 12);
        int movedByTheLens = 0;
        for (const QJsonValue& m : marks) {
            const QPointF want = at(m.toObject()["pixel"]);
            const QPointF got = warmCentroid(picture, want, 9);
            EXPECT_LT(std::hypot(got.x() - want.x(), got.y() - want.y()), 0.5)
                << size.width() << " " << m.toObject()["name"].toString().toStdString() << " at " << got.x() << ","
                << got.y() << " want " << want.x() << "," << want.y();
            const QPointF ideal = at(m.toObject()["idealPixel"]);
            movedByTheLens += std::hypot(ideal.x() - want.x(), ideal.y() - want.y()) > 3.0;
        }
        // A pinhole's position is pixels away at the edges of the landing area.
        EXPECT_GE(movedByTheLens, 4) << size.width();
    }
}

TEST(RehearsalCameraLens, TheTruthGivesTheLensAndEveryPointDistortedAndIdeal)
{
    RehearsalScript s;
    s.lensK1 = -0.1;
    const QJsonObject truth = groundTruth(RehearsalLayout::forSize(QSize(1000, 500)), s, 25);
    EXPECT_DOUBLE_EQ(truth["lensK1"].toDouble(), -0.1);
    EXPECT_NEAR(truth["lensRadiusPixels"].toDouble(), 559.0169943749474, 1e-9);
    // Upper right: pinhole pixel (799.5, 199.5), 300 and -50 from the centre, r^2 = 0.296.
    const QJsonObject ur = truth["buoys"].toArray()[0].toObject();
    EXPECT_NEAR(at(ur["idealPixel"]).x(), 799.5, 1e-9);
    EXPECT_NEAR(at(ur["idealPixel"]).y(), 199.5, 1e-9);
    EXPECT_NEAR(at(ur["pixel"]).x(), 790.62, 1e-9);
    EXPECT_NEAR(at(ur["pixel"]).y(), 200.98, 1e-9);
    EXPECT_NEAR(at(ur["twips"]).x(), 11859.3, 1e-6);
    EXPECT_NEAR(at(ur["twips"]).y(), 3014.7, 1e-6);

    const QJsonArray checks = truth["checkPoints"].toArray();
    ASSERT_EQ(checks.size(), 8);
    EXPECT_EQ(checks[0].toObject()["name"].toString(), "C1");
    EXPECT_EQ(checks[7].toObject()["name"].toString(), "C8");
    EXPECT_EQ(at(checks[0].toObject()["survey"]), QPointF(40.0, -8.0));
    EXPECT_EQ(at(checks[7].toObject()["survey"]), QPointF(66.0, 4.0));
    for (const QJsonValue& c : checks) {
        const QPointF px = at(c.toObject()["pixel"]), tw = at(c.toObject()["twips"]);
        EXPECT_NEAR(tw.x(), 15 * px.x(), 1e-6);
        EXPECT_NEAR(tw.y(), 15 * px.y(), 1e-6);
    }
    EXPECT_TRUE(truth.contains("contactIdealPixel"));
    EXPECT_NE(at(truth["contactPixel"]), at(truth["contactIdealPixel"]));

    // Without a lens both positions are one.
    const QJsonObject plain = groundTruth(RehearsalLayout::forSize(QSize(1000, 500)), RehearsalScript{}, 25);
    EXPECT_EQ(plain["lensK1"].toDouble(), 0.0);
    EXPECT_EQ(at(plain["contactPixel"]), at(plain["contactIdealPixel"]));
    EXPECT_EQ(at(plain["checkPoints"].toArray()[3].toObject()["pixel"]),
              at(plain["checkPoints"].toArray()[3].toObject()["idealPixel"]));
}

TEST(RehearsalCameraLens, UndistortingFindsThePinholePixelOrSaysThereIsNone)
{
    for (double k1 : {-0.15, -0.05, 0.1}) {
        const RehearsalLens lens(QSize(1920, 1080), k1);
        for (QPointF p : {QPointF(0, 0), QPointF(1919, 1079), QPointF(1500, 300), QPointF(959.5, 539.5)}) {
            const auto back = lens.undistort(lens.distort(p));
            ASSERT_TRUE(back.has_value()) << k1;
            EXPECT_NEAR(back->x(), p.x(), 1e-6) << k1;
            EXPECT_NEAR(back->y(), p.y(), 1e-6) << k1;
        }
    }
    // A pincushion pulls the corner in: 0.1 of the half diagonal at its end.
    const RehearsalLens pin(QSize(1920, 1080), 0.1);
    EXPECT_NEAR(pin.distort(QPointF(1919.5, 1079.5)).x(), 959.5 + 960 * 1.1, 1e-9);
    // So strong a barrel folds before the corner: nothing there comes from the pinhole picture.
    EXPECT_FALSE(RehearsalLens(QSize(1920, 1080), -0.4).undistort(QPointF(0, 0)).has_value());
}

TEST(RehearsalCameraLens, TheLensComesFromTheEnvironmentAndFromTheRecordOption)
{
    QStringList problems;
    qputenv("TARVEX_REHEARSAL_LENS_K1", "-0.08");
    EXPECT_DOUBLE_EQ(rehearsalScriptFromEnvironment({}, &problems).lensK1, -0.08);
    EXPECT_TRUE(problems.isEmpty());
    qputenv("TARVEX_REHEARSAL_LENS_K1", "barrel");
    RehearsalScript keep;
    keep.lensK1 = 0.02;
    EXPECT_DOUBLE_EQ(rehearsalScriptFromEnvironment(keep, &problems).lensK1, 0.02);
    EXPECT_EQ(problems, QStringList{"TARVEX_REHEARSAL_LENS_K1=barrel is not understood; it is ignored"});
    qunsetenv("TARVEX_REHEARSAL_LENS_K1");

    QTemporaryDir dir;
    QString out;
    QTextStream o(&out);
    EXPECT_EQ(runCli({"record", dir.filePath("lens.avi"), "--device", "Tarvex Rehearsal Camera", "--size", "320x240",
                      "--fps", "10", "--seconds", "1", "--lens-k1", "-0.12"},
                     o, o),
              0);
    o.flush();
    EXPECT_DOUBLE_EQ(readJson(dir.filePath("lens.truth.json"))["lensK1"].toDouble(), -0.12) << out.toStdString();
    EXPECT_EQ(runCli({"record", dir.filePath("bad.avi"), "--lens-k1", "2"}, o, o), 2);
    o.flush();
    EXPECT_TRUE(out.contains("--lens-k1 must be a number from -0.5 to 0.5"));
}

} // namespace
} // namespace tarvex
