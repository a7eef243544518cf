#include "testkit/scripted_prompter.h"

namespace tarvex {

ScriptedPrompter& ScriptedPrompter::yes() { queue_.push_back({Kind::Yes, {}}); return *this; }
ScriptedPrompter& ScriptedPrompter::no() { queue_.push_back({Kind::No, {}}); return *this; }
ScriptedPrompter& ScriptedPrompter::answer(const QString& t) { queue_.push_back({Kind::Text, t}); return *this; }
ScriptedPrompter& ScriptedPrompter::cancel() { queue_.push_back({Kind::Cancel, {}}); return *this; }
ScriptedPrompter& ScriptedPrompter::file(const QString& p) { queue_.push_back({Kind::File, p}); return *this; }

QStringList ScriptedPrompter::texts() const
{
    QStringList out;
    for (const auto& s : shown_) out << s.text;
    return out;
}

QStringList ScriptedPrompter::messages() const
{
    QStringList out;
    for (const auto& s : shown_)
        if (s.kind == "message") out << s.text;
    return out;
}

void ScriptedPrompter::message(const QString& text, const QString& title, Icon icon)
{
    shown_.append({"message", title, text, icon, {}, {}, false});
}

bool ScriptedPrompter::askYesNo(const QString& text, const QString& title, Icon icon, bool defaultNo)
{
    shown_.append({"yesno", title, text, icon, {}, {}, defaultNo});
    if (!queue_.empty() && (queue_.front().kind == Kind::Yes || queue_.front().kind == Kind::No)) {
        bool y = queue_.front().kind == Kind::Yes;
        queue_.pop_front();
        return y;
    }
    ++unexpected_;
    return false;
}

std::optional<QString> ScriptedPrompter::takeTextOrFile(bool fileDialog)
{
    if (!queue_.empty()) {
        const Answer a = queue_.front();
        if (a.kind == Kind::Cancel) { queue_.pop_front(); return std::nullopt; }
        if (a.kind == (fileDialog ? Kind::File : Kind::Text)) { queue_.pop_front(); return a.text; }
    }
    ++unexpected_;
    return std::nullopt;
}

std::optional<QString> ScriptedPrompter::input(const QString& prompt, const QString& title,
                                               const QString& defaultText)
{
    shown_.append({"input", title, prompt, Icon::None, {}, defaultText, false});
    return takeTextOrFile(false);
}

std::optional<QString> ScriptedPrompter::openFile(const FileRequest& r)
{
    shown_.append({"open", r.title, r.title, Icon::None, r, {}, false});
    return takeTextOrFile(true);
}

std::optional<QString> ScriptedPrompter::saveFile(const FileRequest& r)
{
    shown_.append({"save", r.title, r.title, Icon::None, r, {}, false});
    return takeTextOrFile(true);
}

std::optional<QString> ScriptedPrompter::chooseFolder(const FileRequest& r)
{
    shown_.append({"folder", r.title, r.title, Icon::None, r, {}, false});
    return takeTextOrFile(true);
}

} // namespace tarvex
