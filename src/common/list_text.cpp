#include "common/list_text.h"

#include <cmath>
#include "common/text_forms.h"

namespace tarvex {

namespace {
constexpr int kZoneWidth = 14;
}

ListWriter& ListWriter::text(const QString& s)
{
    out_ += s;
    col_ += int(s.size());
    return *this;
}

ListWriter& ListWriter::number(double v)
{
    return text(paddedNumber(v) + QLatin1Char(' '));
}

ListWriter& ListWriter::zone()
{
    const int next = (col_ / kZoneWidth + 1) * kZoneWidth;
    out_ += QString(next - col_, QLatin1Char(' '));
    col_ = next;
    return *this;
}

ListWriter& ListWriter::endLine()
{
    out_ += QStringLiteral("\r\n");
    col_ = 0;
    return *this;
}

QByteArray ListWriter::bytes() const
{
    // The files are 8-bit text read by other programs; characters outside Latin-1 cannot be
    // stored there, so they go out as UTF-8 rather than being lost as '?'.
    for (QChar c : out_)
        if (c.unicode() > 0xFF)
            return out_.toUtf8();
    return out_.toLatin1();
}

FieldReader::FieldReader(const QString& content) : s_(content) {}

static bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }
static bool isLineEnd(QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); }

bool FieldReader::atEnd() const
{
    int p = pos_;
    while (p < s_.size() && (isBlank(s_[p]) || isLineEnd(s_[p])))
        ++p;
    return p >= s_.size();
}

std::optional<QString> FieldReader::nextField(bool& quoted, bool skipEmptyLines)
{
    quoted = false;
    const int n = int(s_.size());
    // An empty line is an empty text field (a grid without a description), but a number
    // never is, so numbers may stand on lines of their own with blank lines between.
    while (pos_ < n && (isBlank(s_[pos_]) || (skipEmptyLines && isLineEnd(s_[pos_]))))
        ++pos_;
    if (pos_ >= n)
        return std::nullopt;

    QString field;
    if (s_[pos_] == QLatin1Char('"')) {
        quoted = true;
        ++pos_;
        while (pos_ < n) {
            if (s_[pos_] == QLatin1Char('"')) {
                if (pos_ + 1 < n && s_[pos_ + 1] == QLatin1Char('"')) {
                    field += QLatin1Char('"');
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                break;
            }
            if (isLineEnd(s_[pos_]))   // an unterminated quote ends with its line
                break;
            field += s_[pos_++];
        }
        // Anything after the closing quote up to the separator is dropped.
        while (pos_ < n && s_[pos_] != QLatin1Char(',') && !isLineEnd(s_[pos_]))
            ++pos_;
    } else {
        while (pos_ < n && s_[pos_] != QLatin1Char(',') && !isLineEnd(s_[pos_]))
            field += s_[pos_++];
        field = field.trimmed();
    }
    if (pos_ < n && s_[pos_] == QLatin1Char(','))
        ++pos_;
    else if (pos_ < n && s_[pos_] == QLatin1Char('\r')) {
        ++pos_;
        if (pos_ < n && s_[pos_] == QLatin1Char('\n'))
            ++pos_;
    } else if (pos_ < n && s_[pos_] == QLatin1Char('\n'))
        ++pos_;
    return field;
}

std::optional<QString> FieldReader::nextText()
{
    bool quoted = false;
    return nextField(quoted, false);
}

std::optional<double> FieldReader::nextNumber()
{
    bool quoted = false;
    const auto f = nextField(quoted, true);
    if (!f)
        return std::nullopt;
    bool ok = false;
    const double v = f->toDouble(&ok);   // C locale: "." point, optional exponent
    if (!ok || quoted || !isStorableNumber(v))
        return std::nullopt;
    return v;
}

bool isStorableNumber(double v) { return std::isfinite(v) && std::abs(v) <= 1e15; }

QString quotedIfNeeded(const QString& s)
{
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')))
        return s;
    QString q = s;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QByteArray lineBytes(const QStringList& lines)
{
    ListWriter w;
    for (const QString& l : lines)
        w.line(l);
    return w.bytes();
}

} // namespace tarvex
