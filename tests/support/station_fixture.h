#pragma once
// A station on temporary folders with scripted prompts, a fixed clock and a fake camera.
#include "app/screen_registry.h"
#include "station/station.h"
#include "testkit/fake_capture_component.h"
#include "testkit/fixed_clock.h"
#include "testkit/scripted_prompter.h"
#include "support/widget_lookup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace tarvex::test {

struct StationFixture : ::testing::Test {
    QTemporaryDir tmp;
    std::shared_ptr<ScriptedPrompter> prompter = std::make_shared<ScriptedPrompter>();
    std::shared_ptr<FixedClock> clock =
        std::make_shared<FixedClock>(QDateTime(QDate(2026, 12, 6), QTime(14, 3, 22)));
    std::shared_ptr<FakeCaptureComponent> camera = std::make_shared<FakeCaptureComponent>();
    std::unique_ptr<Station> station;

    QString path(const QString& name) const { return tmp.filePath(name); }
    QString videos() const { return tmp.filePath("videos"); }
    QString settingsFile() const { return tmp.filePath("TX05.ini"); }

    void SetUp() override
    {
        QDir(tmp.path()).mkpath("videos");
        QDir(tmp.path()).mkpath("program");
        QDir(tmp.path()).mkpath("txio");
    }

    // A new station on the same folders and settings, as a restart of the program would be.
    // It knows every screen, or only those named in `only`.
    Station& makeStation(const QStringList& only = {})
    {
        station.reset();
        StationOptions o;
        o.settingsFile = settingsFile();
        o.programFolder = tmp.filePath("program");
        o.txioFolder = tmp.filePath("txio");
        o.prompter = prompter;
        o.clock = clock;
        o.capture = camera;
        o.screens = builtInScreens();
        if (!only.isEmpty()) {
            o.screens.screens.removeIf([&](const auto& s) { return !only.contains(s.key()); });
            o.screens.windows.removeIf([&](const auto& w) { return !only.contains(w.key()); });
        }
        station = std::make_unique<Station>(o);
        return *station;
    }

    void storeSetting(const QString& key, const QString& value)
    {
        SettingsStore(settingsFile()).save(key, value);
    }

    static QByteArray readAll(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

} // namespace tarvex::test
