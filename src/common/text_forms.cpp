#include "common/text_forms.h"

#include <QLocale>
#include <cmath>
#include <limits>
#include <cstdio>
#include <cstdlib>

namespace tarvex {

namespace {

// Digits and decimal exponent of v rounded to 15 significant digits, trailing zeros removed:
// 0.5 -> ("5", -1), 1234.5 -> ("12345", 3).
struct Digits { QString digits; int exponent; };

Digits significantDigits(double a)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", a);   // d.dddddddddddddde[+-]xx
    QString s = QString::fromLatin1(buf);
    const int e = s.indexOf(QLatin1Char('e'));
    QString mant = s.left(e);
    mant.remove(QLatin1Char('.'));
    const int exponent = s.mid(e + 1).toInt();
    while (mant.size() > 1 && mant.endsWith(QLatin1Char('0')))
        mant.chop(1);
    return {mant, exponent};
}

QString unsignedText(double a, QChar point)
{
    if (a == 0)
        return QStringLiteral("0");
    if (std::isnan(a))
        return QStringLiteral("NaN");
    if (std::isinf(a))
        return QStringLiteral("Inf");
    const Digits d = significantDigits(a);
    if (d.exponent < -4 || d.exponent >= 15) {
        QString m = d.digits.left(1);
        if (d.digits.size() > 1)
            m += point + d.digits.mid(1);
        const QString ex = QString::number(std::abs(d.exponent)).rightJustified(2, QLatin1Char('0'));
        return m + QLatin1Char('E') + (d.exponent < 0 ? QLatin1Char('-') : QLatin1Char('+')) + ex;
    }
    if (d.exponent < 0)   // no leading zero before the point
        return point + QString(-d.exponent - 1, QLatin1Char('0')) + d.digits;
    const int whole = d.exponent + 1;
    if (d.digits.size() <= whole)
        return d.digits + QString(whole - d.digits.size(), QLatin1Char('0'));
    return d.digits.left(whole) + point + d.digits.mid(whole);
}

} // namespace

QString paddedNumber(double v)
{
    const QString body = unsignedText(std::fabs(v), QLatin1Char('.'));
    return (std::signbit(v) && v != 0 ? QLatin1Char('-') : QLatin1Char(' ')) + body;
}

QString plainNumber(double v)
{
    const QString body = unsignedText(std::fabs(v), QLocale().decimalPoint().at(0));
    return (std::signbit(v) && v != 0) ? QLatin1Char('-') + body : body;
}

double leadingNumber(const QString& text)
{
    int i = 0;
    const int n = text.size();
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    const int start = i;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    int digits = 0;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) { ++i; ++digits; }
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128) { ++i; ++digits; }
    }
    if (digits == 0)
        return 0;
    int end = i;
    if (i < n && (text[i] == QLatin1Char('E') || text[i] == QLatin1Char('e'))) {
        int j = i + 1;
        if (j < n && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-')))
            ++j;
        int expDigits = 0;
        while (j < n && text[j].isDigit() && text[j].unicode() < 128) { ++j; ++expDigits; }
        if (expDigits > 0)
            end = j;
    }
    const QByteArray num = text.mid(start, end - start).toLatin1();
    const double v = std::strtod(num.constData(), nullptr);
    return std::isfinite(v) ? v : 0;
}

double roundTo(double x, int decimals)
{
    const double p = std::pow(10.0, decimals);
    return std::floor(x * p + 0.5) / p;
}

long long roundHalfEven(double x)
{
    // Beyond what a long long holds the conversion would be undefined: saturate.
    if (std::isnan(x))
        return 0;
    if (x >= 9.2e18)
        return std::numeric_limits<long long>::max();
    if (x <= -9.2e18)
        return std::numeric_limits<long long>::min();
    const double f = std::floor(x);
    const double diff = x - f;
    double r;
    if (diff > 0.5)
        r = f + 1;
    else if (diff < 0.5)
        r = f;
    else
        r = std::fmod(f, 2.0) == 0 ? f : f + 1;
    return static_cast<long long>(r);
}

QString dateText(const QDateTime& t)
{
    const QDate d = t.date();
    return QStringLiteral("%1-%2-%3")
        .arg(d.month(), 2, 10, QLatin1Char('0'))
        .arg(d.day(), 2, 10, QLatin1Char('0'))
        .arg(d.year(), 4, 10, QLatin1Char('0'));
}

QString timeText(const QDateTime& t)
{
    const QTime c = t.time();
    return QStringLiteral("%1:%2:%3")
        .arg(c.hour(), 2, 10, QLatin1Char('0'))
        .arg(c.minute(), 2, 10, QLatin1Char('0'))
        .arg(c.second(), 2, 10, QLatin1Char('0'));
}

QString dailyNamePart(const QDateTime& t)
{
    const QString d = dateText(t);
    return d.mid(0, 2) + d.mid(3, 2) + d.mid(8, 2);
}

} // namespace tarvex
