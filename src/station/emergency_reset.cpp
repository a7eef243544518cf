#include "station/emergency_reset.h"

namespace tarvex {

void EmergencyReset(Prompter& p, SettingsStore& store)
{
    const QString title = QStringLiteral("Emergency Parameter Reset");
    auto ask = [&](const QString& text) { return p.askYesNo(text, title, Icon::Question, true); };

    if (!ask(QStringLiteral("Do you want to reset all parameters to install values?")))
        return;
    if (!ask(QStringLiteral("Are you certain? This means you are crashing and can't operate")))
        return;

    struct Entry { const char* key; const char* label; bool text; };
    static const Entry entries[] = {
        {"logpath", "Logpath = ", true},
        {"barefoot", "barefoot = ", false},
        {"compression", "compression = ", false},
        {"device", "device = ", false},
        {"framerate", "framerate = ", false},
        {"grid1File", "Grid 1 File = ", true},
        {"grid2File", "Grid 2 File = ", true},
        {"grid3File", "Grid 3 File = ", true},
    };
    for (const Entry& e : entries) {
        const QString key = QString::fromLatin1(e.key);
        const QString value = store.get(key, QStringLiteral("0"));
        if (!ask(QString::fromLatin1(e.label) + value + QStringLiteral(" Clear it?")))
            continue;
        if (e.text) {
            store.save(key, QString());
            if (key == QLatin1String("logpath"))
                store.save(QStringLiteral("logfile"), QString());
        } else {
            store.save(key, 0);
        }
    }
}

} // namespace tarvex
