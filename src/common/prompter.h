#pragma once
// Every message box, question, input box and file dialog of the station goes through a
// Prompter, so screen tests can script the answers and read back what was shown.
#include <QString>
#include <optional>

namespace tarvex {

enum class Icon { None, Information, Exclamation, Critical, Question };

struct FileRequest {
    QString initialFolder, initialName;
    QString filter;        // "description|pattern|description|pattern|" form
    int filterIndex = 1;   // 1-based
    QString title;
    // An open dialog that picks a file to be written (the grid Save flow) takes new names too.
    bool mustExist = true;
};

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual void message(const QString& text, const QString& title = {}, Icon icon = Icon::None) = 0;
    virtual bool askYesNo(const QString& text, const QString& title = {}, Icon icon = Icon::None,
                          bool defaultNo = false) = 0;
    // nullopt = Cancel
    virtual std::optional<QString> input(const QString& prompt, const QString& title = {},
                                         const QString& defaultText = {}) = 0;
    virtual std::optional<QString> openFile(const FileRequest&) = 0;
    virtual std::optional<QString> saveFile(const FileRequest&) = 0;
    // A folder chooser (title and initialFolder of the request count). Prompters that cannot
    // show one, such as the command line's, answer Cancel.
    virtual std::optional<QString> chooseFolder(const FileRequest&) { return std::nullopt; }
};

// Asks for a whole number from lo to hi until one is given; nullopt on Cancel, which ends
// the question instead of repeating it for ever. Blank, fractional or out-of-range answers
// ask again.
std::optional<int> askWholeNumber(Prompter& p, const QString& prompt, const QString& title, int lo, int hi);

} // namespace tarvex
