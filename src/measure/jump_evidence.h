#pragma once
// The evidence record of a recorded jump: one JSON line per jump in a daily file beside the
// results file, holding what a record application or a protest needs to check the distance
// (the grid's agreement, the picture's source, the mark, the exact distance and its
// uncertainty). Appended durably like the results file, never rewritten.
#include "grid/grid_fit.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QString>
#include <optional>

namespace tarvex {

// A landing seen by several cameras is marked in each, through its own grid.
struct CameraMark {
    int grid = 1;
    QString video;
    int frame = 0;
    QPointF mark;        // twips of that camera's picture
    double distance = 0; // metres, allowance included
};

// The marks of one landing by grid, a newer mark in a camera replacing its older one.
class CameraMarks {
public:
    void set(const CameraMark& m);
    void clear() { marks_.clear(); }
    const QList<CameraMark>& marks() const { return marks_; }
    // The longest distance less the shortest; none until two cameras are marked.
    std::optional<double> difference() const;

private:
    QList<CameraMark> marks_;
};

struct JumpEvidence {
    QDateTime time;
    QString skier;
    QString jump;
    QString outcome;                 // "measured", "pass", "fall" or "other grid"
    int gridNumber = 1;
    QString gridFile;
    int gridPoints = 4;
    double gridRms = 0;              // metres
    QString worstPoint;
    double worstResidual = 0;        // metres
    double lensK1 = 0;
    QString video;                   // the picture's source: a video and its frame,
    std::optional<int> frame;
    QString pictureFile;             // or a picture file
    QPointF mark;                    // twips
    double markZoom = 1;             // the view's zoom, or the loupe's when it placed the mark
    bool markFromLoupe = false;
    std::optional<double> distance;  // metres, allowance included; none for a pass or fall
    std::optional<double> sigma;     // one standard uncertainty, metres
    double allowance = 0;
    // The same landing measured in every camera it was marked in: with two or more, their
    // distances and the difference are part of the record.
    QList<CameraMark> cameras;
};

// The station's figures of the grid a jump was measured with, into e.
void setGridEvidence(JumpEvidence& e, const GridFit& fit);

// "<results folder>/JumpEvidence<MMddyy>.jsonl".
QString evidenceFilePath(const QString& resultsFilePath, const QDate& day);
// One line of compact JSON, newline ended, with the station's version; numbers keep every digit.
QByteArray evidenceLine(const JumpEvidence& e);
// Appends the line durably; the operator-readable reason when it could not.
QString appendEvidence(const QString& path, const JumpEvidence& e);

} // namespace tarvex
