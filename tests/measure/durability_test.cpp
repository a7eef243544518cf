// Kills a program that records jumps with the station's own code at random moments, then
// reads what is on the disk: no acknowledged record may be missing or damaged.
#include "grid/grid_file.h"
#include "review/review_rules.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace tarvex {
namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(Durability, RecordsSurviveAKillAtAnyMoment)
{
#ifndef Q_OS_UNIX
    GTEST_SKIP() << "needs SIGKILL";
#endif
    const int kills = qEnvironmentVariableIsSet("TARVEX_DURABILITY_KILLS")
                          ? qEnvironmentVariableIntValue("TARVEX_DURABILITY_KILLS")
                          : 30;
    QTemporaryDir tmp;
    QSet<int> acknowledged;
    int next = 1;
    QRandomGenerator random(20261208);
    for (int k = 0; k < kills; ++k) {
        QProcess child;
        child.start(QStringLiteral(TARVEX_RECORD_LOOP), {tmp.path(), QString::number(next)});
        ASSERT_TRUE(child.waitForStarted(5000));
        // Once it records (a slow build starts slowly), kill it somewhere in what follows.
        child.waitForReadyRead(10000);
        QThread::usleep(random.bounded(0, 20000));
        child.kill();   // SIGKILL
        ASSERT_TRUE(child.waitForFinished(5000));
        for (const QByteArray& line : child.readAllStandardOutput().split('\n'))
            if (!line.isEmpty())
                acknowledged.insert(line.toInt());
        // The next run numbers on past anything that may have reached the file unacknowledged.
        next += 100000;
    }
    ASSERT_FALSE(acknowledged.isEmpty()) << "the child never got a record written";

    // Every results line whole; a line cut by a kill ends up on a line of its own.
    const QByteArray results = readAll(tmp.filePath("results.txt"));
    ASSERT_TRUE(results.endsWith("\r\n"));
    static const QRegularExpression whole(QStringLiteral(
        "^01-29-2005 14:03:22 Ann Lee  jump +(\\d+) -  45\\.2m  \\(IWSF\\) 148ft  \\(AWSA\\) "
        "\\( 12\\.345/ 6\\.789\\) \\( 4500/ 3200\\) \\( 45\\.2346\\)$"));
    QSet<int> found;
    int torn = 0;
    for (const QByteArray& raw : results.split('\n')) {
        if (raw.isEmpty())
            continue;
        ASSERT_TRUE(raw.endsWith('\r'));
        const QRegularExpressionMatch m = whole.match(QString::fromLatin1(raw.chopped(1)));
        if (m.hasMatch())
            found.insert(m.captured(1).toInt());
        else
            ++torn;
    }
    for (int j : acknowledged)
        EXPECT_TRUE(found.contains(j)) << "acknowledged jump " << j << " is missing";
    EXPECT_LE(torn, kills);   // at most the record in hand at each kill, never an acknowledged one

    // The result WSTIMS reads is always one whole line, and the grid file always reads back.
    const QByteArray txresult = readAll(tmp.filePath("txio/txresult.dst"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^OK,  45\\.2,  148, *\\d+\r\n$")).match(QString::fromLatin1(txresult)).hasMatch())
        << txresult.constData();
    EXPECT_TRUE(readGridFile(tmp.filePath("north.ipt")).ok());

    // The exchange file's raw lines, the measurement log and the side file hold every
    // acknowledged jump whole, as the results file does.
    const auto numbersIn = [](const QByteArray& file, const QString& pattern, int& broken) {
        const QRegularExpression line(pattern);
        QSet<int> numbers;
        for (const QByteArray& raw : file.split('\n')) {
            if (raw.isEmpty())
                continue;
            const QRegularExpressionMatch m = line.match(QString::fromLatin1(raw));
            if (m.hasMatch())
                numbers.insert(m.captured(1).toInt());
            else
                ++broken;
        }
        return numbers;
    };
    int brokenRaw = 0, brokenLog = 0;
    const QSet<int> raw = numbersIn(readAll(tmp.filePath("txio/txraw.dst")),
                                    QStringLiteral("^14:03:22 ,Ann Lee,OK,  45\\.2,  148, *(\\d+)\r$"), brokenRaw);
    const QSet<int> logged = numbersIn(readAll(tmp.filePath("log.txt")),
                                       QStringLiteral("^01-29-2005 +14:03:22 +Skier: Ann Lee +Jump: (\\d+) +Contact Frame: "
                                                      "\\d+ +File: .*/Ann Leejump1\\.avi\r$"),
                                       brokenLog);
    for (int j : acknowledged) {
        EXPECT_TRUE(raw.contains(j)) << "acknowledged jump " << j << " is missing from txraw.dst";
        EXPECT_TRUE(logged.contains(j)) << "acknowledged jump " << j << " is missing from the log";
    }
    EXPECT_LE(brokenRaw, kills);
    EXPECT_LE(brokenLog, kills);
    EXPECT_TRUE(readVideoSideFile(tmp.filePath("Ann Leejump1.avi")).has_value());
}

} // namespace
} // namespace tarvex
