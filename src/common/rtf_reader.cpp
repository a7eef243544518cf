#include "common/rtf_reader.h"

#include <QList>
#include <QMap>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <climits>
#include <vector>

namespace tarvex {
namespace {

// Real documents nest a few dozen groups at most; deeper groups are skipped so that a
// hostile file cannot make the state stack grow without bound.
constexpr int kMaxGroupDepth = 256;
constexpr int kMaxWordLength = 32;    // longest control word RTF allows
constexpr int kMaxParamDigits = 10;
constexpr int kDefaultHalfPoints = 24; // RTF's default font size, 12 points

// U+2028 stands for \line inside a run until the converters turn it into "\n" or <br />.
constexpr char16_t kLineBreak = u'\u2028';

// Code page 1252 bytes 0x80..0x9F; the other bytes equal their Latin-1 code points.
// Unassigned bytes map to U+FFFD.
constexpr char16_t kCp1252High[32] = {
    u'\u20AC', u'\uFFFD', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\uFFFD', u'\u017D', u'\uFFFD',
    u'\uFFFD', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\uFFFD', u'\u017E', u'\u0178',
};

QChar fromCp1252(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return QChar(kCp1252High[byte - 0x80]);
    return QChar(char16_t(byte));
}

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

struct CharFormat {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    int vertical = 0;                       // 1 superscript, -1 subscript
    int halfPoints = kDefaultHalfPoints;
    int font = -1;                          // -1: the document's default font
    int color = 0;                          // index into the colour table; 0 is "auto"
    bool operator==(const CharFormat&) const = default;
};

enum class Align { Left, Center, Right, Justify };

struct ParaFormat {
    Align align = Align::Left;
    int leftTwips = 0;
    int rightTwips = 0;
    int firstTwips = 0;
    int beforeTwips = 0;
    int afterTwips = 0;
};

struct Run {
    CharFormat format;
    QString text;
};

struct Paragraph {
    ParaFormat format;
    CharFormat markFormat;                  // format at the paragraph mark: sizes an empty line
    QList<Run> runs;
    bool terminated = false;                // ended by a paragraph mark (not the end of text)
};

struct FontInfo {
    QString name;
    bool nameDone = false;
    bool monospace = false;
};

enum class Destination { Text, FontTable, ColorTable, Skip };

struct GroupState {
    Destination destination = Destination::Text;
    CharFormat chr;
    ParaFormat para;
    int unicodeSkip = 1;                    // \ucN: fallback characters after each \uN
};

struct Document {
    QList<Paragraph> paragraphs;
    QMap<int, FontInfo> fonts;
    int defaultFont = 0;
    QList<QString> colors;                  // "#rrggbb", or empty for "auto"
};

// Destinations whose content is never text of the document.
const QSet<QByteArray>& skippedDestinations()
{
    static const QSet<QByteArray> words = {
        "stylesheet", "info", "pict", "object", "objdata", "header", "headerl", "headerr",
        "headerf", "footer", "footerl", "footerr", "footerf", "footnote", "fldinst", "xe",
        "tc", "txe", "rxe", "listtable", "listoverridetable", "revtbl", "rsidtbl", "filetbl",
        "generator", "themedata", "colorschememapping", "datastore", "latentstyles",
        "xmlnstbl", "mmathPr", "pgdsctbl", "nonshppict", "shp", "do", "annotation",
        "atnid", "atnauthor", "bkmkstart", "bkmkend", "template", "private", "userprops",
        "docvar", "pnseclvl", "pn", "fontemb", "fontfile", "falt", "panose", "keywords",
    };
    return words;
}

// Control words that stand for one character.
const QMap<QByteArray, QChar>& characterWords()
{
    static const QMap<QByteArray, QChar> words = {
        {"bullet", QChar(u'\u2022')},   {"endash", QChar(u'\u2013')},
        {"emdash", QChar(u'\u2014')},   {"lquote", QChar(u'\u2018')},
        {"rquote", QChar(u'\u2019')},   {"ldblquote", QChar(u'\u201C')},
        {"rdblquote", QChar(u'\u201D')}, {"enspace", QChar(u'\u2002')},
        {"emspace", QChar(u'\u2003')},  {"qmspace", QChar(u'\u2005')},
        {"tab", QChar(u'\t')},          {"cell", QChar(u'\t')},
        {"nestcell", QChar(u'\t')},     {"line", QChar(kLineBreak)},
    };
    return words;
}

class RtfParser {
public:
    explicit RtfParser(const QByteArray& input) : in_(input) {}

