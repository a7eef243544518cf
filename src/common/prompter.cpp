#include "common/prompter.h"
#include "common/text_forms.h"

#include <cmath>

namespace tarvex {

std::optional<int> askWholeNumber(Prompter& p, const QString& prompt, const QString& title, int lo, int hi)
{
    for (;;) {
        const auto answer = p.input(prompt, title);
        if (!answer)
            return std::nullopt;
        const double v = leadingNumber(*answer);
        if (v >= lo && v <= hi && std::floor(v) == v)
            return int(v);
    }
}

} // namespace tarvex
