#include "review/review_rules.h"

#include "capture/camera_set.h"
#include "capture/capture_rules.h"
#include "common/list_text.h"
#include "common/text_file.h"
#include "common/text_forms.h"
#include "media/file_helpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tarvex {

namespace {

const QString kFixNameTitle = QStringLiteral("Fix the skier's name");
const QString kFixNamePrompt =
    QStringLiteral("The skier's name was changed to prevent overwriting an existing file. You can change the "
                   "skier's name here if you want. Just modify it in the input box to what it should be. ");
const QString kMustInputName = QStringLiteral("You must input a name. Please try again ");
const QString kNameTaken =
    QStringLiteral("I am sorry, there is an existing file using that name and jump.  Please try again ");

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

// An empty answer gets one more chance; nullopt when that is empty too or either is cancelled.
std::optional<QString> askName(Prompter& p, const QString& prompt, const QString& defaultText)
{
    auto answer = p.input(prompt, kFixNameTitle, defaultText);
    if (answer && answer->isEmpty())
        answer = p.input(kMustInputName, kFixNameTitle);
    if (!answer || answer->isEmpty())
        return std::nullopt;
    return answer;
}

QString firstJumpPath(const QString& capturesPath, const QString& name)
{
    return captureFileName(capturesPath, name, QStringLiteral("1"));
}

bool removeFile(const QString& path, QString& error)
{
    if (!QFileInfo::exists(path))
        return true;
    // A read-only capture (copied from a card or a CD) must go as well.
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner | QFileDevice::WriteUser);
    QFile f(path);
    if (f.remove())
        return true;
    error += (error.isEmpty() ? QString() : QStringLiteral("; ")) + native(path) + QStringLiteral(": ") + f.errorString();
    return false;
}

} // namespace

StandardName parseStandardName(const QString& path)
{
    StandardName n;
    // Positions below are 0-based; the pattern counts from 1.
    const qsizetype a = path.indexOf(QStringLiteral(".avi"));
    if (a < 7)
        return n;
    const qsizetype j = path.indexOf(QStringLiteral("jump"), a - 7);
    if (j < 0 || j >= a)
        return n;
    const qsizetype s = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))) + 1;
    // "jump" inside a folder name would give a skier name that starts after it ends.
    if (j < s)
        return n;
    n.standard = true;
    n.skier = path.mid(s, j - s);
    n.jump = path.mid(j + 4, a - j - 4);
    return n;
}

QString videoSideFilePath(const QString& videoPath) { return videoPath + QStringLiteral(".info"); }

QByteArray videoSideFileBytes(const QString& videoPath, int frame)
{
    return lineBytes({videoPath + QLatin1Char(',') + QString::number(frame)});
}

std::optional<int> readVideoSideFile(const QString& videoPath)
{
    const auto bytes = readFileBytes(videoSideFilePath(videoPath), readLimit::flagFile);
    if (!bytes)
        return std::nullopt;
    QString line = decodeText(*bytes).section(QLatin1Char('\n'), 0, 0);
    line.remove(QLatin1Char('\r'));
    const qsizetype comma = line.lastIndexOf(QLatin1Char(','));
    if (comma < 0)
        return std::nullopt;
    bool ok = false;
    const int frame = line.mid(comma + 1).trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    return frame;
}

std::optional<int> readTakeSideFile(const QString& videoPath)
{
    if (const auto own = readVideoSideFile(videoPath))
        return own;
    const QMap<int, QString> files = cameraFilesOf(videoPath);
    const int camera = cameraOfFile(videoPath);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (it.key() == camera)
            continue;
        if (const auto frame = readVideoSideFile(it.value()))
            return matchingFrames(files, it.key(), *frame).value(camera, *frame);
    }
    return std::nullopt;
}

std::optional<QString> writeVideoSideFile(const QString& videoPath, int frame)
{
    return replaceDurably(videoSideFilePath(videoPath), videoSideFileBytes(videoPath, frame));
}

QString contactFrameLogLine(const QDateTime& now, const QString& skier, const QString& jump, int frame,
                            const QString& videoPath)
{
    ListWriter w;
    w.text(dateText(now)).zone().text(timeText(now)).zone();
    w.text(QStringLiteral("Skier: ") + skier).zone();
    w.text(QStringLiteral("Jump: ") + jump).zone();
    w.text(QStringLiteral("Contact Frame: ") + QString::number(frame)).zone();
    w.text(QStringLiteral("File: ") + videoPath);
    return w.str();
}

