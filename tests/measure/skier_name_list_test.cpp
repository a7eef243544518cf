#include "measure/skier_name_list.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

TEST(SkierNameList, FieldsAreNamesAndQuotesKeepCommas)
{
    EXPECT_EQ(parseSkierNames("Lee, Ann\r\n\"Smith, Bob\" , Ray\n\r\n  Cy  \n"),
              (QStringList{"Lee", "Ann", "Smith, Bob", "Ray", "Cy"}));
    EXPECT_EQ(parseSkierNames("\xEF\xBB\xBFJos\xC3\xA9\r\n"), QStringList{QString::fromUtf8("José")});
    EXPECT_EQ(parseSkierNames("Jos\xE9"), QStringList{QString::fromUtf8("José")});   // Latin-1 file
    EXPECT_TRUE(parseSkierNames("\r\n,\r\n").isEmpty());
}

} // namespace
} // namespace tarvex

namespace tarvex {
namespace {

TEST(SkierNameList, TheSelectionListAndTxskierReadFromBytes)
{
    EXPECT_EQ(skierListFromBytes("Lee,Ann\r\n \r\nJos\xE9"), (QStringList{"Lee Ann", QString::fromUtf8("Jos\xC3\xA9")}));
    EXPECT_EQ(wstimsNameFromBytes("\"Lee, Ann\",USA\r\nBo\r\n"), QString("Lee, Ann"));
    EXPECT_EQ(wstimsNameFromBytes("  Bo  "), QString("Bo"));
    EXPECT_EQ(wstimsNameFromBytes(",Bo\r\n"), std::nullopt);
    EXPECT_EQ(wstimsNameFromBytes(""), std::nullopt);
}

} // namespace
} // namespace tarvex
