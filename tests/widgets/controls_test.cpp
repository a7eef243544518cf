#include "widgets/controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace tarvex;

namespace {

struct Counter : QObject {
    int clicks = 0;
    void count() { ++clicks; }
};

TEST(ControlsTest, EveryControlCarriesItsNameCaptionAndParent)
{
    QWidget parent;
    QPushButton* b = makeButton(&parent, "Record", QStringLiteral("Record &Jump"));
    QToolButton* t = makeToolButton(&parent, "zoomFitButton", QStringLiteral("Fit"));
    QLabel* l = makeLabel(&parent, "Label3", QStringLiteral("Browse for File to View ->"));
    QLineEdit* e = makeLineEdit(&parent, "jump_x", QStringLiteral("jump x"));
    QLineEdit* empty = makeLineEdit(&parent, "Text6");
    EXPECT_EQ(b->objectName(), "Record");
    EXPECT_EQ(b->text(), "Record &Jump");
    EXPECT_EQ(t->objectName(), "zoomFitButton");
    EXPECT_EQ(t->text(), "Fit");
    EXPECT_EQ(l->objectName(), "Label3");
    EXPECT_EQ(l->text(), "Browse for File to View ->");
    EXPECT_EQ(e->objectName(), "jump_x");
    EXPECT_EQ(e->text(), "jump x");
    EXPECT_EQ(empty->text(), "");
    EXPECT_EQ(parent.findChildren<QWidget*>().size(), 5);
}

TEST(ControlsTest, AButtonWithASlotCallsItOncePerClick)
{
    QWidget parent;
    Counter counter;
    QPushButton* b = makeButton(&parent, "formexit", QStringLiteral("E&xit"), &counter, &Counter::count);
    b->click();
    b->click();
    EXPECT_EQ(counter.clicks, 2);
    EXPECT_EQ(b->objectName(), "formexit");
}

} // namespace
