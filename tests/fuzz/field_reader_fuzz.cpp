// The field reader reads every list-style file the station meets: it must end on any text.
#include "common/list_text.h"

#include <QByteArray>
#include <QString>
#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const bool numbers = data[0] & 1;
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    tarvex::FieldReader reader(text);
    // Every call takes at least one character or ends the read, so this bounds the loop.
    for (qsizetype guard = 0; guard <= text.size() + 1 && !reader.atEnd(); ++guard) {
        if (numbers) {
            const auto v = reader.nextNumber();
            if (v && !tarvex::isStorableNumber(*v))
                __builtin_trap();
        } else if (!reader.nextText()) {
            break;
        }
    }
    return 0;
}
