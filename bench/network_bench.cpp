// Records loopback network cameras with tarvex-cli as an operator would and prints, for MJPEG
// over HTTP and H.264 over RTSP at 1080p30 and 720p60: the frames in the file, the frames
// dropped, and the CPU of the recording process in % of one core over its run.
// The servers are FFmpeg (-listen 1) and VLC (as nobody when run as root), on 127.0.0.1 only.
//
//   bench_network_bench [SECONDS]     (default 6)
#include "media/video_reader.h"
#include "../tests/support/loopback.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tarvex;

namespace {

using test::freePort;
using test::listening;
using test::program;

double childCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

QString makeClip(const QTemporaryDir& dir, const QString& size, int fps, bool h264, int seconds)
{
    const QString name = dir.filePath(QStringLiteral("%1-%2.%3").arg(size).arg(fps).arg(h264 ? "ts" : "mjpeg"));
    if (!test::encodeClip(name, size, fps, h264, seconds))
        return {};
    // VLC runs as nobody when the bench runs as root: it must reach the clip.
    QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther | QFile::ReadOther);
    return name;
}

struct Case {
    const char* name;
    QString size;
    int fps;
    bool rtsp;
};

void run(const Case& c, const QTemporaryDir& dir, const QString& cli, int seconds)
{
    const QString clip = makeClip(dir, c.size, c.fps, c.rtsp, seconds + 10);
    if (clip.isEmpty()) {
        std::printf("%-22s no clip (ffmpeg failed)\n", c.name);
        return;
    }
    const int port = freePort();
    QProcess server;
    server.setStandardOutputFile(QProcess::nullDevice());
    server.setStandardErrorFile(QProcess::nullDevice());
    QString url;
    if (c.rtsp) {
        url = QStringLiteral("rtsp://127.0.0.1:%1/cam").arg(port);
        QString exe = program("cvlc");
        QStringList args = {"-q", "--no-audio", "--play-and-exit", clip, "--sout", QStringLiteral("#rtp{sdp=%1}").arg(url)};
        if (::geteuid() == 0) {
            args = QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups", exe} + args;
            exe = program("setpriv");
        }
        server.start(exe, args);
    } else {
        url = QStringLiteral("http://127.0.0.1:%1/cam").arg(port);
        server.start(program("ffmpeg"), {"-hide_banner", "-loglevel", "error", "-re", "-f", "mjpeg", "-framerate",
                                         QString::number(c.fps), "-i", clip, "-c:v", "copy", "-f", "mpjpeg", "-listen",
                                         "1", url});
    }
    for (int i = 0; i < 400 && !listening(port); ++i)
        QThread::msleep(20);
    if (!listening(port)) {
        std::printf("%-22s the server did not start\n", c.name);
        return;
    }
    const QString file = dir.filePath(QStringLiteral("%1.avi").arg(port));
    QProcess rec;
    const double before = childCpuSeconds();
    rec.start(cli, {"record", file, "--device", url, "--fps", QString::number(c.fps), "--seconds", QString::number(seconds)});
    rec.waitForFinished(120000);
    const double cpu = childCpuSeconds() - before;
    server.kill();
    server.waitForFinished(5000);
    const QString summary = QString::fromUtf8(rec.readAllStandardOutput()).trimmed();
    VideoReader r;
    const int inFile = r.open(file) ? r.frameCount() : -1;
    // The process also connects and settles before it records: CPU over the recorded seconds.
    std::printf("%-22s file %4d frames (%d asked)  %s  CPU %.0f %% of one core\n", c.name, inFile, seconds * c.fps,
                qPrintable(summary), 100.0 * cpu / seconds);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 6;
    const QString cli = QDir(QCoreApplication::applicationDirPath()).filePath("../src/cli/tarvex-cli");
    if (!QFile::exists(cli) || program("ffmpeg").isEmpty()) {
        std::printf("needs %s and ffmpeg\n", qPrintable(cli));
        return 1;
    }
    QTemporaryDir dir;
    const Case cases[] = {{"MJPEG/HTTP 1080p30", "1920x1080", 30, false},
                          {"MJPEG/HTTP 720p60", "1280x720", 60, false},
                          {"H.264/RTSP 1080p30", "1920x1080", 30, true},
                          {"H.264/RTSP 720p60", "1280x720", 60, true}};
    for (const Case& c : cases) {
        if (c.rtsp && program("cvlc").isEmpty()) {
            std::printf("%-22s skipped: VLC is not installed (scripts/setup.sh installs it)\n", c.name);
            continue;
        }
        run(c, dir, cli, seconds);
        std::fflush(stdout);
    }
    return 0;
}
