#pragma once
// A small RTF reader for the rich-text controls of the station (manual, licence): Qt has
// none. It reads the subset that hand-written and word-processor RTF use for text (groups,
// character and paragraph formatting, escapes, Unicode) and skips everything else
// (font and colour tables as text, stylesheet, \info, pictures, objects, headers and
// footers, every \* destination, \bin data).
#include <QByteArray>
#include <QString>

namespace tarvex {

// True when the data (after an optional UTF-8 byte order mark and blanks) starts with
// "{\rtf". Callers load anything else as plain text, as the rich-text control does.
bool isRtfDocument(const QByteArray& data);

// Both converters report through `error`:
//   - empty: the document was read to its end;
//   - not RTF (isRtfDocument false): an error text and an empty result;
//   - damaged (truncated, unbalanced braces, nesting deeper than the reader keeps): an error
//     text and whatever was read up to that point.
// They never throw and never read outside the given bytes.

// The document as Qt rich text: an HTML subset that QTextDocument::setHtml and QTextBrowser
// accept (paragraph alignment, indents and spacing; bold, italic, underline, strike-out,
// font size, font family, colour, super- and subscript).
QString rtfToHtml(const QByteArray& rtf, QString* error = nullptr);

// The text the rich-text control saves as plain text: every \par (also \sect, \page, \row)
// and every \line ends a line, \tab (and \cell) gives a tab. Lines end with "\n" here, not
// with the "\r\n" of a saved file: a caller that writes a file replaces them. Text after the
// last paragraph mark ends without a line end.
QString rtfToPlainText(const QByteArray& rtf, QString* error = nullptr);

} // namespace tarvex
