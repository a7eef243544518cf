#pragma once
#include "common/prompter.h"

class QWidget;

namespace tarvex {

// The real dialogs: message boxes, input boxes and file dialogs of Qt.
class QtPrompter : public Prompter {
public:
    void message(const QString& text, const QString& title, Icon icon) override;
    bool askYesNo(const QString& text, const QString& title, Icon icon, bool defaultNo) override;
    std::optional<QString> input(const QString& prompt, const QString& title,
                                 const QString& defaultText) override;
    std::optional<QString> openFile(const FileRequest&) override;
    std::optional<QString> saveFile(const FileRequest&) override;
    std::optional<QString> chooseFolder(const FileRequest&) override;

    // Qt's filter form ("BMP Files (*.bmp);;...") of a "description|pattern|" filter, and the
    // entry that a 1-based index selects.
    static QStringList qtFilters(const QString& pipeFilter);
};

} // namespace tarvex
