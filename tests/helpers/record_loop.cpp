// Records jumps for ever through the station's own recording code, printing the jump number
// of each record once Record has returned, and saves a grid file between records. Before each
// record it does what "Use displayed frame" writes: the measurement log's line and the video's
// side file, the frame being the jump number. The
// durability test kills it at random moments and checks what is on the disk.
#include "grid/grid_file.h"
#include "measure/jump_record.h"
#include "review/review_rules.h"
#include "common/text_file.h"
#include "testkit/scripted_prompter.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

using namespace tarvex;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    int jump = QString::fromLocal8Bit(argv[2]).toInt();
    QDir(folder).mkpath(QStringLiteral("txio"));

    // X = 7.845 + u/1000, Y = 3.589 + v/1000: the mark (4500, 3200) is 45.2346 m with the ramp.
    GridState g;
    g.mapping_coefficients[1] = 7.845;
    g.mapping_coefficients[2] = 0.001;
    g.mapping_coefficients[6] = 3.589;
    g.mapping_coefficients[8] = 0.001;
    g.jump_survey_x = 12.345 - 43.1346;
    g.jump_survey_y = 6.789;
    for (int c = 1; c <= 8; ++c)
        g.grid_table[1].c[c] = g.mapping_coefficients[c];
    // Buoys where the mapping puts them, or the grid file would be refused when read back.
    const double corners[4][2] = {{9000, 1000}, {9000, 7000}, {1000, 1000}, {1000, 7000}};
    for (int b = 1; b <= 4; ++b) {
        const double u = corners[b - 1][0], v = corners[b - 1][1];
        g.grid_table[1].buoys[b] = {u, v, 7.845 + u / 1000, 3.589 + v / 1000};
    }

    ScriptedPrompter prompter;
    const QDateTime when(QDate(2005, 1, 29), QTime(14, 3, 22));
    const QString video = folder + QStringLiteral("/Ann Leejump1.avi");
    for (;; ++jump) {
        const QString logLine = contactFrameLogLine(when, QStringLiteral("Ann Lee"), QString::number(jump), jump, video);
        if (appendDurably(folder + QStringLiteral("/log.txt"), logLine.toLatin1() + "\r\n"))
            return 5;
        if (writeVideoSideFile(video, jump))
            return 6;
        RecordInputs in;
        in.skier = QStringLiteral("Ann Lee");
        in.jumpNumber = QString::number(jump);
        in.metresText = QStringLiteral("m");
        in.feetText = QStringLiteral("ft");
        in.wstims = true;
        in.impactX = 4500;
        in.impactY = 3200;
        in.resultsFilePath = folder + QStringLiteral("/results.txt");
        in.txioFolder = folder + QStringLiteral("/txio");
        const RecordOutcome out = recordJump(in, g, prompter, when);
        if (!out.recorded)
            return 3;
        std::printf("%d\n", jump);
        std::fflush(stdout);
        if (!writeGridFile(folder + QStringLiteral("/north.ipt"), QStringLiteral("North"), g.grid_table[1], 1).ok)
            return 4;
    }
}
