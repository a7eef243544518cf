#pragma once
// tarvex-cli: the grid core from the command line (build a grid file, measure distances,
// check the framing, print the accuracy lattice). main() only forwards to runCli, so the
// tests drive the very same code.
#include <QMap>
#include <QStringList>
#include <QTextStream>

namespace tarvex {

// Exit statuses: 0 done; 1 the grid cannot give an answer (no unique solution, a point on
// the vanishing line, a check that cannot be made); 2 bad usage or a file that cannot be
// read or written.
constexpr int kCliOk = 0;
constexpr int kCliNoResult = 1;
constexpr int kCliUsage = 2;

// A command's arguments: "--name value" and "--name=value" (every option takes a value, each
// at most once); anything else, including negative numbers such as "-120,300", is positional.
struct CliArgs {
    QStringList positional;
    QMap<QString, QString> options;   // name without the dashes -> value
    QMap<QString, QStringList> lists; // a repeatable option -> its values in order
    QString error;                    // empty when the arguments parsed
};
// Options named in repeatable may be given many times; they go to lists, not options.
CliArgs parseCliArgs(const QStringList& args, const QStringList& allowed, const QStringList& repeatable = {});

// `contact CLIP [--grid FILE]`: args after the command's name.
int runContactCli(const QStringList& args, QTextStream& out, QTextStream& err);

// args without the program name.
int runCli(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace tarvex
