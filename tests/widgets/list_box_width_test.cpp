#include "widgets/list_box_width.h"

#include <QFontMetrics>
#include <QListWidget>
#include <gtest/gtest.h>

using namespace tarvex;

TEST(FitListBoxWidth, MeasuresTheLongestEntryWithABlank)
{
    QWidget parent;
    auto* list = new QListWidget(&parent);
    list->addItems({"ab", "abcdef", "uvwxyz", "a"});
    const int w = FitListBoxWidth(list);
    EXPECT_EQ(w, QFontMetrics(parent.font()).horizontalAdvance("abcdef "));
    EXPECT_EQ(list->property("horizontalExtent").toInt(), w);
    EXPECT_EQ(FitListBoxWidth(nullptr), 0);
}
