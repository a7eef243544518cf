// Kills a program that records from the rehearsal camera through the station's capture
// device at random moments, then reads the file it was writing: every frame begun more than
// half a second before the kill must be there and decode, and the header must give the
// length the file really has.
#include "media/avi_file.h"
#include "media/video_reader.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <gtest/gtest.h>

namespace tarvex {
namespace {

constexpr int kFps = 25;

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct KillOutcome {
    int begunBeforeGrace = 0;   // frames begun more than 0.5 s before the kill
    int begun = 0;              // frames begun before the kill
    int inFile = 0;
};

void killWhileRecording(const QString& file, const QString& compressor, int delayMs, KillOutcome& out)
{
    QProcess child;
    child.start(QStringLiteral(TARVEX_RECORD_CAPTURE), {file, compressor, QString::number(kFps)});
    ASSERT_TRUE(child.waitForStarted(5000));
    ASSERT_TRUE(child.waitForReadyRead(10000)) << child.readAllStandardError().constData();
    const QByteArray line = child.readLine().trimmed();
    ASSERT_TRUE(line.startsWith("recording ")) << line.constData();
    const qint64 started = line.mid(10).toLongLong();
    QThread::msleep(delayMs);
    const qint64 killed = steadyNs();
    child.kill();   // SIGKILL
    ASSERT_TRUE(child.waitForFinished(5000));

    // Slot n begins at n / fps after the start (the start was asked for no later than that).
    const auto framesBegunBy = [&](double seconds) {
        return std::max(0, int(std::ceil((double(killed - started) / 1e9 - seconds) * kFps)));
    };
    out.begunBeforeGrace = framesBegunBy(0.5);
    out.begun = framesBegunBy(0.0);

    ASSERT_GT(QFile(file).size(), 0) << "the file is empty";
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const AviHeaders h = readAviHeaders(f);
    ASSERT_EQ(h.status, AviParse::Ok);
    if (out.begunBeforeGrace == 0 && h.info.dwLength == 0)
        return;   // killed before a frame was due: the header alone is all there may be
    VideoReader reader;
    ASSERT_TRUE(reader.open(file)) << reader.error().toStdString();
    out.inFile = reader.frameCount();
    EXPECT_GE(out.inFile, out.begunBeforeGrace) << compressor.toStdString() << " killed after " << delayMs << " ms";
    // The header counts the whole chunks; a kill between a chunk and its count leaves it one short.
    EXPECT_LE(int(h.info.dwLength), out.inFile) << "the header claims frames the file does not hold";
    EXPECT_GE(int(h.info.dwLength), out.inFile - 1) << "the header's length lags behind the file";
    for (int n = 0; n < out.begunBeforeGrace && n < out.inFile; ++n) {
        QString error;
        ASSERT_FALSE(reader.frame(n, &error).isNull()) << "frame " << n << ": " << error.toStdString();
    }
    // The last frame decodes or is refused with a reason; it never takes the reader down.
    QString error;
    const QImage last = reader.frame(out.inFile - 1, &error);
    EXPECT_TRUE(!last.isNull() || !error.isEmpty());
}

TEST(RecorderKill, EveryFrameBegunHalfASecondBeforeAKillIsInTheFileAndDecodes)
{
#ifndef Q_OS_UNIX
    GTEST_SKIP() << "needs SIGKILL";
#endif
    // TARVEX_RECORDER_KILLS raises the count for a long run (kills per compressor).
    const int perCodec = qEnvironmentVariableIsSet("TARVEX_RECORDER_KILLS")
                             ? qEnvironmentVariableIntValue("TARVEX_RECORDER_KILLS")
                             : 7;
    const QStringList compressors = {QStringLiteral("MJPEG"), QStringLiteral("FFV1"),
                                     QStringLiteral("H.264 (all key frames)")};
    QTemporaryDir dir;
    QRandomGenerator random(20261209);
    int runs = 0, lostMax = 0, lostTotal = 0;
    for (const QString& compressor : compressors) {
        for (int k = 0; k < perCodec; ++k) {
            const QString file = dir.filePath(QStringLiteral("kill%1.avi").arg(runs++));
            // Mostly past the half second, some before it, a few at the very start.
            const int delayMs = int(random.bounded(0, 1200));
            KillOutcome out;
            killWhileRecording(file, compressor, delayMs, out);
            if (HasFatalFailure())
                return;
            const int lost = std::max(0, out.begun - out.inFile);
            lostMax = std::max(lostMax, lost);
            lostTotal += lost;
        }
    }
    // Frames begun but not in the file: those being compressed and written at the kill.
    std::printf("recorder kills: %d, frames lost per kill: %.1f on average, %d at most\n", runs,
                double(lostTotal) / std::max(1, runs), lostMax);
    EXPECT_EQ(runs, 3 * perCodec);
}

} // namespace
} // namespace tarvex
