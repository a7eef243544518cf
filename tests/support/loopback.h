#pragma once
// Helpers for tests and benchmarks that serve a camera on 127.0.0.1 with a real server
// program (FFmpeg, VLC): a free port, whether something listens on it, where a program is.
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QThread>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarvex::test {

// A port nobody listens on now (SOCK_STREAM or SOCK_DGRAM).
inline int freePort(int type = SOCK_STREAM)
{
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

// True once something listens on 127.0.0.1:port (read from /proc, so no connection is spent:
// FFmpeg's HTTP server takes one client only).
inline bool listening(int port)
{
    QFile f("/proc/net/tcp");
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QString local = QStringLiteral("0100007F:%1").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> cols = line.simplified().split(' ');
        if (cols.size() > 3 && QString::fromLatin1(cols[1]).toUpper() == local && cols[3] == "0A")
            return true;
    }
    return false;
}

inline bool waitListening(int port, int ms = 8000)
{
    QElapsedTimer t;
    t.start();
    while (!listening(port)) {
        if (t.elapsed() > ms)
            return false;
        QThread::msleep(20);
    }
    return true;
}

inline QString program(const char* name) { return QStandardPaths::findExecutable(QString::fromLatin1(name)); }

// FFmpeg's test picture as a camera would send it: H.264 in MPEG-TS with a key frame every
// second and no B-frames, or MJPEG. Readable by all, for a server that runs as nobody.
inline bool encodeClip(const QString& path, const QString& size, int fps, bool h264, int seconds)
{
    QStringList args = {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                        QStringLiteral("testsrc2=size=%1:rate=%2").arg(size).arg(fps), "-t", QString::number(seconds)};
    if (h264)
        args << "-c:v" << "libx264" << "-preset" << "ultrafast" << "-bf" << "0" << "-g" << QString::number(fps)
             << "-pix_fmt" << "yuv420p" << "-f" << "mpegts";
    else
        args << "-c:v" << "mjpeg" << "-q:v" << "6" << "-pix_fmt" << "yuvj420p" << "-f" << "mjpeg";
    QProcess p;
    p.start(program("ffmpeg"), args << path);
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return false;
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadOther);
    return true;
}

} // namespace tarvex::test
