#include "capture/capture_formats.h"
#include "common/text_forms.h"
#include <algorithm>
#include <climits>
#include <cmath>

namespace tarvex {

const QStringList& standardAudioFormatNames()
{
    static const QStringList names = [] {
        const char* rates[] = {"11.025", "22.050", "32.000", "44.100"};
        QStringList out;
        for (int i = 0; i < 16; ++i)
            out << QStringLiteral("%1 Khz, %2 Bit, %3")
                       .arg(QLatin1String(rates[i / 4]),
                            (i & 2) ? QStringLiteral("16") : QStringLiteral("8"),
                            (i & 1) ? QStringLiteral("Stereo") : QStringLiteral("Mono"));
        return out;
    }();
    return names;
}

QString audioFormatText(const AudioFormat& f)
{
    // 'f' formatting of QString::number is locale-free, so the decimal mark is always a point.
    return QString::number(f.sampleRate / 1000.0, 'f', 3) + QStringLiteral(" Khz, ")
         + (f.bits == 8 ? QStringLiteral("8") : QStringLiteral("16")) + QStringLiteral(" bit, ")
         + (f.channels == 1 ? QStringLiteral("Mono") : QStringLiteral("Stereo"));
}

AudioFormat audioFormatOfEntry(const QString& text)
{
    AudioFormat f;
    f.sampleRate = int(std::lround(leadingNumber(text.section(QLatin1Char(' '), 0, 0)) * 1000));
    const QStringList parts = text.split(QLatin1Char(','));
    f.bits = parts.size() > 1 && leadingNumber(parts[1]) == 16 ? 16 : 8;
    f.channels = parts.size() > 2 && parts[2].contains(QLatin1String("stereo"), Qt::CaseInsensitive) ? 2 : 1;
    return f;
}

std::optional<QString> frameRateClassCaption(double fps)
{
    if (fps >= 25) return QStringLiteral("Currently Configured for R");
    if (fps >= 15) return QStringLiteral("Currently Configured for L");
    if (fps >= 5) return QStringLiteral("Currently Configured for Normal/C");
    return std::nullopt;
}

int wholeNumberOf(const QString& text)
{
    // Clamped before rounding: a typed "1e20" must not overflow the conversion.
    const double v = std::clamp(leadingNumber(text), double(INT_MIN), double(INT_MAX));
    return int(roundHalfEven(v));
}

} // namespace tarvex
