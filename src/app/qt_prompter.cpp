#include "app/qt_prompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace tarvex {

namespace {

QWidget* owner() { return QApplication::activeWindow(); }

QMessageBox::Icon qtIcon(Icon i)
{
    switch (i) {
    case Icon::Information: return QMessageBox::Information;
    case Icon::Exclamation: return QMessageBox::Warning;
    case Icon::Critical: return QMessageBox::Critical;
    case Icon::Question: return QMessageBox::Question;
    case Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

QString boxTitle(const QString& title)
{
    return title.isEmpty() ? QApplication::applicationDisplayName() : title;
}

std::optional<QString> fileDialog(const FileRequest& r, bool save)
{
    QFileDialog dlg(owner(), r.title);
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save || !r.mustExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!r.initialFolder.isEmpty())
        dlg.setDirectory(r.initialFolder);
    if (!r.initialName.isEmpty())
        dlg.selectFile(r.initialName);
    const QStringList filters = QtPrompter::qtFilters(r.filter);
    if (!filters.isEmpty()) {
        dlg.setNameFilters(filters);
        const int idx = std::clamp(r.filterIndex, 1, int(filters.size())) - 1;
        dlg.selectNameFilter(filters.at(idx));
    }
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return dlg.selectedFiles().first();
}

} // namespace

QStringList QtPrompter::qtFilters(const QString& pipeFilter)
{
    QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty())
            break;
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return out;
}

void QtPrompter::message(const QString& text, const QString& title, Icon icon)
{
    QMessageBox box(qtIcon(icon), boxTitle(title), text, QMessageBox::Ok, owner());
    box.exec();
}

bool QtPrompter::askYesNo(const QString& text, const QString& title, Icon icon, bool defaultNo)
{
    QMessageBox box(qtIcon(icon), boxTitle(title), text, QMessageBox::Yes | QMessageBox::No, owner());
    box.setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtPrompter::input(const QString& prompt, const QString& title,
                                         const QString& defaultText)
{
    bool ok = false;
    const QString t = QInputDialog::getText(owner(), boxTitle(title), prompt, QLineEdit::Normal,
                                            defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return t;
}

std::optional<QString> QtPrompter::openFile(const FileRequest& r) { return fileDialog(r, false); }
std::optional<QString> QtPrompter::saveFile(const FileRequest& r) { return fileDialog(r, true); }

std::optional<QString> QtPrompter::chooseFolder(const FileRequest& r)
{
    const QString chosen = QFileDialog::getExistingDirectory(owner(), boxTitle(r.title), r.initialFolder);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

} // namespace tarvex
