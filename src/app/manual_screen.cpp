#include "app/manual_screen.h"
#include "common/text_file.h"
#include "station/screen_names.h"
#include "common/rtf_reader.h"

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
    auto* title = new QLabel(QStringLiteral("Tarvex 2005 Manual"), this);
    title->setObjectName(QStringLiteral("Label1"));
    QFont f = title->font();
    f.setPointSize(f.pointSize() + 4);
    f.setBold(true);
    title->setFont(f);
    RichTextBox1 = new QTextBrowser(this);
    RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    auto* done = new QPushButton(QStringLiteral("Done"), this);
    done->setObjectName(QStringLiteral("cmdDone"));
    done->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(done, &QPushButton::clicked, this, &ManualScreen::cmdDone_Click);
    layout->addWidget(title);
    layout->addWidget(RichTextBox1, 1);
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
    RichTextBox1->setHtml(html);
}

void ManualScreen::cmdDone_Click()
{
    station_.show(screen::MainForm, this);
}

} // namespace tarvex
