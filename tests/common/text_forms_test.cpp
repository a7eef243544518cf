#include "common/list_text.h"
#include "common/text_forms.h"

#include <gtest/gtest.h>
#include <cmath>

using namespace tarvex;

// The text forms are rules from a number to a text and back: each rule is one table of
// input -> output cases, so a failure names the case and a new case is one line.
struct NumberCase {
    double value;
    const char* text;
};

class PaddedNumberForm : public ::testing::TestWithParam<NumberCase> {};

TEST_P(PaddedNumberForm, WritesTheListStyleText)
{
    EXPECT_EQ(paddedNumber(GetParam().value), GetParam().text) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(SignBlankNoLeadingZeroNoTrailingZeros, PaddedNumberForm,
                         ::testing::Values(NumberCase{45.2, " 45.2"}, NumberCase{-3.5, "-3.5"},
                                           NumberCase{0.5, " .5"}, NumberCase{-0.25, "-.25"},
                                           NumberCase{0, " 0"}, NumberCase{-0.0, " 0"},
                                           NumberCase{3525, " 3525"}, NumberCase{10, " 10"},
                                           NumberCase{1.5e14, " 150000000000000"},
                                           NumberCase{0.0001, " .0001"}));

INSTANTIATE_TEST_SUITE_P(FifteenSignificantDigitsAndExponentForm, PaddedNumberForm,
                         ::testing::Values(NumberCase{1.0 / 3.0, " .333333333333333"},
                                           NumberCase{2.0 / 3.0, " .666666666666667"},
                                           NumberCase{1.23456789012345e-5, " 1.23456789012345E-05"},
                                           NumberCase{-1.23456789012345e-5, "-1.23456789012345E-05"},
                                           NumberCase{1e15, " 1E+15"}, NumberCase{2.5e-7, " 2.5E-07"},
                                           NumberCase{1.5e100, " 1.5E+100"},
                                           // Rounding to 15 digits can carry into the exponent boundary.
                                           NumberCase{999999999999999.9, " 1E+15"}));

TEST(PaddedNumber, ReadsBackToFifteenDigits)
{
    for (double v : {12.3456789012345, -0.000123456789012345, 98765.4321, 1e-9, 6.02e23}) {
        const double back = paddedNumber(v).toDouble();
        EXPECT_NEAR(back, v, std::abs(v) * 1e-14) << paddedNumber(v).toStdString();
    }
}

struct TextCase {
    const char* text;
    double value;
};

class LeadingNumberRule : public ::testing::TestWithParam<TextCase> {};

TEST_P(LeadingNumberRule, TakesTheLongestLeadingNumber)
{
    EXPECT_EQ(leadingNumber(QString::fromLatin1(GetParam().text)), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, LeadingNumberRule,
                         ::testing::Values(TextCase{"  12.5abc", 12.5}, TextCase{"-3.75", -3.75},
                                           TextCase{".5", 0.5}, TextCase{"1E3x", 1000}, TextCase{"12E", 12},
                                           TextCase{"auto", 0}, TextCase{"", 0}, TextCase{"-", 0},
                                           TextCase{"11.025 Khz", 11.025},
                                           // overflow is not a number to work with
                                           TextCase{"1e999", 0}));

struct RoundToCase {
    double value;
    int decimals;
    double rounded;
};

class RoundToRule : public ::testing::TestWithParam<RoundToCase> {};

TEST_P(RoundToRule, DecimalsRoundHalfUp)
{
    EXPECT_DOUBLE_EQ(roundTo(GetParam().value, GetParam().decimals), GetParam().rounded)
        << GetParam().value << " to " << GetParam().decimals;
}

INSTANTIATE_TEST_SUITE_P(Decimals, RoundToRule,
                         ::testing::Values(RoundToCase{45.25, 1, 45.3}, RoundToCase{-45.25, 1, -45.2},
                                           RoundToCase{12.344, 2, 12.34}, RoundToCase{7.5, 0, 8}));

struct WholeCase {
    double value;
    long long whole;
};

class RoundHalfEvenRule : public ::testing::TestWithParam<WholeCase> {};

TEST_P(RoundHalfEvenRule, WholeNumbersRoundHalfToEven)
{
    EXPECT_EQ(roundHalfEven(GetParam().value), GetParam().whole) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Halves, RoundHalfEvenRule,
                         ::testing::Values(WholeCase{2.5, 2}, WholeCase{3.5, 4}, WholeCase{-2.5, -2},
                                           WholeCase{-3.5, -4}, WholeCase{2.4999, 2}, WholeCase{2.5001, 3}));

INSTANTIATE_TEST_SUITE_P(SaturatesBeyondTheRangeOfAWholeNumber, RoundHalfEvenRule,
                         ::testing::Values(WholeCase{1e19, 9223372036854775807LL},
                                           WholeCase{-1e300, -9223372036854775807LL - 1},
                                           WholeCase{std::nan(""), 0}));

TEST(DateTexts, FixedFormsAndDailyNames)
{
    const QDateTime t(QDate(2026, 12, 6), QTime(9, 5, 7));
    EXPECT_EQ(dateText(t), "12-06-2026");
    EXPECT_EQ(timeText(t), "09:05:07");
    EXPECT_EQ(dailyNamePart(t), "120626");
    EXPECT_EQ(dailyNamePart(QDateTime(QDate(2005, 1, 29), QTime(23, 59, 59))), "012905");
}

TEST(ListWriter, PrintZonesAndNumbers)
{
    ListWriter w;
    w.text("12-06-2026").zone().text("09:05:07").zone().text("Tarvex").endLine();
    EXPECT_EQ(w.str(), "12-06-2026    09:05:07      Tarvex\r\n");

    ListWriter z;
    z.text("a").zone().text("b").zone().text("c").zone().text("d");
    EXPECT_EQ(z.str().indexOf('b'), 14);
    EXPECT_EQ(z.str().indexOf('c'), 28);
    EXPECT_EQ(z.str().indexOf('d'), 42);

    // An item that fills or overruns its zone pushes the next one to the zone after.
    ListWriter full;
    full.text("12345678901234").zone().text("x");
    EXPECT_EQ(full.str().indexOf('x'), 28);

    ListWriter n;
    n.number(3525).text(",").number(6420).text(",").number(12.5).text(",").number(-3.75).endLine();
    EXPECT_EQ(n.str(), " 3525 , 6420 , 12.5 ,-3.75 \r\n");
}

TEST(ListWriter, LineBuiltBySeveralWritesKeepsItsColumn)
{
    ListWriter w;
    w.text("abc");
    w.text("de");
    EXPECT_EQ(w.column(), 5);
    w.zone().text("x").endLine().text("y");
    EXPECT_EQ(w.str(), "abcde         x\r\ny");
    EXPECT_EQ(w.column(), 1);
}

TEST(FieldReader, CommasLineEndsBlanksAndQuotes)
{
    FieldReader r("Initialization Points for file: /a/b.ipt\r\n\r\n 3525 , 6420 ,\r\n 12.5 ,\r\n\r\n-3.75 \r\n\"Lee, Ann\" , 7\r\n");
    EXPECT_EQ(r.nextText(), "Initialization Points for file: /a/b.ipt");
    EXPECT_EQ(r.nextText(), "");   // an empty line is an empty text
    EXPECT_EQ(r.nextNumber(), 3525);
    EXPECT_EQ(r.nextNumber(), 6420);
    EXPECT_EQ(r.nextNumber(), 12.5);
    EXPECT_EQ(r.nextNumber(), -3.75);
    EXPECT_EQ(r.nextText(), "Lee, Ann");
    EXPECT_EQ(r.nextNumber(), 7);
    EXPECT_TRUE(r.atEnd());
    EXPECT_EQ(r.nextNumber(), std::nullopt);
}

TEST(FieldReader, NonNumbersAreRefused)
{
    FieldReader r("abc, 1.5.2 , \"7\", 1E-05");
    EXPECT_EQ(r.nextNumber(), std::nullopt);
    EXPECT_EQ(r.nextNumber(), std::nullopt);
    EXPECT_EQ(r.nextNumber(), std::nullopt);   // a quoted field is text
    EXPECT_DOUBLE_EQ(*r.nextNumber(), 1e-5);
}

TEST(FieldReader, QuotedTextRoundTrips)
{
    for (QString s : {QString("plain"), QString("Lake, north camera"), QString("say \"hi\", then")}) {
        FieldReader r(quotedIfNeeded(s) + "\r\n 1 \r\n");
        EXPECT_EQ(r.nextText(), s);
        EXPECT_EQ(r.nextNumber(), 1);
    }
    EXPECT_EQ(quotedIfNeeded("no comma"), "no comma");
}
