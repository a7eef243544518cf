#include "cli/cli.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    // QCoreApplication only to get the arguments decoded as the platform passes them.
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int status = tarvex::runCli(app.arguments().mid(1), out, err);
    out.flush();
    err.flush();
    return status;
}
