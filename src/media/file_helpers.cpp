#include "media/file_helpers.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace tarvex {

QString fileDialogFilter(FileDialogType type)
{
    switch (type) {
    case FileDialogType::Picture:
        return QStringLiteral("All Supported Types|*.bmp;*.jpg;*.pic|BMP Files|*.bmp|JPEG Files|*.jpg|ePIC Files|*.pic|");
    case FileDialogType::AviVideo:
        return QStringLiteral("AVI File|*.avi|");
    case FileDialogType::CaptureProfile:
        return QStringLiteral("Framix 3.0 profile (.fxp)|*.fxp|");
    }
    return QString();
}

QString jumpPictureFilter()
{
    return QStringLiteral("All Files (*.*)|*.*|Text Files (*.txt)|*.txt|Jump Picture Files (*.gif)|*.gif|"
                          "Jump Picture Files (*.bmp)|*.bmp|Jump Picture Files (*.jpg)|*.jpg|");
}

QString fileDialogDefaultExtension(FileDialogType type)
{
    switch (type) {
    case FileDialogType::Picture: return QStringLiteral("jpg");
    case FileDialogType::AviVideo: return QStringLiteral("avi");
    case FileDialogType::CaptureProfile: return QStringLiteral("fxp");
    }
    return QString();
}

namespace {

FileRequest requestFor(const QString& path, FileDialogType type)
{
    FileRequest r;
    if (!path.isEmpty()) {
        // Split at the last separator; both kinds may come from stored Windows paths.
        const int cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
        if (cut >= 0) {
            r.initialFolder = path.left(cut);
            r.initialName = path.mid(cut + 1);
        } else {
            r.initialName = path;
        }
    }
    r.filter = fileDialogFilter(type);
    r.filterIndex = 1;
    return r;
}

QString withDefaultExtension(const QString& chosen, FileDialogType type)
{
    if (chosen.isEmpty() || !QFileInfo(chosen).suffix().isEmpty())
        return chosen;
    const QString ext = fileDialogDefaultExtension(type);
    return ext.isEmpty() ? chosen : chosen + QLatin1Char('.') + ext;
}

} // namespace

QString SaveFileDialog(Prompter& prompter, const QString& path, FileDialogType type)
{
    const auto chosen = prompter.saveFile(requestFor(path, type));
    if (!chosen || chosen->isEmpty())
        return path;
    return withDefaultExtension(*chosen, type);
}

QString OpenFileDialog(Prompter& prompter, const QString& path, FileDialogType type)
{
    const auto chosen = prompter.openFile(requestFor(path, type));
    if (!chosen || chosen->isEmpty())
        return path;
    return *chosen;
}

bool FileIsPresent(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo fi(path);
    return fi.exists() && fi.isFile();
}

bool PathExists(const QString& path, PathKind kind)
{
    if (path.isEmpty())
        return false;
    const QFileInfo fi(path);
    switch (kind) {
    case PathKind::File:
        return fi.exists() && fi.isFile();
    case PathKind::Folder:
        return fi.exists() && fi.isDir();
    case PathKind::Drive: {
        if (!fi.exists() || !fi.isDir())
            return false;
        const QString clean = QDir::cleanPath(fi.absoluteFilePath());
        for (const QFileInfo& root : QDir::drives())
            if (QDir::cleanPath(root.absoluteFilePath()).compare(clean, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    }
    default:
        return false;
    }
}

QString withoutTrailingSeparator(const QString& path)
{
    if (path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\')))
        return path.left(path.size() - 1);
    return path;
}

} // namespace tarvex
