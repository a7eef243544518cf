#include "cli/cli_capture.h"

#include "capture/camera_set.h"
#include "capture/ffmpeg_capture_device.h"
#include "capture/network_camera.h"
#include "capture/rehearsal_camera.h"
#include "cli/cli.h"
#include "grid/grid_file.h"
#include "grid/grid_fit.h"
#include "grid/grid_geometry.h"
#include "station/settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTimer>
#include <cmath>
#include <memory>
#include <vector>

namespace tarvex {

namespace {

int fail(QTextStream& err, const QString& why)
{
    err << "tarvex-cli: " << why << "\n";
    return kCliUsage;
}

bool point(const QJsonValue& v, double& x, double& y)
{
    const QJsonArray a = v.toArray();
    if (a.size() != 2 || !a[0].isDouble() || !a[1].isDouble())
        return false;
    x = a[0].toDouble();
    y = a[1].toDouble();
    return true;
}

int runRehearsalGrid(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const CliArgs parsed = parseCliArgs(args, {QStringLiteral("out"), QStringLiteral("grid"), QStringLiteral("lens"),
                                               QStringLiteral("camera")});
    if (!parsed.error.isEmpty())
        return fail(err, parsed.error);
    const QStringList& pos = parsed.positional;
    const QMap<QString, QString>& opt = parsed.options;
    if (pos.size() != 1 || !opt.contains(QStringLiteral("out")))
        return fail(err, QStringLiteral("rehearsal-grid needs TRUTH.json and --out FILE.ipt"));
    bool ok = true;
    const int n = opt.value(QStringLiteral("grid"), QStringLiteral("1")).toInt(&ok);
    if (!ok || !GridState::isGridNumber(n))
        return fail(err, QStringLiteral("--grid must be 1, 2 or 3"));

    QFile f(pos.first());
    if (!f.open(QIODevice::ReadOnly))
        return fail(err, QStringLiteral("cannot read %1: %2").arg(pos.first(), f.errorString()));
    QJsonParseError pe;
    QJsonObject truth = QJsonDocument::fromJson(f.readAll(), &pe).object();
    if (pe.error != QJsonParseError::NoError || truth.value(QStringLiteral("buoys")).toArray().size() != kBuoyCount)
        return fail(err, QStringLiteral("%1 is not a rehearsal ground truth").arg(pos.first()));
    if (opt.contains(QStringLiteral("camera"))) {
        // Every rehearsal camera watches the same survey points: the truth of one pass gives
        // the picture positions of any of them.
        const int camera = opt.value(QStringLiteral("camera")).toInt(&ok);
        if (!ok || camera < 1 || camera > kRehearsalCameras)
            return fail(err, QStringLiteral("--camera must be 1 to %1").arg(kRehearsalCameras));
        const QSize size(truth.value(QStringLiteral("width")).toInt(), truth.value(QStringLiteral("height")).toInt());
        if (size.width() < 16 || size.height() < 16)
            return fail(err, QStringLiteral("%1 is not a rehearsal ground truth").arg(pos.first()));
        RehearsalScript script;
        script.lensK1 = truth.value(QStringLiteral("lensK1")).toDouble();
        script.landing = false;
        truth = groundTruth(RehearsalLayout::forSize(size, camera), script,
                            std::max(1, truth.value(QStringLiteral("framesPerSecond")).toInt()));
    }
    const QJsonArray buoys = truth.value(QStringLiteral("buoys")).toArray();

    // What the grid setup screen would hold after the buoys were clicked on the picture
    // at 1:1 and the survey typed in.
    GridState g;
    g.grids_in_use = kGridCount;
    for (const QJsonValue& bv : buoys) {
        const QJsonObject b = bv.toObject();
        const int k = b.value(QStringLiteral("index")).toInt();
        if (k < 1 || k > kBuoyCount || !point(b.value(QStringLiteral("twips")), g.buoy_screen_x[k], g.buoy_screen_y[k])
            || !point(b.value(QStringLiteral("survey")), g.buoy_survey_x[k], g.buoy_survey_y[k]))
            return fail(err, QStringLiteral("%1 has a buoy without screen or survey position").arg(pos.first()));
    }
    if (!point(truth.value(QStringLiteral("jumpSurvey")), g.jump_survey_x, g.jump_survey_y))
        return fail(err, QStringLiteral("%1 has no jump point").arg(pos.first()));
    for (const QJsonValue& cv : truth.value(QStringLiteral("checkPoints")).toArray()) {
        const QJsonObject c = cv.toObject();
        CheckPoint p;
        p.name = c.value(QStringLiteral("name")).toString();
        if (!isCheckPointName(p.name) || g.check_points.size() == kMaxCheckPoints
            || !point(c.value(QStringLiteral("twips")), p.screen_x, p.screen_y)
            || !point(c.value(QStringLiteral("survey")), p.survey_x, p.survey_y))
            return fail(err, QStringLiteral("%1 has a check point that is not usable").arg(pos.first()));
        g.check_points << p;
    }
    const QString lens = opt.value(QStringLiteral("lens"), QStringLiteral("none"));
    if (lens != QLatin1String("radial") && lens != QLatin1String("none"))
        return fail(err, QStringLiteral("--lens must be radial or none, not '%1'").arg(lens));
    g.lens_wanted = lens == QLatin1String("radial");
    const GridFit fit = fitWorkingGrid(g, LensCorrection::forPicture(truth.value(QStringLiteral("width")).toInt(),
                                                                     truth.value(QStringLiteral("height")).toInt()));
    if (!fit.ok) {
        err << fit.error << "\n";
        return kCliNoResult;
    }
    const QString camera = truth.value(QStringLiteral("camera")).toString();
    const QString description = QStringLiteral("%1 %2x%3")
                                    .arg(camera.startsWith(kRehearsalCameraName) ? camera : kRehearsalCameraName)
                                    .arg(truth.value(QStringLiteral("width")).toInt())
                                    .arg(truth.value(QStringLiteral("height")).toInt());
    const GridFileWriteResult w = saveGridFile(g, n, opt.value(QStringLiteral("out")), description);
    if (!w.ok)
        return fail(err, w.error);
    out << "Grid " << n << " written to " << w.fullPath << "\n";
    return kCliOk;
}

// --device as a network address, or as the name of a network camera the station keeps;
// an empty address when it is neither.
NetworkCamera networkCameraOf(const QString& device)
{
    if (isNetworkCameraAddress(device)) {
        NetworkCamera c = withCredentialsSeparated(NetworkCamera{{}, device, {}, {}});
        c.name = c.address;
        return c;
    }
    if (device.isEmpty())
        return {};
    const SettingsStore store;
    for (const NetworkCamera& c : loadNetworkCameras(store))
        if (c.name.compare(device, Qt::CaseInsensitive) == 0)
            return c;
    return {};
}

std::shared_ptr<NetworkCameraBackend> commandLineNetworkCameras(const NetworkCamera& camera)
{
    // Nobody is there to press Stop: a camera lost for five seconds ends the recording,
    // which keeps the pictures it received.
    NetworkTimings t;
    t.giveUpMs = 5000;
    auto backend = std::make_shared<NetworkCameraBackend>(t);
    backend->setCameras({camera});
    return backend;
}

int runRecord(const QStringList& args, QTextStream& out, QTextStream& err)
{
    // The one option without a value: a rehearsal pass whose skier never reaches the water.
    QStringList rest = args;
    const bool noLanding = rest.removeAll(QStringLiteral("--no-landing")) > 0;
    const CliArgs parsed = parseCliArgs(rest, {"device", "size", "fps", "seconds", "codec", "lens-k1", "waves", "seed",
                                               "contact-seconds", "cameras",
                                               "pre-seconds"});
    if (!parsed.error.isEmpty())
        return fail(err, parsed.error);
    const QStringList& pos = parsed.positional;
    const QMap<QString, QString>& opt = parsed.options;
    if (pos.size() != 1)
        return fail(err, QStringLiteral("record needs exactly one output file"));
    bool ok = true;
    const int fps = opt.value(QStringLiteral("fps"), QStringLiteral("30")).toInt(&ok);
    if (!ok || fps < 1 || fps > 240)
        return fail(err, QStringLiteral("--fps must be a whole number from 1 to 240"));
    const int seconds = opt.value(QStringLiteral("seconds"), QStringLiteral("5")).toInt(&ok);
    if (!ok || seconds < 1 || seconds > 3600)
        return fail(err, QStringLiteral("--seconds must be a whole number from 1 to 3600"));
    const int cameras = opt.value(QStringLiteral("cameras"), QStringLiteral("1")).toInt(&ok);
    if (!ok || cameras < 1 || cameras > kMaxCameras)
        return fail(err, QStringLiteral("--cameras must be 1 to %1").arg(kMaxCameras));
    const QMap<QString, QString> codecNames = {{"mjpeg", "MJPEG"}, {"ffv1", "FFV1"}, {"h264", "H.264 (all key frames)"},
                                               {"none", QString()}};
    const QString codec = opt.value(QStringLiteral("codec"), QStringLiteral("mjpeg")).toLower();
    if (!codecNames.contains(codec))
        return fail(err, QStringLiteral("--codec must be mjpeg, ffv1, h264 or none"));
    const int preSeconds = opt.value(QStringLiteral("pre-seconds"), QStringLiteral("0")).toInt(&ok);
    if (!ok || (opt.contains(QStringLiteral("pre-seconds")) && (preSeconds < 2 || preSeconds > 10)))
        return fail(err, QStringLiteral("--pre-seconds must be a whole number from 2 to 10"));

    FfmpegCaptureOptions o;
    o.rehearsal = true;
    o.devicePollMs = 0;
    QStringList problems;
    o.rehearsalScript = rehearsalScriptFromEnvironment(o.rehearsalScript, &problems);
    for (const QString& p : problems)
        err << "tarvex-cli: " << p << "\n";
    RehearsalScript& script = o.rehearsalScript;
    if (opt.contains(QStringLiteral("seed"))) {
        const uint seed = opt.value(QStringLiteral("seed")).toUInt(&ok);
        if (!ok)
            return fail(err, QStringLiteral("--seed must be a whole number from 0 to 4294967295"));
        script.reseed(seed);
    }
    if (opt.contains(QStringLiteral("waves"))) {
        script.waves = opt.value(QStringLiteral("waves")).toInt(&ok);
        if (!ok || script.waves < 0 || script.waves > 3)
            return fail(err, QStringLiteral("--waves must be 0 (calm) to 3 (rough)"));
    }
    if (opt.contains(QStringLiteral("contact-seconds"))) {
        script.contactSeconds = opt.value(QStringLiteral("contact-seconds")).toDouble(&ok);
        if (!ok || script.contactSeconds < 0 || script.contactSeconds > 3600)
            return fail(err, QStringLiteral("--contact-seconds must be a number of seconds from 0 to 3600"));
    }
    if (opt.contains(QStringLiteral("lens-k1"))) {
        script.lensK1 = opt.value(QStringLiteral("lens-k1")).toDouble(&ok);
        if (!ok || std::abs(script.lensK1) > 0.5)
            return fail(err, QStringLiteral("--lens-k1 must be a number from -0.5 to 0.5"));
    }
    if (noLanding)
        script.landing = false;
    const NetworkCamera networkCamera = networkCameraOf(opt.value(QStringLiteral("device")));
    if (!networkCamera.address.isEmpty())
        o.networkBackend = commandLineNetworkCameras(networkCamera);
    FfmpegCaptureDevice c(o);
    const QStringList devices = c.videoDevices();
    int device = devices.isEmpty() ? -1 : 0;
    if (!networkCamera.address.isEmpty()) {
        device = int(devices.size()) - 1;   // the network camera comes last
    } else if (opt.contains(QStringLiteral("device"))) {
        device = -1;
        for (int i = 0; i < devices.size(); ++i)
            if (devices[i].compare(opt.value(QStringLiteral("device")), Qt::CaseInsensitive) == 0)
                device = i;
        if (device < 0)
            return fail(err, maskCredentials(QStringLiteral("no device '%1'; there are: %2")
                                 .arg(opt.value(QStringLiteral("device")), devices.join(QStringLiteral(", ")))));
    }
    if (device < 0)
        return fail(err, QStringLiteral("no capture device"));
    // Several cameras: the chosen one and those listed after it, each a device of its own on
    // the same backends.
    if (device + cameras > devices.size())
        return fail(err, QStringLiteral("%1 cameras from %2 on: there are only %3")
                             .arg(cameras)
                             .arg(devices[device], devices.mid(device).join(QStringLiteral(", "))));
    std::vector<std::unique_ptr<FfmpegCaptureDevice>> companions;
    for (int k = 1; k < cameras; ++k)
        companions.push_back(std::make_unique<FfmpegCaptureDevice>(c.companionOptions()));
    QList<FfmpegCaptureDevice*> all{&c};
    for (const auto& d : companions)
        all << d.get();
    const auto report = [&](const CaptureResult& e) {
        return e ? fail(err, e->description) : kCliOk;
    };
    for (int k = 0; k < cameras; ++k) {
        FfmpegCaptureDevice& d = *all[k];
        if (const auto e = d.open(device + k))
            return report(e);
        if (!opt.contains(QStringLiteral("size")))
            continue;
        const QString want = opt.value(QStringLiteral("size")).toLower();
        const QStringList sizes = d.lists().resolutions;
        const int index = int(sizes.indexOf(want));
        if (index < 0)
            return fail(err, QStringLiteral("%1 cannot record %2; it offers %3")
                                 .arg(devices[device + k], want, sizes.join(QStringLiteral(", "))));
        CaptureFormat f = d.format();
        f.resolution = index;
        if (const auto e = d.setFormat(f))
            return report(e);
    }
    const int compressor = int(c.videoCompressors().indexOf(codecNames.value(codec)));
    if (codec != QLatin1String("none") && compressor < 0)
        return fail(err, QStringLiteral("the %1 compressor is not available in this build").arg(codec));
    RecordingSettings settings;
    // FFmpeg reads "ann:1.avi" as an address of a protocol named "ann"; an absolute path
    // starts with '/' (or a drive), which no protocol name does. Qt takes a leading ':' for
    // its resources, so the folder is put in front by hand.
    const QString& name = pos.first();
    settings.path = QFileInfo(name).isRelative() || name.startsWith(QLatin1Char(':'))
                        ? QDir::currentPath() + QLatin1Char('/') + name
                        : name;
    settings.framesPerSecond = fps;
    settings.timeLimit = seconds;
    settings.videoCompressor = compressor;

    QList<CaptureDevice*> recording;
    QList<RecordingSettings> perCamera;
    for (int k = 0; k < cameras; ++k) {
        RecordingSettings one = settings;
        one.path = cameraFilePath(settings.path, k + 1);
        if (cameras > 1)
            one.timesPath = frameTimesPath(one.path);
        recording << all[k];
        perCamera << one;
    }

    QEventLoop loop;
    QStringList warnings;
    int running = cameras;
    for (int k = 0; k < cameras; ++k) {
        const QString who = cameras > 1 ? QStringLiteral("camera %1: ").arg(k + 1) : QString();
        QObject::connect(all[k], &CaptureDevice::warning, &loop, [&, who](const QString& w) { warnings << who + w; });
        QObject::connect(all[k], &CaptureDevice::statusCode, &loop, [&](int code, const QString&) {
            if (code == CaptureStatusReady && --running == 0)
                loop.quit();
        });
    }
    // A network camera's news (silent, reconnected) as it happens; the usual status texts
    // are the summary's business.
    QObject::connect(&c, &CaptureDevice::statusText, &loop, [&](const QString& t) {
        if (!t.startsWith(QLatin1String("Capturing to ")) && !t.startsWith(QLatin1String("Captured "))
            && !t.startsWith(QLatin1String("Connected to ")) && !t.isEmpty()) {
            err << "tarvex-cli: " << t << "\n";
            err.flush();
        }
    });
    if (!networkCamera.address.isEmpty()) {
        // A network camera sends what it has buffered since its last key frame in one burst
        // when it is connected; the recording starts once that is past, on pictures that
        // come at the camera's pace.
        c.setFrameRate(fps);
        if (const auto e = c.setPreview(true))
            return report(e);
        QEventLoop settle;
        QTimer::singleShot(1500, &settle, &QEventLoop::quit);
        settle.exec();
    }
    if (preSeconds > 0) {
        // Every camera holds its seconds: a late Start keeps the landing in each file. The
        // cameras are running before any starts holding, so all hold from the same moment
        // (the rehearsal cameras play their jump from there).
        for (int k = 1; k < cameras; ++k)
            (void)all[k]->nextFrameTime();
        for (int k = 0; k < cameras; ++k)
            if (const auto e = all[k]->setPreRecording(preSeconds, perCamera[k]))
                return report(e);
        // As an operator pressing Start late: the ring has filled by then.
        QTimer::singleShot(preSeconds * 1000 + 200, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (const auto e = startTogether(recording, perCamera))
        return report(e);
    // The time limit ends the recording; the guard only matters for a device that stalls.
    QTimer::singleShot((preSeconds + seconds + 10) * 1000, &loop, [&] {
        warnings << QStringLiteral("the device stopped delivering pictures");
        for (FfmpegCaptureDevice* d : all)
            d->stopRecording();
    });
    loop.exec();
    bool dropped = false;
    for (FfmpegCaptureDevice* d : all) {
        const CaptureStatistics s = d->statistics();
        out << "frames captured " << s.framesCaptured << ", dropped " << s.framesDropped << ", audio samples "
            << s.audioSamples << ", elapsed " << s.elapsedMs << " ms\n";
        dropped = dropped || s.framesDropped > 0;
    }
    for (const QString& w : warnings)
        err << "tarvex-cli: " << w << "\n";
    if (!warnings.isEmpty())
        return kCliUsage;
    return dropped ? kCliNoResult : kCliOk;
}

} // namespace


bool runCaptureCommand(const QString& command, const QStringList& args, QTextStream& out, QTextStream& err,
                       int& status)
{
    if (command == QLatin1String("record"))
        status = runRecord(args, out, err);
    else if (command == QLatin1String("rehearsal-grid"))
        status = runRehearsalGrid(args, out, err);
    else
        return false;
    return true;
}

} // namespace tarvex
