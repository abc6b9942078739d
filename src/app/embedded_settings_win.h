#pragma once
// Looks for the settings block stamped into the running program's own file and
// puts its settings text into `settings` (kSettingsTextSize bytes); the buffer
// stays empty when there is no valid block.
bool FindEmbeddedSettings(char* settings);
