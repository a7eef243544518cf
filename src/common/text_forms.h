#pragma once
// Number and date texts exactly as the station's files and screens show them.
#include <QDateTime>
#include <QString>

namespace tarvex {

// Up to 15 significant digits, "." as decimal point, no trailing zeros, no leading zero
// before the point, one blank before a non-negative number: " 45.2", "-3.5", " .5", "-.25",
// " 0". Exponent form only below 1E-04 or from 1E+15 on: "1.23456789012345E-05", " 1E+15".
QString paddedNumber(double v);

// The same digits without the leading blank, with the locale's decimal separator.
QString plainNumber(double v);

// The longest leading number of the text (leading blanks skipped, "." as decimal point,
// optional exponent); 0 when the text does not start with a number.
double leadingNumber(const QString& text);

// Whole part (towards minus infinity) of x*10^n + 0.5, divided by 10^n.
double roundTo(double x, int decimals);

// Conversion to a whole number: halves go to the even neighbour (2.5 -> 2, 3.5 -> 4).
// NaN gives 0; values beyond the range of long long give its limits.
long long roundHalfEven(double x);

// "mm-dd-yyyy" and "hh:mm:ss" (24-hour), independent of the locale.
QString dateText(const QDateTime& t);
QString timeText(const QDateTime& t);

// mm + dd + yy of the date text, for daily file names: December 6, 2026 gives "120626".
QString dailyNamePart(const QDateTime& t);

} // namespace tarvex
