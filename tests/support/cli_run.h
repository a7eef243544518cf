#pragma once
// The command-line tool run in the test's own process, its exit status and both streams kept.
#include "cli/cli.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace tarvex::test {

struct CliRun {
    int status = 0;
    QString out;
    QString err;
    QStringList outLines() const { return out.split('\n', Qt::SkipEmptyParts); }
};

inline CliRun runCliCaptured(const QStringList& args)
{
    QString out, err;
    QTextStream o(&out), e(&err);
    const int status = runCli(args, o, e);
    o.flush();
    e.flush();
    return {status, out, err};
}

} // namespace tarvex::test
