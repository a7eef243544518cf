#pragma once
// The list-style text lines of the results file, logs and grid files, and the field reader
// that reads them back.
#include <QString>
#include <QStringList>
#include <optional>

namespace tarvex {

// Builds text the way list-style output lays it out: items follow one another directly,
// zone() moves to the next 14-column print zone (columns 1, 15, 29, 43, ...), numbers carry
// a blank (or minus sign) before and a blank after, and endLine() closes a line with CR LF.
// A line may be built by several calls before it is ended.
class ListWriter {
public:
    ListWriter& text(const QString& s);
    ListWriter& number(double v);      // paddedNumber(v) + " "
    ListWriter& zone();                // the "," separator
    ListWriter& endLine();             // CR LF
    ListWriter& line(const QString& s) { return text(s).endLine(); }

    const QString& str() const { return out_; }
    QByteArray bytes() const;          // Latin-1 where possible, as the files are 8-bit text
    int column() const { return col_; } // 0-based position on the current line

private:
    QString out_;
    int col_ = 0;
};

// Each text as a line of its own, CR LF ended, as the bytes a file receives.
QByteArray lineBytes(const QStringList& lines);

// Finite and within +-1e15: the numbers the field reader takes (beyond, the padded form
// switches to exponents and a whole number stops being exact).
bool isStorableNumber(double v);

// Reads fields separated by commas and line ends; blanks around a field are dropped and
// double quotes protect commas inside a field.
class FieldReader {
public:
    explicit FieldReader(const QString& content);

    bool atEnd() const;
    std::optional<QString> nextText();   // nullopt when no field is left
    // nullopt when no field is left or it is not a number; nan, inf and numbers beyond
    // +-1e15 are not numbers here.
    std::optional<double> nextNumber();

private:
    std::optional<QString> nextField(bool& quoted, bool skipEmptyLines);
    QString s_;
    int pos_ = 0;
};

// Text with a comma or a double quote is written in double quotes so it reads back whole
// (embedded quotes are doubled); other text is returned unchanged.
QString quotedIfNeeded(const QString& s);

} // namespace tarvex