QByteArray bitmapPixelsOf(const QImage& picture)
{
    if (picture.isNull())
        return {};
    const QImage rgb = picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32_Premultiplied
                           ? picture
                           : picture.convertToFormat(QImage::Format_RGB32);
    const int width = rgb.width();
    const int height = rgb.height();
    const qsizetype row = (qsizetype(width) * 3 + 3) / 4 * 4;
    QByteArray bits(row * height, '\0');
    for (int y = 0; y < height; ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        auto* to = reinterpret_cast<uchar*>(bits.data()) + row * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            to[3 * x] = uchar(qBlue(from[x]));
            to[3 * x + 1] = uchar(qGreen(from[x]));
            to[3 * x + 2] = uchar(qRed(from[x]));
        }
    }
    return bits;
}

QString diskSpaceText(qint64 freeBytes)
{
    return QString::number(std::max<qint64>(0, freeBytes) / 1000000) + QStringLiteral(" MB");
}

bool diskSpaceLow(qint64 freeBytes) { return std::max<qint64>(0, freeBytes) / 1000000 < 200; }

QString windowsDriveOf(const QString& folderText)
{
    if (folderText.size() >= 2 && folderText.at(1) == QLatin1Char(':'))
        return folderText.left(2);
    return QStringLiteral("C:");
}

QSize firstReviewSize(QSize available, QSize minimum)
{
    // The title bar and frame sit outside the size a window is given.
    constexpr int kFrameAllowance = 40;
    const QSize room = available.isValid() ? available - QSize(0, kFrameAllowance) : QSize(1280, 800);
    return QSize(1280, 800).boundedTo(room).expandedTo(minimum);
}

std::optional<FixedSkierName> askFixedSkierName(Prompter& prompter, const QString& capturesPath,
                                                const QString& currentName, const QString& currentPath)
{
    auto name = askName(prompter, kFixNamePrompt, currentName);
    if (!name)
        return std::nullopt;
    QString path = firstJumpPath(capturesPath, *name);
    const QString current = QDir::cleanPath(currentPath);
    while (QDir::cleanPath(path) != current && QFileInfo::exists(path)) {
        name = askName(prompter, kNameTaken, *name);
        if (!name)
            return std::nullopt;
        path = firstJumpPath(capturesPath, *name);
    }
    return FixedSkierName{*name, path};
}

std::optional<QString> renameTake(const QString& currentPath, const QString& newFirst)
{
    const QString first = firstCameraFile(currentPath);
    // Every file of the take starts with its first file's name less the extension.
    const auto stem = [](const QString& p) {
        const qsizetype dot = p.lastIndexOf(QLatin1Char('.'));
        const qsizetype slash = std::max(p.lastIndexOf(QLatin1Char('/')), p.lastIndexOf(QLatin1Char('\\')));
        return dot > slash ? p.left(dot) : p;
    };
    const QString from = stem(first), to = stem(newFirst);
    QList<std::pair<QString, QString>> moved;
    for (const QString& file : takeFilesOf(currentPath, {QStringLiteral(".info")})) {
        if (!file.startsWith(from))
            continue;
        const QString target = to + file.mid(from.size());
        QFile f(file);
        if (f.rename(target)) {
            moved.append({file, target});
            continue;
        }
        const QString what = file.endsWith(QStringLiteral(".avi"), Qt::CaseInsensitive) ? QStringLiteral("video")
                                                                                         : QStringLiteral("file");
        QString message = QStringLiteral("The %1 %2 cannot be renamed to %3: %4")
                              .arg(what, native(file), native(target), f.errorString());
        for (auto it = moved.crbegin(); it != moved.crend(); ++it)
            if (!QFile::rename(it->second, it->first))
                message += QStringLiteral("; %1 could not be given back its name %2").arg(native(it->second), native(it->first));
        return message;
    }
    return std::nullopt;
}

bool captureToBeDisposed(Prompter& prompter, const QString& videoSaveMode)
{
    if (videoSaveMode == QLatin1String("NoSave"))
        return true;
    if (videoSaveMode == QLatin1String("Ask"))
        return !prompter.askYesNo(QStringLiteral("Do you want to save this video capture?"), QString(), Icon::Question);
    return false;
}

VideoDisposal removeTake(const QString& videoPath)
{
    VideoDisposal d;
    if (videoPath.isEmpty())
        return d;
    d.deleted = true;
    for (const QString& file : takeFilesOf(videoPath, {QStringLiteral(".info")}))
        d.deleted = removeFile(file, d.error) && d.deleted;
    return d;
}

VideoDisposal disposeCapturedVideo(Prompter& prompter, const QString& videoSaveMode, const QString& videoPath)
{
    if (!captureToBeDisposed(prompter, videoSaveMode))
        return {};
    return removeTake(videoPath);
}

} // namespace tarvex
