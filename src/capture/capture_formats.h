#pragma once
// The texts of the device panel that carry numbers: audio format entries and the frame-rate
// class caption. Kept apart from the panel so they can be checked without widgets.
#include <QString>
#include <QStringList>
#include <optional>

namespace tarvex {

struct AudioFormat {
    int sampleRate = 0;   // Hz
    int channels = 0;     // 1 or 2
    int bits = 0;         // 8 or 16

    friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

// The 16 fixed entries of the audio format list: entry i is stereo when bit 0 is set, 16 bit
// when bit 1 is set, and i div 4 picks 11.025, 22.050, 32.000 or 44.100 kHz.
const QStringList& standardAudioFormatNames();

// The entry text of a device's current format: "48.000 Khz, 16 bit, Stereo".
QString audioFormatText(const AudioFormat& f);

// The format an entry of the list stands for. The rate is the leading number times 1000;
// channels and bits are read from the text, which for the fixed entries agrees with the
// index bits and for an entry appended for a device's own format keeps that format (the bits
// of an index past the fixed 16 mean nothing).
AudioFormat audioFormatOfEntry(const QString& text);

// "Currently Configured for Normal/C" from 5 fps, "... L" from 15, "... R" from 25; nothing
// below 5, where the caption stays as it was.
std::optional<QString> frameRateClassCaption(double fps);

// A text box's number as a whole number: leading number, halves to even, kept in int range.
int wholeNumberOf(const QString& text);

} // namespace tarvex
