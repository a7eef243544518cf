// Number texts: reading any text, and writing any double, must neither crash nor be undefined.
#include "common/text_forms.h"

#include <QString>
#include <cmath>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    const double v = tarvex::leadingNumber(text);
    (void)tarvex::roundHalfEven(v);
    (void)tarvex::roundTo(v, 2);
    if (size >= sizeof(double)) {
        double d;
        std::memcpy(&d, data, sizeof d);
        const QString padded = tarvex::paddedNumber(d);
        (void)tarvex::plainNumber(d);
        (void)tarvex::roundHalfEven(d);
        // A finite number written in the padded form reads back as nearly itself.
        if (std::isfinite(d) && std::abs(d) < 1e300) {
            const double back = tarvex::leadingNumber(padded);
            if (std::abs(back - d) > std::abs(d) * 1e-14 + 1e-300)
                __builtin_trap();
        }
    }
    return 0;
}
