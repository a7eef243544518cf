#include "measure/results_window.h"
#include "station/screen_names.h"
#include "measure/jump_record.h"

#include "common/text_file.h"
#include "common/text_forms.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
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
    output_box = new QTextEdit(this);
    output_box->setObjectName(QStringLiteral("output_box"));
    output_box->setAcceptRichText(false);
    output_box->setLineWrapMode(QTextEdit::NoWrap);
    // The jump lines line up in columns only in a fixed-pitch font.
    output_box->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Exit_results = new QPushButton(QStringLiteral("E&xit"), this);
    Exit_results->setObjectName(QStringLiteral("Exit_results"));
    connect(Exit_results, &QPushButton::clicked, this, &ResultsWindow::Exit_results_Click);
    layout->addWidget(output_box, 1);
    layout->addWidget(Exit_results, 0, Qt::AlignRight);
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
    output_box->clear();
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
            output_box->setPlainText(decodeText(*bytes));
            output_box->moveCursor(QTextCursor::End);   // the newest records are the ones wanted
        }
    }
}

void ResultsWindow::Exit_results_Click()
{
    hide();
    output_box->clear();
}

void ResultsWindow::closeEvent(QCloseEvent* e)
{
    e->ignore();
    Exit_results_Click();
}

} // namespace tarvex
