#include "capture/capture_rules.h"
#include "common/text_forms.h"
#include "media/file_helpers.h"

#include <QStringList>
#include <Qt>
#include <limits>

namespace tarvex {

QString captureFileName(const QString& folder, const QString& skier, const QString& pass)
{
    return withoutTrailingSeparator(folder) + QLatin1Char('/') + skier + QStringLiteral("jump") + pass.trimmed()
        + QStringLiteral(".avi");
}

namespace {
bool forbiddenInFileName(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f || QStringView(u"/\\:*?\"<>|").contains(c);
}
} // namespace

QString forbiddenFileNameCharacters(const QString& name)
{
    QString out;
    for (QChar c : name)
        if (forbiddenInFileName(c) && !out.contains(c))
            out += c;
    return out;
}

QString withoutForbiddenFileNameCharacters(const QString& name)
{
    QString out;
    for (QChar c : name)
        if (!forbiddenInFileName(c))
            out += c;
    return out;
}

QString forbiddenCharactersMessage(const QString& forbidden)
{
    QStringList named;
    for (QChar c : forbidden)
        named << (c.unicode() < 0x20 || c.unicode() == 0x7f
                      ? QStringLiteral("the control character 0x")
                            + QString::number(c.unicode(), 16).toUpper().rightJustified(2, QLatin1Char('0'))
                      : QLatin1Char('"') + c + QLatin1Char('"'));
    const QString list = named.size() == 1 ? named.first()
                                           : named.mid(0, named.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + named.last();
    return QStringLiteral("Sorry, a skier name cannot hold %1: the name becomes part of the video's file name.").arg(list);
}

QString nextPassNumber(const QString& pass)
{
    return QString::number(static_cast<long long>(leadingNumber(pass)) + 1);
}

namespace {
// Beyond this many tries a folder is not plausible (or the existence test is broken); the
// screen stops raising rather than spin.
constexpr int kMaxTries = 10000;
} // namespace

FreePass nextFreePass(const QString& folder, const QString& skier, const QString& pass, const FileExists& exists)
{
    FreePass r{pass, captureFileName(folder, skier, pass), false};
    for (int i = 0; i < kMaxTries && exists(r.fileName); ++i) {
        r.pass = nextPassNumber(r.pass);
        r.fileName = captureFileName(folder, skier, r.pass);
        r.changed = true;
    }
    return r;
}

FreeName nextFreeSkierName(const QString& folder, const QString& skier, const QString& pass, const FileExists& exists)
{
    FreeName r{skier, pass, captureFileName(folder, skier, pass), false};
    for (int i = 0; i < kMaxTries && exists(r.fileName); ++i) {
        r.skier += QLatin1Char('X');
        r.pass = QStringLiteral("1");
        r.fileName = captureFileName(folder, r.skier, r.pass);
        r.changed = true;
    }
    return r;
}

int16_t frameCount16(long frames)
{
    if (frames > std::numeric_limits<int16_t>::max())
        return std::numeric_limits<int16_t>::max();
    if (frames < 0)
        return 0;
    return static_cast<int16_t>(frames);
}

int16_t halfRecordingFrameHint(double framesPerSecond, double seconds)
{
    const double half = framesPerSecond * seconds / 2;
    if (!(half < std::numeric_limits<int16_t>::max()))
        return std::numeric_limits<int16_t>::max();
    return frameCount16(static_cast<long>(roundHalfEven(half)));
}

QString skierNameFromListLine(const QString& line)
{
    QString name = line;
    for (int p = name.indexOf(QLatin1Char(',')); p >= 0; p = name.indexOf(QLatin1Char(',')))
        name = name.mid(p + 1) + QLatin1Char(' ') + name.left(p);
    return name;
}

int keyCodeOf(int qtKey)
{
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return qtKey;
    if (qtKey >= Qt::Key_Space && qtKey <= Qt::Key_AsciiTilde)
        return qtKey;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return 112 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Escape: return 27;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    default: return 0;
    }
}

} // namespace tarvex
