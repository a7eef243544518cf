#pragma once
// The skier name list file chosen on the configuration screen: names read list-style, one
// field per name, so "Lee, Ann" on one line gives the two names "Lee" and "Ann".
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace tarvex {

struct SkierNameFileRead {
    bool opened = false;   // false: the list in use stays as it was
    QStringList names;     // every non-empty field, in file order
    QString error;         // why the file could not be opened, empty otherwise
};

// Fields end at a comma or a line end, double quotes protect commas, blanks around a field
// are dropped. Empty fields (blank lines, ",,") give no entry: a blank name is never useful
// in the drop-down list. Text that is not UTF-8 is read as Latin-1, as older name files are.
SkierNameFileRead readSkierNameFile(const QString& path);
QStringList parseSkierNames(const QByteArray& bytes);

// The entries of "SkierNames.txt" for the skier selection window: one per line that is not
// blank, every comma shown as a blank.
QStringList skierListEntries(const QString& content);
QStringList skierListFromBytes(const QByteArray& bytes);

// The skier's name in WSTIMS's txskier.nam: its first field; nullopt when that is empty (an
// empty name would wipe the skier's name and reset the jump number for nothing).
std::optional<QString> wstimsNameFromBytes(const QByteArray& bytes);

} // namespace tarvex
