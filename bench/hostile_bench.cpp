// A file whose headers lie must cost what the file holds, not what its headers claim: each of
// sixteen damaged copies of a small MJPEG recording (and one 1 MB recording with the worst
// header) is opened, its last and first frames read, in a process of its own, and the wall
// time and the process's peak memory printed. The station's bound: under 1 s and 100 MB each.
#include "media/video_reader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <chrono>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tarvex;

namespace {

struct Damage {
    const char* name;
    std::function<void(QByteArray&)> apply;
};

void put32(QByteArray& b, qsizetype at, quint32 v)
{
    if (at >= 0 && at + 4 <= b.size())
        qToLittleEndian(v, b.data() + at);
}

qsizetype chunk(const QByteArray& b, const char* id) { return b.indexOf(id); }

// Every idx1 entry's field at `offset` (0 id, 4 flags, 8 position, 12 size) set to v.
void everyIndexEntry(QByteArray& b, int offset, quint32 v)
{
    const qsizetype idx = chunk(b, "idx1");
    if (idx < 0)
        return;
    const quint32 size = qFromLittleEndian<quint32>(b.constData() + idx + 4);
    for (qsizetype e = idx + 8; e + 16 <= idx + 8 + qsizetype(size) && e + 16 <= b.size(); e += 16)
        put32(b, e + offset, v);
}

const std::vector<Damage>& damages()
{
    static const std::vector<Damage> list = {
        {"rate 0x7fffffff, start 0xffffffff", [](QByteArray& b) {
             put32(b, chunk(b, "strh") + 32, 0x7fffffff);
             put32(b, chunk(b, "strh") + 36, 0xffffffff); }},
        {"... and sample size 1", [](QByteArray& b) {
             put32(b, chunk(b, "strh") + 32, 0x7fffffff);
             put32(b, chunk(b, "strh") + 36, 0xffffffff);
             put32(b, chunk(b, "strh") + 52, 1); }},
        {"scale 0", [](QByteArray& b) { put32(b, chunk(b, "strh") + 28, 0); }},
        {"rate 0", [](QByteArray& b) { put32(b, chunk(b, "strh") + 32, 0); }},
        {"scale 1, rate 0x7fffffff", [](QByteArray& b) {
             put32(b, chunk(b, "strh") + 28, 1);
             put32(b, chunk(b, "strh") + 32, 0x7fffffff); }},
        {"stream length 0xffffffff", [](QByteArray& b) { put32(b, chunk(b, "strh") + 40, 0xffffffff); }},
        {"suggested buffer 0xffffffff", [](QByteArray& b) { put32(b, chunk(b, "strh") + 44, 0xffffffff); }},
        {"total frames 0xffffffff", [](QByteArray& b) { put32(b, chunk(b, "avih") + 24, 0xffffffff); }},
        {"0 microseconds a frame", [](QByteArray& b) { put32(b, chunk(b, "avih") + 8, 0); }},
        {"65535 streams", [](QByteArray& b) { put32(b, chunk(b, "avih") + 32, 0xffff); }},
        {"picture 65535 x 65535", [](QByteArray& b) {
             put32(b, chunk(b, "strf") + 12, 0xffff);
             put32(b, chunk(b, "strf") + 16, 0xffff); }},
        {"picture -1 x -1", [](QByteArray& b) {
             put32(b, chunk(b, "strf") + 12, 0xffffffff);
             put32(b, chunk(b, "strf") + 16, 0xffffffff); }},
        {"index positions beyond the file", [](QByteArray& b) { everyIndexEntry(b, 8, 0xfffffff0); }},
        {"index sizes 0xffffffff", [](QByteArray& b) { everyIndexEntry(b, 12, 0xffffffff); }},
        {"no key frame in the index", [](QByteArray& b) { everyIndexEntry(b, 4, 0); }},
        {"movi and RIFF sizes 0xffffffff", [](QByteArray& b) {
             put32(b, 4, 0xffffffff);
             put32(b, chunk(b, "movi") - 4, 0xffffffff); }},
    };
    return list;
}

// Opens the file in a child process; its wall time in seconds and peak memory in MB.
bool measure(const QString& path, double& seconds, double& megabytes, int& frames)
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const auto t0 = std::chrono::steady_clock::now();
        VideoReader r(int64_t(64) << 20);
        int n = -1;
        if (r.open(path)) {
            n = r.frameCount();
            r.frame(n - 1);
            r.frame(0);
            r.close();
        }
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        const double out[3] = {s, u.ru_maxrss / 1024.0, double(n)};
        (void)!write(fds[1], out, sizeof out);
        _exit(0);
    }
    close(fds[1]);
    double in[3] = {0, 0, 0};
    const bool got = read(fds[0], in, sizeof in) == sizeof in;
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    seconds = in[0];
    megabytes = in[1];
    frames = int(in[2]);
    return got;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s SMALL.avi ONE_MB.avi (two MJPEG recordings, e.g. the reader's fuzz seed\n"
                     "  tests/fuzz/corpus/video_reader/mjpeg.avi and two seconds of\n"
                     "  tarvex-cli record X.avi --device \"Tarvex Rehearsal Camera\" --seconds 2)\n",
                     argv[0]);
        return 2;
    }
    QTemporaryDir dir;
    auto readAll = [](const char* p) {
        QFile f(QString::fromLocal8Bit(p));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray small = readAll(argv[1]), large = readAll(argv[2]);
    if (small.isEmpty() || large.isEmpty()) {
        std::fprintf(stderr, "cannot read the recordings\n");
        return 2;
    }
    std::printf("%-36s %8s %8s %7s\n", "damage", "seconds", "peak MB", "frames");
    bool within = true;
    auto run = [&](const char* name, QByteArray bytes, const Damage& d) {
        d.apply(bytes);
        const QString path = dir.filePath(QStringLiteral("hostile.avi"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            return;
        f.close();
        double s = 0, mb = 0;
        int frames = 0;
        if (!measure(path, s, mb, frames)) {
            std::printf("%-36s  the child died\n", name);
            within = false;
            return;
        }
        within = within && s < 1.0 && mb < 100.0;
        std::printf("%-36s %8.3f %8.1f %7d\n", name, s, mb, frames);
    };
    for (const Damage& d : damages())
        run(d.name, small, d);
    run("1 MB, rate and start as the first", large, damages().front());
    std::printf(within ? "every file within 1 s and 100 MB\n" : "SOME FILE OVER 1 s OR 100 MB\n");
    return within ? 0 : 1;
}
