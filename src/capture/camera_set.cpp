#include "capture/camera_set.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>

namespace tarvex {

namespace {

const QRegularExpression& cameraSuffix()
{
    static const QRegularExpression re(QStringLiteral("-cam([2-9])$"), QRegularExpression::CaseInsensitiveOption);
    return re;
}

// The folder part with its separator, so a bare name stays bare.
QString folderOf(const QString& path)
{
    const qsizetype slash = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.left(slash + 1);
}

} // namespace

QString cameraFilePath(const QString& firstPath, int camera)
{
    if (camera <= 1)
        return firstPath;
    const QString folder = folderOf(firstPath);
    const QString name = firstPath.mid(folder.size());
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString suffix = dot > 0 ? name.mid(dot) : QString();
    return folder + base + QStringLiteral("-cam%1").arg(camera) + suffix;
}

int cameraOfFile(const QString& path)
{
    const QRegularExpressionMatch m = cameraSuffix().match(QFileInfo(path).completeBaseName());
    return m.hasMatch() ? m.captured(1).toInt() : 1;
}

QString firstCameraFile(const QString& path)
{
    const QString folder = folderOf(path);
    const QString name = path.mid(folder.size());
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QString base = dot > 0 ? name.left(dot) : name;
    const QString suffix = dot > 0 ? name.mid(dot) : QString();
    base.remove(cameraSuffix());
    return folder + base + suffix;
}

QString frameTimesPath(const QString& videoPath) { return videoPath + QStringLiteral(".times"); }

QMap<int, QString> cameraFilesOf(const QString& path)
{
    QMap<int, QString> out;
    const QString first = firstCameraFile(path);
    for (int k = 1; k <= kMaxCameras; ++k) {
        const QString p = cameraFilePath(first, k);
        if (QFileInfo(p).isFile())
            out.insert(k, p);
    }
    if (out.isEmpty() && QFileInfo(path).isFile())
        out.insert(cameraOfFile(path), path);
    return out;
}

QStringList takeFilesOf(const QString& path, const QStringList& besides)
{
    QStringList videos;
    // A companion whose video is already gone may still have left its times or side file.
    const QString first = firstCameraFile(path);
    for (int k = 1; k <= kMaxCameras; ++k)
        videos << cameraFilePath(first, k);
    if (!videos.contains(path))
        videos << path;
    QStringList out;
    for (const QString& video : videos) {
        QStringList names{video, frameTimesPath(video)};
        for (const QString& b : besides)
            names << video + b;
        for (const QString& name : names)
            if (QFileInfo(name).isFile())
                out << name;
    }
    return out;
}

bool FrameTimes::read(const QString& path, FrameTimes& out, QString& error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Cannot read %1: %2").arg(path, f.errorString());
        return false;
    }
    // A pass of ten minutes at 120 fps is well under a megabyte; anything far larger is not ours.
    if (f.size() > 64 * 1024 * 1024) {
        error = QStringLiteral("%1 is too large to be a frame times file").arg(path);
        return false;
    }
    FrameTimes t;
    int line = 0;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        ++line;
        const QByteArray text = raw.trimmed();
        if (text.isEmpty())
            continue;
        bool ok = false;
        const qint64 v = text.toLongLong(&ok);
        if (!ok || (!t.micros.isEmpty() && v < t.micros.last())) {
            error = QStringLiteral("%1, line %2: not a frame time in order").arg(path).arg(line);
            return false;
        }
        t.micros << v;
    }
    out = std::move(t);
    return true;
}

bool FrameTimes::write(const QString& path, QString& error) const
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("Cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    QByteArray text;
    text.reserve(micros.size() * 10);
    for (qint64 v : micros)
        text += QByteArray::number(v) + "\r\n";
    f.write(text);
    if (!f.commit()) {
        error = QStringLiteral("Cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

int FrameTimes::nearest(qint64 at) const
{
    if (micros.isEmpty())
        return -1;
    const auto it = std::lower_bound(micros.begin(), micros.end(), at);
    if (it == micros.end())
        return int(micros.size()) - 1;
    const int after = int(it - micros.begin());
    if (after == 0)
        return 0;
    // Equal times (a dropped frame repeats its neighbour) count from the first of them.
    int before = after - 1;
    while (before > 0 && micros[before - 1] == micros[before])
        --before;
    return at - micros[before] <= micros[after] - at ? before : after;
}

int FrameTimes::matching(int frame, const FrameTimes& other) const
{
    if (frame < 0 || frame >= micros.size())
        return -1;
    return other.nearest(micros[frame]);
}

QMap<int, int> matchingFrames(const QMap<int, QString>& files, int camera, int frame)
{
    QMap<int, int> out;
    FrameTimes own;
    QString error;
    const bool known = files.contains(camera) && FrameTimes::read(frameTimesPath(files.value(camera)), own, error);
    for (auto it = files.begin(); it != files.end(); ++it) {
        FrameTimes other;
        int match = -1;
        if (known && it.key() != camera && FrameTimes::read(frameTimesPath(it.value()), other, error))
            match = own.matching(frame, other);
        out.insert(it.key(), match >= 0 ? match : frame);
    }
    return out;
}

CaptureResult startTogether(const QList<CaptureDevice*>& devices, QList<RecordingSettings> settings)
{
    if (devices.isEmpty() || devices.size() != settings.size())
        return CaptureError{CaptureError::Unsupported, QStringLiteral("No cameras to record")};
    // Opening a camera's stream takes a moment; a start this far ahead finds them all running.
    constexpr auto kLead = std::chrono::milliseconds(150);
    // The companions' streams are opened first, so the first camera's next frame is still ahead
    // when the last of them runs.
    for (qsizetype k = 0; k < devices.size(); ++k)
        devices[k]->setFrameRate(settings[k].framesPerSecond);
    for (qsizetype k = 1; k < devices.size(); ++k)
        (void)devices[k]->nextFrameTime();
    std::optional<std::chrono::steady_clock::time_point> start = devices.first()->nextFrameTime();
    if (!start) {
        start = std::chrono::steady_clock::now() + kLead;
    } else {
        // A companion takes a picture up to half a frame before the start as its first; that
        // picture must come after the companion is told to record, so the start moves on by
        // whole frames of the first camera until it is far enough ahead.
        const int fps = std::max(1, settings.first().framesPerSecond);
        const auto frame = std::chrono::nanoseconds(1'000'000'000LL / fps);
        while (*start - std::chrono::steady_clock::now() < frame / 2 + std::chrono::milliseconds(40))
            *start += frame;
    }
    for (qsizetype k = 0; k < devices.size(); ++k) {
        settings[k].start = start;
        if (CaptureResult e = devices[k]->startRecording(settings[k])) {
            for (qsizetype j = 0; j < k; ++j)
                devices[j]->stopRecording();
            if (devices.size() > 1)
                e->description = QStringLiteral("Camera %1: %2").arg(k + 1).arg(e->description);
            return e;
        }
    }
    return {};
}

} // namespace tarvex
