// The settings file the window keeps (Tintwell.dat): where it lives and how its
// 496 bytes read. All integers 32-bit little-endian:
//   0 magic "GT10"   4 max width   8 max height   12 JPEG quality item (0, 1)
//   16 the eight user presets, rows 25..32 of the preset table as they lie in memory
// The window reads and writes it (app/settings); the batch command only reads it.
// Any thread.
#pragma once

#include "runtime/base/string_scratch.h"
#include "tone/presets.h"

#include <cstdint>

constexpr int32_t SettingsMagic = 0x30315447; // "GT10" read little-endian
constexpr int SettingsFileBytes = 496;

// The folder of the settings file, ending in "/": $XDG_DATA_HOME (when absolute)
// or home + ".local/share/", then "Quillcraft/Tintwell/". Empty when neither is
// known (a relative folder would land in the working folder).
String SettingsFolderPath();

// What a settings file held. A file cut short holds fewer fields: Fields counts
// the numbers read (0..3: width, height, quality) and PresetRecords the whole
// user preset records after them (0..8).
struct StoredSettings {
    int Fields = 0;
    int32_t MaxWidth = 0, MaxHeight = 0, Quality = 0;
    int PresetRecords = 0;
    TonePreset UserPresets[UserPresetCount] = {};
};

// Reads the file at `path`. 1 when it starts with the magic (*settings then holds
// what followed), 0 when it is missing, unreadable or of another kind.
int ReadSettingsFile(const String &path, StoredSettings *settings);
