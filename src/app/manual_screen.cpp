#include "app/manual_screen.h"
#include "common/text_file.h"
#include "station/screen_names.h"
#include "common/rtf_reader.h"
#include "widgets/controls.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace tarvex {

ManualScreen::ManualScreen(Station& station) : Screen(station)
{
    setWindowTitle(QStringLiteral("Tarvex 2005 Manual"));
    auto* layout = new QVBoxLayout(this);
    QLabel* title = makeLabel(this, "Label1", QStringLiteral("Tarvex 2005 Manual"));
    QFont f = title->font();
    f.setPointSize(f.pointSize() + 4);
    f.setBold(true);
    title->setFont(f);
    viewer_ = named(new QTextBrowser(this), "RichTextBox1");
    QPushButton* done = makeButton(this, "cmdDone", QStringLiteral("Done"), this, &ManualScreen::returnToMain);
    done->setShortcut(QKeySequence(Qt::Key_Escape));
    layout->addWidget(title);
    layout->addWidget(viewer_, 1);
    layout->addWidget(done, 0, Qt::AlignRight);
    resize(900, 700);
}

void ManualScreen::load()
{
    const QString local = station_.programFile(QStringLiteral("TX05Manual.rtf"));
    const QString source = QFile::exists(local) ? local : QStringLiteral(":/TX05Manual.rtf");
    QString why;
    const std::optional<QByteArray> bytes = readFileBytes(source, readLimit::nameFile, &why);
    if (!bytes) {
        station_.prompter().message(
            QStringLiteral("The manual %1 cannot be opened: %2").arg(QDir::toNativeSeparators(source), why),
            QStringLiteral("Tarvex 2005 Manual"), Icon::Exclamation);
        return;
    }
    QString error;
    const QString html = rtfToHtml(*bytes, &error);
    if (!error.isEmpty()) {
        station_.prompter().message(
            QStringLiteral("The manual %1 is not a readable rich-text document: %2").arg(QDir::toNativeSeparators(source), error),
            QStringLiteral("Tarvex 2005 Manual"), Icon::Exclamation);
        return;
    }
    viewer_->setHtml(html);
}

void ManualScreen::returnToMain()
{
    station_.show(screen::MainForm, this);
}

} // namespace tarvex
