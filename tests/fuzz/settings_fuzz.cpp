// A settings file edited by hand or copied from another station: every key must read as a
// value or its default, never crash or be undefined, and what the store writes must read
// back to the same values. In memory: the file reader uses the same parse.
#include "station/settings_store.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    tarvex::SettingsText text = tarvex::parseSettings(bytes);
    for (auto it = text.values.cbegin(); it != text.values.cend(); ++it) {
        if (it.key().isEmpty() || it.key() != it.key().toLower())
            __builtin_trap();   // keys are folded to lower case
        if (const auto i = tarvex::settingsInt(it.value()); i && (*i < -32768 || *i > 32767))
            __builtin_trap();
        (void)tarvex::settingsDouble(it.value());
        (void)tarvex::settingsBool(it.value());
    }
    // A save adds a key to whatever was read; the file must hold exactly what was saved.
    text.values.insert(QStringLiteral("grids"), QStringLiteral("2"));
    const tarvex::SettingsText again = tarvex::parseSettings(tarvex::settingsBytes(text));
    if (again.values != text.values)
        __builtin_trap();
    return 0;
}
