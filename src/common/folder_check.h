#pragma once
// The one check of a folder the station is about to write into (the video folder, the
// captures folder, the WSTIMS exchange folder): it is made where the folder is chosen, so a
// folder that cannot take a file is refused before a skier is on the water.
#include <QString>
#include <optional>

namespace tarvex {

class Prompter;

enum class FolderFault { Missing, NotAFolder, NotWritable };

struct FolderTrouble {
    FolderFault fault;
    QString reason;   // words that follow "cannot be used: "
};

// nullopt when a file can be created in `folder` (a probe file is created and removed).
std::optional<FolderTrouble> folderTrouble(const QString& folder);

// nullopt when the file `path` can be created now (it is created and removed again);
// otherwise the reason, in words that follow "cannot be created: ".
std::optional<QString> newFileTrouble(const QString& path);

enum class FolderAnswer {
    Usable,       // a file can be created in it (perhaps it was just created)
    NotCreated,   // it is missing and the operator declined to create it; nothing was said
    Refused,      // it cannot be used; a message said why
};

// Checks a folder chosen by the operator. A missing folder is offered to be created (a
// Yes/No question; Yes creates it); any other trouble is said in one message naming the
// folder and the reason. `what` starts the texts ("The video folder").
FolderAnswer acceptWritableFolder(Prompter& p, const QString& folder, const QString& what, const QString& title);

} // namespace tarvex
