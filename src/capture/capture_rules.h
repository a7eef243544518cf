#pragma once
// The rules of the capture screen that need no screen: the capture file's name, how a name
// or pass is moved past files that already exist, the contact hint of a recording without a
// Contact press, the first skier of the name list, and the key codes shown in `Text1`.
#include <QString>
#include <cstdint>
#include <functional>

namespace tarvex {

// folder + "/" + skier as typed + "jump" + pass without surrounding blanks + ".avi". One
// trailing separator of the folder is dropped, so "C:\caps\" gives no doubled separator.
QString captureFileName(const QString& folder, const QString& skier, const QString& pass);

// The characters of a skier name that cannot be part of a file name on Windows or Linux
// (/ \ : * ? " < > | and control characters), each once, in the order they first appear.
QString forbiddenFileNameCharacters(const QString& name);
// The name without those characters.
QString withoutForbiddenFileNameCharacters(const QString& name);
// The refusal of a name holding them: "/" in quotes, a control character by its code.
QString forbiddenCharactersMessage(const QString& forbidden);

// The pass number after `pass` (its leading number + 1; text without a number counts as 0).
QString nextPassNumber(const QString& pass);

using FileExists = std::function<bool(const QString& path)>;

// Arrival: the pass is raised while the file of skier + pass exists.
struct FreePass {
    QString pass;
    QString fileName;
    bool changed = false;
};
FreePass nextFreePass(const QString& folder, const QString& skier, const QString& pass, const FileExists& exists);

// Start of a recording: "X" is appended to the name while the file exists; every change of
// the name puts the pass back to "1".
struct FreeName {
    QString skier;
    QString pass;
    QString fileName;
    bool changed = false;
};
FreeName nextFreeSkierName(const QString& folder, const QString& skier, const QString& pass, const FileExists& exists);

// The contact hint of a recording without a Contact press: half the frames of the recording,
// rounded to nearest with halves to even (62.5 gives 62), held in 16 bits.
int16_t halfRecordingFrameHint(double framesPerSecond, double seconds);
// A frame count in the 16 bits the hand-over values have (larger counts stop at the top).
int16_t frameCount16(long frames);

// The first line of "SkierNames.txt" as the capture screen's skier name: while it holds a
// comma, the text after the first comma moves in front ("Lee,Ann" gives "Ann Lee").
QString skierNameFromListLine(const QString& line);

// The numeric code of a key as `Text1` shows it (the codes of the station's keyboards:
// Esc 27, Enter 13, letters their capital, arrows 37..40, F1 112); 0 for a key without one.
int keyCodeOf(int qtKey);
inline constexpr int kEscKeyCode = 27;

// How long a recording lasts, from the "captureTime" setting: the stored seconds when more
// than 0, otherwise the default 5.
inline constexpr double kDefaultCaptureSeconds = 5;

} // namespace tarvex
