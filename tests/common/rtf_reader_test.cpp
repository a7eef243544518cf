#include "common/rtf_reader.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include <gtest/gtest.h>

namespace tarvex {
namespace {

QString plain(const QByteArray& rtf, QString* error = nullptr) { return rtfToPlainText(rtf, error); }

// The character format at the first occurrence of `word` in the HTML rendered by Qt.
QTextCharFormat formatOf(const QByteArray& rtf, const QString& word)
{
    QTextDocument doc;
    doc.setHtml(rtfToHtml(rtf));
    QTextCursor found = doc.find(word);
    if (found.isNull())
        return {};
    QTextCursor at(&doc);
    at.setPosition(found.selectionStart() + 1);
    return at.charFormat();
}


TEST(RtfEscapes, HexEscapeIsCodePage1252)
{
    EXPECT_EQ(plain(R"({\rtf1\ansi caf\'e9 \'80 \'93q\'94})"), QStringLiteral(u"café € “q”"));
}

TEST(RtfEscapes, UnicodeSkipsOneFallbackCharacterByDefault)
{
    EXPECT_EQ(plain(R"({\rtf1 \u8364? 5})"), QStringLiteral(u"€ 5"));
}

TEST(RtfEscapes, UnicodeSkipCountFollowsUc)
{
    EXPECT_EQ(plain(R"({\rtf1\uc2 \u8364EU x\uc0\u233 y})"), QStringLiteral(u"€ xéy"));
    EXPECT_EQ(plain(R"({\rtf1\uc1 \u8364\'80 z})"), QStringLiteral(u"€ z"));
}

TEST(RtfEscapes, UcIsRestoredWhenItsGroupEnds)
{
    EXPECT_EQ(plain(R"({\rtf1 {\uc2 \u233xx}\u233x})"), QStringLiteral(u"éé"));
}

TEST(RtfEscapes, NegativeUnicodeCountsFrom65536)
{
    EXPECT_EQ(plain(R"({\rtf1 \u-3971?})"), QString(QChar(char16_t(65536 - 3971))));
}

TEST(RtfEscapes, SurrogatePairFromTwoUnicodeWords)
{
    EXPECT_EQ(plain(R"({\rtf1 \u-10179?\u-8704?})"), QString::fromUcs4(U"\U0001F600"));
}

TEST(RtfEscapes, ControlSymbols)
{
    EXPECT_EQ(plain(R"({\rtf1 a\\b\{c\}d\~e\-f\_g})"), QStringLiteral(u"a\\b{c}d\u00A0ef\u2011g"));
}

TEST(RtfEscapes, SpaceAfterAControlWordIsItsDelimiter)
{
    EXPECT_EQ(plain(R"({\rtf1\b bold\b0  two})"), QStringLiteral("bold two"));
}

TEST(RtfEscapes, NamedCharacterWords)
{
    EXPECT_EQ(plain(R"({\rtf1\bullet\endash\emdash\lquote\rquote\ldblquote\rdblquote})"),
              QStringLiteral(u"•–—‘’“”"));
}

TEST(RtfStructure, ParLineAndTab)
{
    EXPECT_EQ(plain("{\\rtf1 one\\par two\\line three\\tab four\\par}"),
              QStringLiteral("one\ntwo\nthree\tfour\n"));
}

TEST(RtfStructure, TextAfterTheLastParagraphMarkHasNoLineEnd)
{
    EXPECT_EQ(plain("{\\rtf1 Ann Lee\\par Bob Smith}"), QStringLiteral("Ann Lee\nBob Smith"));
}

TEST(RtfStructure, LineBreaksInTheSourceAreNotText)
{
    EXPECT_EQ(plain("{\\rtf1 Ann\r\n Lee\\par\r\nBob\\\r\nSmith}"), QStringLiteral("Ann Lee\nBob\nSmith"));
}

TEST(RtfStructure, NestedGroupsRestoreFormatting)
{
    const QByteArray rtf = R"({\rtf1 plain {\b bold {\i both} boldagain} after})";
    EXPECT_EQ(plain(rtf), QStringLiteral("plain bold both boldagain after"));
    EXPECT_FALSE(formatOf(rtf, "plain").font().bold());
    EXPECT_TRUE(formatOf(rtf, "bold").font().bold());
    EXPECT_FALSE(formatOf(rtf, "bold").font().italic());
    EXPECT_TRUE(formatOf(rtf, "both").font().bold());
    EXPECT_TRUE(formatOf(rtf, "both").font().italic());
    EXPECT_TRUE(formatOf(rtf, "boldagain").font().bold());
    EXPECT_FALSE(formatOf(rtf, "boldagain").font().italic());
    EXPECT_FALSE(formatOf(rtf, "after").font().bold());
}

TEST(RtfFormatting, BoldItalicUnderlineOnAndOff)
{
    const QByteArray rtf = R"({\rtf1\b B\b0 n\i I\i0 n\ul U\ulnone n\ul V\ul0 w})";
    EXPECT_TRUE(formatOf(rtf, "B").font().bold());
    EXPECT_TRUE(formatOf(rtf, "I").font().italic());
    EXPECT_TRUE(formatOf(rtf, "U").font().underline());
    EXPECT_TRUE(formatOf(rtf, "V").font().underline());
    EXPECT_FALSE(formatOf(rtf, "w").font().underline());
    EXPECT_FALSE(formatOf(rtf, "w").font().bold());
    EXPECT_FALSE(formatOf(rtf, "w").font().italic());
}

TEST(RtfFormatting, FontSizeIsInHalfPoints)
{
    const QByteArray rtf = R"({\rtf1\fs32 big\fs19 small\plain normal})";
    EXPECT_DOUBLE_EQ(formatOf(rtf, "big").font().pointSizeF(), 16.0);
    EXPECT_DOUBLE_EQ(formatOf(rtf, "small").font().pointSizeF(), 9.5);
    EXPECT_DOUBLE_EQ(formatOf(rtf, "normal").font().pointSizeF(), 12.0);
}

TEST(RtfFormatting, ColourComesFromTheColourTable)
{
    const QByteArray rtf = R"({\rtf1{\colortbl;\red0\green51\blue153;\red200\green0\blue0;}\cf2 red\cf0 auto})";
    EXPECT_EQ(formatOf(rtf, "red").foreground().color(), QColor(200, 0, 0));
    EXPECT_FALSE(formatOf(rtf, "auto").hasProperty(QTextFormat::ForegroundBrush));
}

TEST(RtfFormatting, ParagraphAlignmentAndReset)
{
    QTextDocument doc;
    doc.setHtml(rtfToHtml(R"({\rtf1\qc centred\par\pard left\par})"));
    ASSERT_GE(doc.blockCount(), 2);
    EXPECT_EQ(doc.findBlockByNumber(0).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(doc.findBlockByNumber(1).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
}

TEST(RtfFormatting, HtmlKeepsTextQtCanReadBack)
{
    const QByteArray rtf = "{\\rtf1 a  <b> & \"c\"\\par\\par x\\line y\\tab z\\par}";
    QTextDocument doc;
    doc.setHtml(rtfToHtml(rtf));
    // Double blanks, markup characters and quotes come back as text.
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("a  <b> & \"c\"\n\nx\ny\tz"));
}

TEST(RtfDestinations, TablesAndInfoAreNotText)
{
    const QByteArray rtf = R"({\rtf1\ansi\deff0{\fonttbl{\f0\fswiss Arial;}{\f1\fmodern Courier New;}})"
                           R"({\colortbl;\red255\green0\blue0;}{\stylesheet{\s0 Normal;}})"
                           R"({\info{\title Secret}{\author Someone}}{\*\generator Riched20 10.0;})"
                           R"(\f0 visible})";
    QString error;
    EXPECT_EQ(plain(rtf, &error), QStringLiteral("visible"));
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
}

TEST(RtfDestinations, StarredDestinationsAreSkippedWhateverTheirName)
{
    EXPECT_EQ(plain(R"({\rtf1 a{\*\unknowndestination hidden {nested}}b})"), QStringLiteral("ab"));
}

TEST(RtfDestinations, PicturesObjectsHeadersAndFootersAreSkipped)
{
    const QByteArray rtf = R"({\rtf1 {\header head}{\footer foot}{\pict\pngblip 89504e47}a)"
                           R"({\object{\*\objdata 0102}{\result res}}b{\footnote note}c})";
    EXPECT_EQ(plain(rtf), QStringLiteral("abc"));
}

TEST(RtfDestinations, FieldShowsItsResultNotItsInstruction)
{
    EXPECT_EQ(plain(R"({\rtf1 see {\field{\*\fldinst HYPERLINK "x"}{\fldrslt the site}} now})"),
              QStringLiteral("see the site now"));
}

TEST(RtfDestinations, BinaryDataIsSkippedByCount)
{
    QByteArray rtf = "{\\rtf1 a{\\pict\\bin6 ";
    rtf += QByteArray("}{\\\0x", 6);
    rtf += "}b}";
    QString error;
    EXPECT_EQ(plain(rtf, &error), QStringLiteral("ab"));
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
}

TEST(RtfDestinations, HiddenTextIsNotShown)
{
    EXPECT_EQ(plain(R"({\rtf1 a\v secret\v0 b})"), QStringLiteral("ab"));
}

TEST(RtfDamage, TruncatedDocumentGivesWhatWasReadAndAnError)
{
    QString error;
    EXPECT_EQ(plain("{\\rtf1 first\\par {\\b second", &error), QStringLiteral("first\nsecond"));
    EXPECT_FALSE(error.isEmpty());
    QString htmlError;
    const QString html = rtfToHtml("{\\rtf1 first\\par {\\b second", &htmlError);
    EXPECT_FALSE(htmlError.isEmpty());
    EXPECT_TRUE(html.contains(QLatin1String("second")));
}

TEST(RtfDamage, TruncatedInsideAnEscapeOrBinaryDoesNotCrash)
{
    for (const QByteArray& rtf : {QByteArray("{\\rtf1 x\\'e"), QByteArray("{\\rtf1 x\\"),
                                  QByteArray("{\\rtf1 x\\bin999999 abc"), QByteArray("{\\rtf1 x\\u"),
                                  QByteArray("{\\rtf1 x\\fs99999999999999999999 y")}) {
        QString error;
        const QString text = plain(rtf, &error);
        EXPECT_TRUE(text.startsWith(QLatin1Char('x'))) << rtf.toStdString();
        EXPECT_FALSE(error.isEmpty()) << rtf.toStdString();
    }
}

TEST(RtfDamage, TextAfterTheClosingBraceIsReported)
{
    QString error;
    EXPECT_EQ(plain("{\\rtf1 a}}b", &error), QStringLiteral("a"));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(plain("{\\rtf1 a}\r\n\0", &error), QStringLiteral("a"));
    EXPECT_TRUE(error.isEmpty());
}

TEST(RtfDamage, DeepNestingIsCappedNotFollowed)
{
    const int depth = 100000;
    QByteArray rtf = "{\\rtf1 top";
    rtf += QByteArray(depth, '{') + "deep" + QByteArray(depth, '}');
    rtf += " end}";
    QString error;
    const QString text = plain(rtf, &error);
    EXPECT_TRUE(text.startsWith(QLatin1String("top")));
    EXPECT_TRUE(text.endsWith(QLatin1String(" end")));
    EXPECT_FALSE(error.isEmpty());
}

TEST(RtfDamage, NonRtfInputIsAnError)
{
    QString error;
    EXPECT_FALSE(isRtfDocument("Ann Lee,USA\r\nBob Smith\r\n"));
    EXPECT_TRUE(plain("Ann Lee,USA\r\nBob Smith\r\n", &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_TRUE(rtfToHtml("{\\rtx1 nearly}", &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(isRtfDocument({}));
    EXPECT_TRUE(isRtfDocument("\xEF\xBB\xBF\r\n{\\rtf1 x}"));
}

} // namespace
} // namespace tarvex
