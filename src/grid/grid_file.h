#pragma once
// The grid parameter file (".ipt", 19 lines): writer, reader, and the steps of the
// Save and Load flows that touch only the grid state, so the setup screen and the
// configuration and start-up loaders all store a grid the same way.
#include "grid/jump_grid.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarvex {

// Number of fields in a grid parameter file: two texts, then 29 numbers.
constexpr int kGridFileTextFields = 2;
constexpr int kGridFileNumberFields = 16 + 8 + 2 + 3;
// A longer description is refused: no operator types one, and a hostile file could hold megabytes.
constexpr int kMaxDescriptionLength = 4096;
constexpr int kGridFileFields = kGridFileTextFields + kGridFileNumberFields;

// The 19 lines, CR LF ended, for a grid saved as grid gridNumber from fullPath: t1..t3 are
// written as 10, 2 and gridNumber whatever the record holds. A path or description holding
// a comma or a double quote is written quoted so it reads back whole.
QByteArray gridFileBytes(const QString& fullPath, const QString& description,
                         const JumpGrid& grid, int gridNumber);

struct GridFileWriteResult {
    bool ok = false;
    QString fullPath;   // absolute path named on line 1
    QString error;      // operator-readable, empty on success
};

// Writes gridFileBytes to path through a temporary file that replaces the old one only when
// complete, so a failed write leaves a good earlier file in place; then the side file the
// same way, or removes a side file a grid without check points or lens no longer has.
GridFileWriteResult writeGridFile(const QString& path, const QString& description,
                                  const JumpGrid& grid, int gridNumber);

// The side file of a grid file: its check points and lens, beside it under the same name
// plus ".pts" (never six letters: the start-up cleanup takes "<grid>.ipt.XXXXXX" for a
// replace left behind). A four-point grid without a lens has none, so its grid file alone is
// the whole grid, exactly as before check points existed.
QString gridPointsPath(const QString& gridFilePath);
// The side file's text: the points and the lens to read back, then the agreement figures
// as comment lines for a person.
QByteArray gridPointsBytes(const JumpGrid& grid);
struct GridPoints {
    bool ok = false;
    QString error;   // which line and why, when not ok
    QList<CheckPoint> checkPoints;
    bool lensWanted = false;
    LensCorrection lens;
};
GridPoints parseGridPoints(const QByteArray& bytes);

struct GridFileContents {
    // TooFewFields: the file ends early; WrongFieldCount: a line holds more or fewer fields
    // than its place requires; BadMapping: read whole, but its mapping is unsound
    // (mappingProblem), found by readGridFile only; BadPoints: its side file cannot be read
    // or does not agree with it.
    enum class Status { Ok, OpenFailed, NotANumber, TooFewFields, FieldTooLong, WrongFieldCount,
                        TooManyLines, BadMapping, BadPoints };
    Status status = Status::OpenFailed;
    int fieldsRead = 0;        // 0..31 fields read in order before the failure (31 when Ok)
    QString firstLine;         // field 1: "Initialization Points for file: ..." (not used)
    QString description;       // field 2
    QList<double> numbers;     // fields 3.. in file order, as many as were read (29 when Ok)
    QString error;             // operator-readable: which file, which field, what went wrong
    GridPoints points;         // from the side file; none (and ok) without one

    bool ok() const { return status == Status::Ok; }
    bool opened() const { return status != Status::OpenFailed; }
    // The numbers read so far as a record; fields not read stay 0.
    JumpGrid grid() const;
};

// Name of numeric field k (0..28) as it appears in error texts: "buoy 3 screen Y", "c5", ...
QString gridFileFieldName(int numberIndex);

// Reads the 19 lines, each holding exactly the fields its place requires (four numbers on
// a buoy line, one elsewhere), so a decimal comma or a lost field is refused rather than
// shifting every later number. Blanks around fields and blank lines after line 19 are
// allowed; lines 1 and 2 are texts, whole unless quoted.
GridFileContents parseGridFile(const QByteArray& bytes);
// parseGridFile on the file, then mappingProblem on what it read; errors name the file.
GridFileContents readGridFile(const QString& path);

// Load step 4 on, minus the screens: for grid n, the path becomes the grid's file
// path, the description its description line, every number goes into the working
// state and into grid_table[n], current_grid becomes n, survey_x_direction is recomputed,
// grid n is marked set up and all_grids_set_up recomputed. Contents that are not ok change
// nothing at all. Returns contents.ok().
bool applyGridFile(GridState& g, int n, const QString& path, const GridFileContents& contents);

// readGridFile + applyGridFile; what every grid loader (setup, start-up, configuration) runs.
GridFileContents loadGridFile(GridState& g, int n, const QString& path);

// Save steps 6 and 7 for grid n: the path and description become the grid's;
// the file is written from the working state; on success grid_table[n] receives the same
// values with t1..t3 = 10, 2, n. A failed write leaves the record unchanged. Neither
// grid_set_up nor all_grids_set_up changes.
GridFileWriteResult saveGridFile(GridState& g, int n, const QString& path, const QString& description);

} // namespace tarvex
