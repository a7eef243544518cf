#include "measure/results_window.h"
#include "measure/jump_record.h"

#include "support/station_fixture.h"

#include <QPushButton>
#include <QTextEdit>

using namespace tarvex;
using namespace tarvex::test;

namespace {

struct ResultsWindowTest : StationFixture {
    ResultsWindow* window = nullptr;

    QString results() const { return path("results.txt"); }

    ResultsWindow* open(const QString& configuredPath)
    {
        if (!station)
            makeStation();
        station->settings().ResultsFilePath = configuredPath;
        window = station->screenAs<ResultsWindow>("Results");
        window->open();
        return window;
    }
    QString shownText() { return child<QTextEdit>(window, "output_box")->toPlainText(); }
    void write(const QByteArray& bytes)
    {
        QFile f(results());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

} // namespace

TEST_F(ResultsWindowTest, ShowsTheWholeFileCaptionedWithItsPath)
{
    write("01-29-2005 14:05:10 Mandatory Reride - disregard last jump\r\n01-29-2005 14:06:00 \r\n");
    open(results());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), results());
    EXPECT_EQ(shownText(), "01-29-2005 14:05:10 Mandatory Reride - disregard last jump\n01-29-2005 14:06:00 \n");
    EXPECT_TRUE(prompter->shown().isEmpty());
    EXPECT_EQ(child<QPushButton>(window, "Exit_results")->text(), "E&xit");
}

TEST_F(ResultsWindowTest, LeadingBlanksOfTheConfiguredPathAreIgnored)
{
    write("line\r\n");
    open("   " + results());
    EXPECT_EQ(shownText(), "line\n");
    EXPECT_EQ(window->windowTitle(), "   " + results());
}

TEST_F(ResultsWindowTest, EveryOpeningReadsTheFileAfresh)
{
    write("first\r\n");
    open(results());
    open(results());
    EXPECT_EQ(shownText(), "first\n") << "opening twice shows the file once";

    ASSERT_EQ(appendToResultsFile(results(), {"after record"}), QString());
    open(results());
    EXPECT_TRUE(shownText().endsWith("first\nafter record\n"));
}

TEST_F(ResultsWindowTest, ExitHidesAndEmptiesButKeepsTheWindow)
{
    write("x\r\n");
    open(results());
    child<QPushButton>(window, "Exit_results")->click();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(shownText().isEmpty());
    EXPECT_EQ(station->existingScreen("Results"), window);

    // Closing the frame does the same and does not bring up the main screen.
    open(results());
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(shownText().isEmpty());
    EXPECT_FALSE(station->hasScreen("MainForm"));
}

TEST_F(ResultsWindowTest, MissingFileGivesAMessageAndAnEmptyWindow)
{
    write("old\r\n");
    open(results());
    open(path("nothing-yet.txt"));
    ASSERT_EQ(prompter->messages().size(), 1);
    EXPECT_TRUE(prompter->messages()[0].contains(QDir::toNativeSeparators(path("nothing-yet.txt"))));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(shownText().isEmpty());

    prompter->clear();
    open(QString());
    EXPECT_EQ(prompter->messages().size(), 1);
    EXPECT_TRUE(shownText().isEmpty());

    prompter->clear();
    open(tmp.path());   // a folder cannot be read as the file
    EXPECT_EQ(prompter->messages().size(), 1);
    EXPECT_TRUE(shownText().isEmpty());
}

TEST_F(ResultsWindowTest, EightBitNamesReadBack)
{
    write("01-29-2005 14:03:22 J\xF6rg  jump 1\r\n");
    open(results());
    EXPECT_EQ(shownText(), QString::fromUtf8("01-29-2005 14:03:22 Jörg  jump 1\n"));
}

TEST_F(ResultsWindowTest, ShowingTheHiddenWindowReadsTheFileToo)
{
    write("first\r\n");
    open(results());
    child<QPushButton>(window, "Exit_results")->click();
    ASSERT_EQ(appendToResultsFile(results(), {"second"}), QString());
    window->show();   // as a screen switch shows it
    EXPECT_EQ(shownText(), "first\nsecond\n");
}