    void parse()
    {
        pos_ = startOffset(in_);
        if (pos_ < 0) {
            fail(QStringLiteral("The file is not an RTF document (it does not start with {\\rtf)."));
            return;
        }
        bool finished = false;
        while (pos_ < in_.size() && !finished) {
            const char c = in_[pos_];
            switch (c) {
            case '{':
                ++pos_;
                openGroup();
                break;
            case '}':
                ++pos_;
                finished = closeGroup();
                break;
            case '\\':
                ++pos_;
                readControl();
                break;
            case '\r':
            case '\n':
            case '\0':
                ++pos_;
                break;
            default:
                ++pos_;
                text(c == '\t' ? QChar(u'\t') : fromCp1252(static_cast<unsigned char>(c)));
                break;
            }
        }
        if (!finished) {
            fail(QStringLiteral("The RTF document is truncated: it ends inside %1 open group(s).")
                     .arg(stack_.size() + overflow_));
        } else {
            while (pos_ < in_.size() && QByteArrayView(" \t\r\n\0", 5).contains(in_[pos_]))
                ++pos_;
            if (pos_ < in_.size())
                fail(QStringLiteral("The RTF document has unbalanced braces: text after its "
                                    "closing brace was ignored."));
        }
        if (!open_.runs.isEmpty())
            doc_.paragraphs.append(open_);
    }

    const Document& document() const { return doc_; }
    const QString& error() const { return error_; }

    static qsizetype startOffset(const QByteArray& data)
    {
        qsizetype p = 0;
        if (data.startsWith("\xEF\xBB\xBF"))
            p = 3;
        while (p < data.size() && QByteArrayView(" \t\r\n", 4).contains(data[p]))
            ++p;
        return QByteArrayView(data).sliced(p).startsWith("{\\rtf") ? p : -1;
    }

private:
    void fail(const QString& message)
    {
        if (error_.isEmpty())
            error_ = message;
    }

    bool skipping() const { return overflow_ > 0 || state_.destination == Destination::Skip; }

    void openGroup()
    {
        fallbackLeft_ = 0;
        if (overflow_ > 0 || stack_.size() >= kMaxGroupDepth) {
            if (overflow_ == 0)
                fail(QStringLiteral("The RTF document nests groups deeper than %1 levels; "
                                    "the deeper groups were skipped.").arg(kMaxGroupDepth));
            ++overflow_;
            return;
        }
        stack_.push_back(state_);
    }

    // Returns true when the outermost group has just been closed.
    bool closeGroup()
    {
        fallbackLeft_ = 0;
        if (overflow_ > 0) {
            --overflow_;
            return false;
        }
        if (stack_.empty())
            return true;
        state_ = stack_.back();
        stack_.pop_back();
        return stack_.empty();
    }

    void readControl()
    {
        if (pos_ >= in_.size())
            return;   // a lone backslash at the end: the truncation check reports it
        const char c = in_[pos_];
        if (isLetter(c)) {
            const qsizetype start = pos_;
            while (pos_ < in_.size() && isLetter(in_[pos_]))
                ++pos_;
            QByteArray word = in_.mid(start, pos_ - start);
            if (word.size() > kMaxWordLength)
                word.clear();   // not a control word RTF defines: read over it, act on nothing
            bool hasParam = false;
            long long param = 0;
            bool negative = false;
            if (pos_ + 1 < in_.size() && in_[pos_] == '-' && isDigit(in_[pos_ + 1])) {
                negative = true;
                ++pos_;
            }
            int digits = 0;
            while (pos_ < in_.size() && isDigit(in_[pos_])) {
                if (digits++ < kMaxParamDigits)
                    param = param * 10 + (in_[pos_] - '0');
                hasParam = true;
                ++pos_;
            }
            param = std::clamp(negative ? -param : param, (long long)INT_MIN, (long long)INT_MAX);
            if (pos_ < in_.size() && in_[pos_] == ' ')
                ++pos_;
            controlWord(word, hasParam, int(param));
            return;
        }
        ++pos_;
        if (c == '\'') {
            if (pos_ + 1 >= in_.size()) {
                pos_ = in_.size();
                return;
            }
            const int hi = hexValue(in_[pos_]);
            const int lo = hexValue(in_[pos_ + 1]);
            if (hi < 0 || lo < 0)
                return;   // not an escape after all: leave the characters as text
            pos_ += 2;
            text(fromCp1252(static_cast<unsigned char>(hi * 16 + lo)));
            return;
        }
        if (c == '\r' || c == '\n') {
            controlWord("par", false, 0);
            return;
        }
        symbol(c);
    }

