#pragma once
#include "common/prompter.h"
#include <QList>
#include <deque>

namespace tarvex {

// Answers prompts from a queue and records every prompt shown. A prompt that finds no
// fitting answer is counted in unexpected() and answered No / Cancel, so no test hangs.
class ScriptedPrompter : public Prompter {
public:
    struct Shown {
        QString kind;   // "message", "yesno", "input", "open", "save", "folder"
        QString title;
        QString text;   // input boxes record their prompt; file dialogs their title
        Icon icon = Icon::None;
        FileRequest request;   // file dialogs only
        QString defaultText;   // input boxes only
        bool defaultNo = false;
    };

    ScriptedPrompter& yes();
    ScriptedPrompter& no();
    ScriptedPrompter& answer(const QString& text);  // next input box
    ScriptedPrompter& cancel();                     // next input box or file dialog
    ScriptedPrompter& file(const QString& path);    // next file dialog

    const QList<Shown>& shown() const { return shown_; }
    QStringList texts() const;                      // text of every prompt, in order
    QStringList messages() const;                   // texts of message boxes only
    void clear() { shown_.clear(); }
    int pending() const { return int(queue_.size()); }
    int unexpected() const { return unexpected_; }

    void message(const QString& text, const QString& title, Icon icon) override;
    bool askYesNo(const QString& text, const QString& title, Icon icon, bool defaultNo) override;
    std::optional<QString> input(const QString& prompt, const QString& title,
                                 const QString& defaultText) override;
    std::optional<QString> openFile(const FileRequest&) override;
    std::optional<QString> saveFile(const FileRequest&) override;
    std::optional<QString> chooseFolder(const FileRequest&) override;   // answered by file()

private:
    enum class Kind { Yes, No, Text, Cancel, File };
    struct Answer { Kind kind; QString text; };
    std::optional<QString> takeTextOrFile(bool fileDialog);

    std::deque<Answer> queue_;
    QList<Shown> shown_;
    int unexpected_ = 0;
};

} // namespace tarvex
