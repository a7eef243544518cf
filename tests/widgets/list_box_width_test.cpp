#include "widgets/list_box_width.h"

#include <QFontInfo>
#include <QListWidget>
#include <gtest/gtest.h>

using namespace tarvex;

TEST(FitListBoxWidth, MeasuresTheLongestEntryWithABlank)
{
    // A fixed-pitch font of a known size makes the width a number: DejaVu Sans Mono is
    // 0.602 em wide, 12 pixels a character at 20 pixels.
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setPixelSize(20);
    if (QFontInfo(mono).family() != QLatin1String("DejaVu Sans Mono"))
        GTEST_SKIP() << "DejaVu Sans Mono is not installed";
    QWidget parent;
    parent.setFont(mono);
    auto* list = new QListWidget(&parent);
    list->addItems({"ab", "abcdef", "uvwxyz", "a"});
    const int w = FitListBoxWidth(list);
    EXPECT_EQ(w, 84);   // "abcdef" and the blank: 7 characters
    EXPECT_EQ(list->property("horizontalExtent").toInt(), 84);
    EXPECT_EQ(list->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    EXPECT_EQ(FitListBoxWidth(nullptr), 0);
}