    void symbol(char c)
    {
        if (c == '*') {
            // \* announces a destination this reader may ignore; it ignores them all.
            if (!skipping())
                state_.destination = Destination::Skip;
            return;
        }
        switch (c) {
        case '\\':
        case '{':
        case '}':
            text(QChar(char16_t(c)));
            break;
        case '~':
            text(QChar(u'\u00A0'));
            break;
        case '_':
            text(QChar(u'\u2011'));
            break;
        default:
            // \- optional hyphen, \: index subentry, \| formula: no visible text; they still
            // count as one fallback character after \uN.
            if (fallbackLeft_ > 0)
                --fallbackLeft_;
            break;
        }
    }

    void skipBinary(int count)
    {
        if (count > 0)
            pos_ += std::min<qsizetype>(count, in_.size() - pos_);
    }

    void controlWord(const QByteArray& word, bool hasParam, int param)
    {
        if (word == "bin") {
            skipBinary(hasParam ? param : 0);
            if (fallbackLeft_ > 0)
                --fallbackLeft_;
            return;
        }
        if (skipping())
            return;
        if (fallbackLeft_ > 0) {
            --fallbackLeft_;
            return;
        }
        if (word == "deff") {
            doc_.defaultFont = param;
            return;
        }
        if (word == "fonttbl") {
            state_.destination = Destination::FontTable;
            return;
        }
        if (word == "colortbl") {
            state_.destination = Destination::ColorTable;
            doc_.colors.clear();
            red_ = green_ = blue_ = -1;
            return;
        }
        if (skippedDestinations().contains(word)) {
            state_.destination = Destination::Skip;
            return;
        }
        switch (state_.destination) {
        case Destination::FontTable:
            fontTableWord(word, param);
            return;
        case Destination::ColorTable:
            if (word == "red") red_ = std::clamp(param, 0, 255);
            else if (word == "green") green_ = std::clamp(param, 0, 255);
            else if (word == "blue") blue_ = std::clamp(param, 0, 255);
            return;
        case Destination::Skip:
            return;
        case Destination::Text:
            break;
        }
        if (word == "u") {
            const int code = param < 0 ? param + 65536 : param;
            if (hasParam && code >= 0 && code <= 0xFFFF)
                text(QChar(char16_t(code)));
            fallbackLeft_ = state_.unicodeSkip;
            return;
        }
        if (const auto it = characterWords().constFind(word); it != characterWords().cend()) {
            text(*it);
            return;
        }
        if (word == "par" || word == "sect" || word == "page" || word == "row"
            || word == "nestrow") {
            endParagraph();
            return;
        }
        textWord(word, hasParam, param);
    }

    void fontTableWord(const QByteArray& word, int param)
    {
        if (word == "f") {
            fontBeingDefined_ = param;
            doc_.fonts[param];
        } else if (word == "fmodern") {
            doc_.fonts[fontBeingDefined_].monospace = true;
        }
    }

    void textWord(const QByteArray& word, bool hasParam, int param)
    {
        const bool on = !hasParam || param != 0;
        CharFormat& chr = state_.chr;
        ParaFormat& para = state_.para;
        if (word == "uc") state_.unicodeSkip = hasParam ? std::max(param, 0) : 1;
        else if (word == "b") chr.bold = on;
        else if (word == "i") chr.italic = on;
        else if (word == "strike" || word == "striked") chr.strike = on;
        else if (word == "v") chr.hidden = on;
        else if (word == "ulnone") chr.underline = false;
        else if (word == "ul" || word == "uld" || word == "uldash" || word == "uldashd"
                 || word == "uldashdd" || word == "uldb" || word == "ulth" || word == "ulw"
                 || word == "ulwave" || word == "ulhwave" || word == "ulldash")
            chr.underline = on;
        else if (word == "fs") chr.halfPoints = (hasParam && param > 0) ? std::min(param, 3276) : kDefaultHalfPoints;
        else if (word == "f") chr.font = param;
        else if (word == "cf") chr.color = std::max(param, 0);
        else if (word == "super") chr.vertical = 1;
        else if (word == "sub") chr.vertical = -1;
        else if (word == "nosupersub") chr.vertical = 0;
        else if (word == "plain") chr = CharFormat{};
        else if (word == "pard") para = ParaFormat{};
        else if (word == "ql") para.align = Align::Left;
        else if (word == "qc") para.align = Align::Center;
        else if (word == "qr") para.align = Align::Right;
        else if (word == "qj") para.align = Align::Justify;
        else if (word == "li") para.leftTwips = param;
        else if (word == "ri") para.rightTwips = param;
        else if (word == "fi") para.firstTwips = param;
        else if (word == "sb") para.beforeTwips = std::max(param, 0);
        else if (word == "sa") para.afterTwips = std::max(param, 0);
    }

