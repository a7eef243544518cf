#pragma once
#include "common/prompter.h"
#include "station/settings_store.h"

namespace tarvex {

// The very first step of start-up: lets an operator whose station no longer starts clear
// the keys that start-up depends on (video folder, capture list positions, grid files).
void EmergencyReset(Prompter& prompter, SettingsStore& store);

} // namespace tarvex
