#include "common/twips.h"
#include "common/text_forms.h"

#include <cmath>

namespace tarvex {

QString pictureTwipsText(int pixels)
{
    const double hiMetric = std::round(pixels * 2540.0 / 96.0);
    // "." whatever the locale: grid_check reads this text back by its leading number.
    return paddedNumber(hiMetric * 15 / 26.5).trimmed();
}

} // namespace tarvex
