// The only platform calls of the common floor: forcing written data onto the disk.
#include "common/text_file.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tarvex {

bool syncToDisk(QFileDevice& file)
{
    return file.flush() && syncHandleToDisk(file.handle());
}

bool syncHandleToDisk(int fd)
{
    if (fd < 0)
        return false;
#ifdef Q_OS_WIN
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != 0;
#elif defined(Q_OS_MACOS)
    return ::fsync(fd) == 0;
#else
    return ::fdatasync(fd) == 0;
#endif
}

bool syncFolder(const QString& folder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    return true;
#else
    const QByteArray native = QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int rc = ::fsync(fd);
    // Some file systems (network shares, a few FUSE ones) cannot sync a folder at all; the
    // rename is then as safe as they make it, and that is not the station's failure.
    if (rc != 0 && (errno == EINVAL || errno == ENOTSUP))
        rc = 0;
    ::close(fd);
    return rc == 0;
#endif
}

std::optional<QString> replaceDurably(const QString& path, const QByteArray& bytes)
{
    const QString folder = QFileInfo(path).absolutePath();
    const QString noDisk = QStringLiteral("the data did not reach the disk");
#ifdef Q_OS_WIN
    // Qt's own rename (QSaveFile) does not write through; do the steps here.
    QTemporaryFile tmp(path + QStringLiteral(".XXXXXX"));
    if (!tmp.open())
        return tmp.errorString();
    if (tmp.write(bytes) != bytes.size() || !syncToDisk(tmp))
        return tmp.errorString().isEmpty() ? noDisk : tmp.errorString();
    const QString tmpName = tmp.fileName();
    tmp.close();
    const std::wstring from = QDir::toNativeSeparators(tmpName).toStdWString();
    const std::wstring to = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return QStringLiteral("it cannot be replaced (Windows error %1)").arg(GetLastError());
    tmp.setAutoRemove(false);   // it has become the file itself
#else
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return f.errorString();
    // QSaveFile syncs before its rename too, but ignores a failure; a full disk shows here.
    if (f.write(bytes) != bytes.size() || !syncToDisk(f)) {
        const QString why = f.errorString().isEmpty() ? noDisk : f.errorString();
        f.cancelWriting();
        return why;
    }
    if (!f.commit())
        return f.errorString();
#endif
    if (!syncFolder(folder))
        return QStringLiteral("it was replaced, but its folder %1 did not reach the disk")
            .arg(QDir::toNativeSeparators(folder));
    return std::nullopt;
}

} // namespace tarvex