    void text(QChar c)
    {
        if (overflow_ > 0)
            return;
        if (fallbackLeft_ > 0) {
            --fallbackLeft_;
            return;
        }
        switch (state_.destination) {
        case Destination::Skip:
            return;
        case Destination::FontTable: {
            FontInfo& font = doc_.fonts[fontBeingDefined_];
            if (c == u';')
                font.nameDone = true;
            else if (!font.nameDone)
                font.name.append(c);
            return;
        }
        case Destination::ColorTable:
            if (c == u';') {
                doc_.colors.append(red_ < 0 && green_ < 0 && blue_ < 0
                                       ? QString()
                                       : QStringLiteral("#%1%2%3")
                                             .arg(std::max(red_, 0), 2, 16, QChar(u'0'))
                                             .arg(std::max(green_, 0), 2, 16, QChar(u'0'))
                                             .arg(std::max(blue_, 0), 2, 16, QChar(u'0')));
                red_ = green_ = blue_ = -1;
            }
            return;
        case Destination::Text:
            break;
        }
        if (state_.chr.hidden)
            return;
        if (open_.runs.isEmpty() || !(open_.runs.last().format == state_.chr))
            open_.runs.append(Run{state_.chr, {}});
        open_.format = state_.para;   // the mark's format wins when \par comes
        open_.runs.last().text.append(c);
    }

    void endParagraph()
    {
        open_.format = state_.para;
        open_.markFormat = state_.chr;
        open_.terminated = true;
        doc_.paragraphs.append(open_);
        open_ = Paragraph{};
    }

    const QByteArray& in_;
    qsizetype pos_ = 0;
    GroupState state_;
    std::vector<GroupState> stack_;
    int overflow_ = 0;          // groups opened beyond kMaxGroupDepth, skipped whole
    int fallbackLeft_ = 0;      // fallback characters of the last \uN still to skip
    int fontBeingDefined_ = 0;
    int red_ = -1, green_ = -1, blue_ = -1;
    Paragraph open_;
    Document doc_;
    QString error_;
};

QString escapeHtml(const QString& text)
{
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QLatin1String("&amp;"); break;
        case u'<': out += QLatin1String("&lt;"); break;
        case u'>': out += QLatin1String("&gt;"); break;
        case u'"': out += QLatin1String("&quot;"); break;
        case u'\u00A0': out += QLatin1String("&nbsp;"); break;
        case kLineBreak: out += QLatin1String("<br />"); break;
        default: out += c; break;
        }
    }
    return out;
}

QString cssFontFamily(const FontInfo& font)
{
    QString name = font.name.trimmed();
    name.remove(u'\'');
    name.remove(u'"');
    QStringList families;
    if (!name.isEmpty())
        families << QLatin1Char('\'') + name + QLatin1Char('\'');
    if (font.monospace)
        families << QStringLiteral("'monospace'");
    return families.join(QLatin1Char(','));
}

QString points(int halfPoints)
{
    return QString::number(halfPoints / 2.0) + QLatin1String("pt");
}

// Twips to the pixels of QTextDocument's CSS (15 twips per pixel at 96 dpi).
QString pixels(int twips)
{
    return QString::number(twips / 15.0) + QLatin1String("px");
}

