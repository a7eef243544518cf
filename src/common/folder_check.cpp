#include "common/folder_check.h"
#include "common/prompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace tarvex {

std::optional<FolderTrouble> folderTrouble(const QString& folder)
{
    if (folder.trimmed().isEmpty())
        return FolderTrouble{FolderFault::Missing, QStringLiteral("no folder is named")};
    const QFileInfo info(folder);
    if (!info.exists())
        return FolderTrouble{FolderFault::Missing, QStringLiteral("it does not exist")};
    if (!info.isDir())
        return FolderTrouble{FolderFault::NotAFolder, QStringLiteral("it is a file, not a folder")};
    // Permission bits say nothing of a read-only mount, a full share or an ACL: only a real
    // file tells.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".tarvex-write-check-XXXXXX")));
    if (!probe.open())
        return FolderTrouble{FolderFault::NotWritable,
                             QStringLiteral("no file can be created in it (%1)").arg(probe.errorString())};
    return std::nullopt;
}

std::optional<QString> newFileTrouble(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("its folder %1 does not exist").arg(QDir::toNativeSeparators(folder));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return f.errorString();
    f.close();
    f.remove();
    return std::nullopt;
}

FolderAnswer acceptWritableFolder(Prompter& p, const QString& folder, const QString& what, const QString& title)
{
    const QString shown = QDir::toNativeSeparators(folder);
    std::optional<FolderTrouble> trouble = folderTrouble(folder);
    if (trouble && trouble->fault == FolderFault::Missing && !folder.trimmed().isEmpty()) {
        if (!p.askYesNo(QStringLiteral("%1 %2 does not exist. Create it?").arg(what, shown), title, Icon::Question))
            return FolderAnswer::NotCreated;
        if (!QDir().mkpath(folder)) {
            p.message(QStringLiteral("%1 %2 cannot be created.").arg(what, shown), title, Icon::Exclamation);
            return FolderAnswer::Refused;
        }
        trouble = folderTrouble(folder);
    }
    if (!trouble)
        return FolderAnswer::Usable;
    p.message(QStringLiteral("%1 %2 cannot be used: %3.").arg(what, shown, trouble->reason), title, Icon::Exclamation);
    return FolderAnswer::Refused;
}

} // namespace tarvex
