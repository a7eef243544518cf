#include "measure/results_window.h"
#include "station/screen_names.h"
#include "measure/jump_record.h"

#include "common/text_file.h"
#include "common/text_forms.h"
#include "widgets/controls.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPushButton>
#include <QShowEvent>
#include <QTextEdit>
#include <QVBoxLayout>

namespace tarvex {

ResultsWindow::ResultsWindow(Station& station) : Screen(station)
{
    setObjectName(screen::Results);
    auto* layout = new QVBoxLayout(this);
    outputBox_ = named(new QTextEdit(this), "output_box");
    outputBox_->setAcceptRichText(false);
    outputBox_->setLineWrapMode(QTextEdit::NoWrap);
    // The jump lines line up in columns only in a fixed-pitch font.
    outputBox_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(outputBox_, 1);
    layout->addWidget(makeButton(this, "Exit_results", QStringLiteral("E&xit"), this, &ResultsWindow::closeWindow), 0,
                      Qt::AlignRight);
    resize(900, 500);
}

void ResultsWindow::open()
{
    if (isVisible())
        fill();
    else
        show();   // showEvent fills
    raise();
    activateWindow();
}

void ResultsWindow::showEvent(QShowEvent* e)
{
    Screen::showEvent(e);
    // A window restored by the window system keeps its text; every opening by the station
    // reads the file again.
    if (!e->spontaneous())
        fill();
}

void ResultsWindow::fill()
{
    outputBox_->clear();
    const QString configured = station_.settings().ResultsFilePath;
    const QString path = resultsFileLocation(configured);
    setWindowTitle(configured);

    const QString title = QString::fromLatin1(kResultsFileTitle);
    if (path.isEmpty()) {
        station_.prompter().message(
            QStringLiteral("No results file is chosen yet: choose one on the configuration screen."), title,
            Icon::Information);
    } else if (!QFileInfo::exists(path)) {
        station_.prompter().message(
            QStringLiteral("The results file %1 does not exist yet: nothing has been recorded to it.")
                .arg(QDir::toNativeSeparators(path)),
            title, Icon::Information);
    } else {
        QString why;
        const std::optional<QByteArray> bytes = readFileBytes(path, readLimit::logFile, &why);
        if (!bytes) {
            station_.prompter().message(QStringLiteral("The results file %1 cannot be read: %2")
                                            .arg(QDir::toNativeSeparators(path), why),
                                        title, Icon::Exclamation);
        } else {
            outputBox_->setPlainText(decodeText(*bytes));
            outputBox_->moveCursor(QTextCursor::End);   // the newest records are the ones wanted
        }
    }
}

void ResultsWindow::closeWindow()
{
    hide();
    outputBox_->clear();
}

void ResultsWindow::closeEvent(QCloseEvent* e)
{
    e->ignore();
    closeWindow();
}

} // namespace tarvex