QString spanStyle(const CharFormat& f, const Document& doc)
{
    QStringList css;
    if (f.bold) css << QStringLiteral("font-weight:700");
    if (f.italic) css << QStringLiteral("font-style:italic");
    if (f.underline && f.strike) css << QStringLiteral("text-decoration:underline line-through");
    else if (f.underline) css << QStringLiteral("text-decoration:underline");
    else if (f.strike) css << QStringLiteral("text-decoration:line-through");
    if (f.halfPoints != kDefaultHalfPoints) css << QLatin1String("font-size:") + points(f.halfPoints);
    if (f.font >= 0 && f.font != doc.defaultFont && doc.fonts.contains(f.font)) {
        const QString family = cssFontFamily(doc.fonts.value(f.font));
        if (!family.isEmpty())
            css << QLatin1String("font-family:") + family;
    }
    if (f.color > 0 && f.color < doc.colors.size() && !doc.colors[f.color].isEmpty())
        css << QLatin1String("color:") + doc.colors[f.color];
    if (f.vertical > 0) css << QStringLiteral("vertical-align:super");
    if (f.vertical < 0) css << QStringLiteral("vertical-align:sub");
    return css.join(QLatin1String("; "));
}

QString paragraphToHtml(const Paragraph& p, const Document& doc)
{
    const ParaFormat& f = p.format;
    QString html = QStringLiteral("<p");
    switch (f.align) {
    case Align::Left: break;
    case Align::Center: html += QLatin1String(" align=\"center\""); break;
    case Align::Right: html += QLatin1String(" align=\"right\""); break;
    case Align::Justify: html += QLatin1String(" align=\"justify\""); break;
    }
    const bool empty = std::all_of(p.runs.cbegin(), p.runs.cend(),
                                   [](const Run& r) { return r.text.isEmpty(); });
    // Qt gives <p> 12 px margins of its own; every margin is therefore written out.
    html += QStringLiteral(" style=\"%1margin-top:%2; margin-bottom:%3; margin-left:%4; "
                           "margin-right:%5; -qt-block-indent:0; text-indent:%6;\">")
                .arg(empty ? QStringLiteral("-qt-paragraph-type:empty; ") : QString(),
                     pixels(f.beforeTwips), pixels(f.afterTwips), pixels(f.leftTwips),
                     pixels(f.rightTwips), pixels(f.firstTwips));
    if (empty) {
        const QString style = spanStyle(p.markFormat, doc);
        html += style.isEmpty() ? QStringLiteral("<br />")
                                : QStringLiteral("<span style=\"%1\"><br /></span>").arg(style);
    } else {
        for (const Run& run : p.runs) {
            if (run.text.isEmpty())
                continue;
            const QString style = spanStyle(run.format, doc);
            if (style.isEmpty())
                html += escapeHtml(run.text);
            else
                html += QStringLiteral("<span style=\"%1\">%2</span>").arg(style, escapeHtml(run.text));
        }
    }
    html += QLatin1String("</p>\n");
    return html;
}

QString toHtml(const Document& doc)
{
    QString bodyFont;
    if (doc.fonts.contains(doc.defaultFont)) {
        const QString family = cssFontFamily(doc.fonts.value(doc.defaultFont));
        if (!family.isEmpty())
            bodyFont = QLatin1String("font-family:") + family + QLatin1String("; ");
    }
    QString html = QStringLiteral(
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\" "
        "\"http://www.w3.org/TR/REC-html40/strict.dtd\">\n"
        "<html><head><meta name=\"qrichtext\" content=\"1\" />"
        "<meta charset=\"utf-8\" />"
        "<style type=\"text/css\">p, li { white-space: pre-wrap; }</style></head>\n");
    html += QStringLiteral("<body style=\"%1font-size:%2;\">\n")
                .arg(bodyFont, points(kDefaultHalfPoints));
    for (const Paragraph& p : doc.paragraphs)
        html += paragraphToHtml(p, doc);
    html += QLatin1String("</body></html>\n");
    return html;
}

QString toPlainText(const Document& doc)
{
    QString out;
    for (const Paragraph& p : doc.paragraphs) {
        for (const Run& run : p.runs)
            out += run.text;
        if (p.terminated)
            out += QLatin1Char('\n');
    }
    out.replace(QChar(kLineBreak), QLatin1Char('\n'));
    return out;
}

} // namespace

bool isRtfDocument(const QByteArray& data)
{
    return RtfParser::startOffset(data) >= 0;
}

QString rtfToHtml(const QByteArray& rtf, QString* error)
{
    RtfParser parser(rtf);
    parser.parse();
    if (error)
        *error = parser.error();
    if (!isRtfDocument(rtf))
        return {};
    return toHtml(parser.document());
}

QString rtfToPlainText(const QByteArray& rtf, QString* error)
{
    RtfParser parser(rtf);
    parser.parse();
    if (error)
        *error = parser.error();
    return toPlainText(parser.document());
}

} // namespace tarvex
