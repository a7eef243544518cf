#include "measure/skier_picker.h"

#include "support/station_fixture.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace tarvex;
using namespace tarvex::test;

namespace {

struct SelectSkierTest : StationFixture {
    void SetUp() override
    {
        StationFixture::SetUp();
        makeStation();
    }
    void names(const QByteArray& bytes)
    {
        QFile f(station->programFile("SkierNames.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QStringList entries(QListWidget* l)
    {
        QStringList out;
        for (int i = 0; i < l->count(); ++i)
            out << l->item(i)->text();
        return out;
    }
};

} // namespace

TEST(SkierListEntries, CommasShownAsBlanksEmptyLinesSkipped)
{
    EXPECT_EQ(skierListEntries("Lee,Ann,USA\r\n\r\nAnn Lee\r\n  \r\nBo, Ek\n"),
              QStringList({"Lee Ann USA", "Ann Lee", "Bo  Ek"}));
    EXPECT_EQ(skierListEntries("Last line without end"), QStringList({"Last line without end"}));
    EXPECT_TRUE(skierListEntries("").isEmpty());
    EXPECT_TRUE(skierListEntries(",\r\n , ,\r\n").isEmpty());   // commas alone name nobody
}

TEST_F(SelectSkierTest, ListsTheProgramFoldersNamesWithItsCaptions)
{
    names("Lee,Ann,USA\r\nKim Bo\r\n");
    SkierPicker w(*station);
    EXPECT_EQ(w.windowTitle(), "Select A Skier");
    EXPECT_EQ(entries(child<QListWidget>(&w, "lstSkiers")), QStringList({"Lee Ann USA", "Kim Bo"}));
    EXPECT_EQ(child<QPushButton>(&w, "cmdNoSelect")->text(), "No Selection");
    EXPECT_NE(w.findChild<QLabel*>()->text().indexOf("Double Click on Skier Name to select it"), -1);
    EXPECT_FALSE(w.chosen());
}

TEST_F(SelectSkierTest, ALatinOneLastNameWithoutALineEndKeepsItsLastLetter)
{
    names(QByteArray("Ann Lee\r\nJos\xE9"));
    SkierPicker w(*station);
    EXPECT_EQ(entries(child<QListWidget>(&w, "lstSkiers")), QStringList({"Ann Lee", QString::fromUtf8("Jos\xC3\xA9")}));
}

TEST_F(SelectSkierTest, DoubleClickChoosesAndClosesNoSelectionChoosesNothing)
{
    names("Lee,Ann,USA\r\nKim Bo\r\n");
    SkierPicker w(*station);
    w.show();
    QListWidget* list = child<QListWidget>(&w, "lstSkiers");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QRect r = list->visualItemRect(list->item(1));
    // A double-click is a click followed by the double-click event, as the mouse sends it.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(w.chosen(), "Kim Bo");
    EXPECT_EQ(w.result(), QDialog::Accepted);
    EXPECT_FALSE(w.isVisible());

    SkierPicker again(*station);
    again.show();
    child<QPushButton>(&again, "cmdNoSelect")->click();
    EXPECT_FALSE(again.chosen());
    EXPECT_EQ(again.result(), QDialog::Rejected);
    EXPECT_FALSE(again.isVisible());
}

TEST_F(SelectSkierTest, ChooseRunsAFreshWindowEachTime)
{
    names("Lee,Ann,USA\r\n");
    const auto pickFirst = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<SkierPicker*>(w); d && d->isVisible())
                d->chooseName(d->list()->item(0));
    };
    QTimer::singleShot(0, pickFirst);
    EXPECT_EQ(SkierPicker::choose(*station), "Lee Ann USA");

    names("Kim Bo\r\n");   // a later opening sees the changed file
    QTimer::singleShot(0, pickFirst);
    EXPECT_EQ(SkierPicker::choose(*station), "Kim Bo");

    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<SkierPicker*>(w); d && d->isVisible())
                d->chooseNone();
    });
    EXPECT_FALSE(SkierPicker::choose(*station));
}

TEST_F(SelectSkierTest, MissingListGivesAMessageAndAnEmptyWindow)
{
    SkierPicker w(*station);
    EXPECT_EQ(child<QListWidget>(&w, "lstSkiers")->count(), 0);
    ASSERT_EQ(prompter->messages().size(), 1);
    EXPECT_TRUE(prompter->messages()[0].contains("SkierNames.txt"));
}
