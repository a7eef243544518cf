// tarvex-cli contact CLIP [--grid FILE]: the station's suggestion of the first-contact frame
// and impact point, as the review screen would make it.
#include "cli/cli.h"
#include "grid/grid_file.h"
#include "review/contact_detector.h"

extern "C" {
#include <libavutil/log.h>
}

namespace tarvex {

namespace {

QString number(double v, int decimals)
{
    QString s = QString::number(v, 'f', decimals);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    return s == QLatin1String("-0") ? QStringLiteral("0") : s;
}

} // namespace

int runContactCli(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const CliArgs a = parseCliArgs(args, {QStringLiteral("grid")});
    auto usage = [&err](const QString& problem) {
        err << "tarvex-cli: " << problem << " (tarvex-cli --help shows the usage)\n";
        return kCliUsage;
    };
    if (!a.error.isEmpty())
        return usage(a.error);
    if (a.positional.size() != 1)
        return usage(QStringLiteral("contact needs exactly one video file"));

    ContactOptions options;
    if (a.options.contains(QStringLiteral("grid"))) {
        const QString gridPath = a.options.value(QStringLiteral("grid"));
        const GridFileContents c = readGridFile(gridPath);
        GridState g;
        if (!c.ok() || !applyGridFile(g, 1, gridPath, c)) {
            err << "tarvex-cli: " << (c.ok() ? QStringLiteral("the grid %1 cannot be used").arg(gridPath) : c.error)
                << "\n";
            return kCliUsage;
        }
        options.grid = contactGridOf(g);
    }
    // The decoder's notes on every frame would bury the one line this command prints.
    av_log_set_level(AV_LOG_ERROR);
    QString problem;
    const auto found = detectContact(a.positional.first(), options, &problem);
    if (!problem.isEmpty()) {
        err << "tarvex-cli: " << problem << "\n";
        return kCliUsage;
    }
    if (!found) {
        out << "no contact found\n";
        return kCliNoResult;
    }
    out << "contact frame " << found->frame << " at " << number(found->impactTwips.x(), 1) << ','
        << number(found->impactTwips.y(), 1) << " confidence " << QString::number(found->confidence, 'f', 2)
        << "\n";
    return kCliOk;
}

} // namespace tarvex
