#include "station/emergency_reset.h"
#include "station/settings_keys.h"

namespace tarvex {

void EmergencyReset(Prompter& p, SettingsStore& store)
{
    const QString title = QStringLiteral("Emergency Parameter Reset");
    auto ask = [&](const QString& text) { return p.askYesNo(text, title, Icon::Question, true); };

    if (!ask(QStringLiteral("Do you want to reset all parameters to install values?")))
        return;
    if (!ask(QStringLiteral("Are you certain? This means you are crashing and can't operate")))
        return;

    struct Entry { QString name; const char* label; bool text; };
    const Entry entries[] = {
        {key::logpath, "Logpath = ", true},
        {key::barefoot, "barefoot = ", false},
        {key::compression, "compression = ", false},
        {key::device, "device = ", false},
        {key::framerate, "framerate = ", false},
        {key::gridFile(1), "Grid 1 File = ", true},
        {key::gridFile(2), "Grid 2 File = ", true},
        {key::gridFile(3), "Grid 3 File = ", true},
    };
    const SettingsStore::Batch batch(store);
    for (const Entry& e : entries) {
        const QString value = store.get(e.name, QStringLiteral("0"));
        if (!ask(QString::fromLatin1(e.label) + value + QStringLiteral(" Clear it?")))
            continue;
        if (e.text) {
            store.save(e.name, QString());
            if (e.name == key::logpath)
                store.save(key::logfile, QString());
        } else {
            store.save(e.name, 0);
            // The name would otherwise outrank the cleared number.
            if (e.name == key::compression)
                store.save(key::compressionName, QString());
        }
    }
}

} // namespace tarvex
