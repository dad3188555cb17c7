// The preset table (23 built-in tones, two separator rows, eight user slots) and
// the stop list in force that the main window edits.
//
// The table is one packed block: 33 records of 60 bytes followed by four zero
// bytes that end the list. Rows 0..24 never change; rows 25..32 (one 480-byte
// block, names included) change through StoreUserPreset and when the settings file
// is loaded. Row numbers are the item numbers of the preset list in the window.
//
// Everything here runs on the main thread only. The conversion worker does not
// read these globals; it reads the colour table they were built into.
#pragma once

#include <cstdint>

#include "runtime/base/string_scratch.h"
#include "tone/colour_table.h"

constexpr int PresetNameBytes = 24;
constexpr int PresetRowCount = 33;
constexpr int FirstUserPresetRow = 25;
constexpr int UserPresetCount = 8;

// One preset: the name in ASCII padded with spaces to 24 bytes (no terminator),
// then stops 0..8.
struct TonePreset {
    char name[PresetNameBytes];
    GradientStop stops[StopCount];
};
static_assert(sizeof(TonePreset) == 60, "a preset record is 60 bytes with no padding");

struct PresetRows {
    TonePreset rows[PresetRowCount];
    uint8_t end[4]; // all zero: the list ends at the first record whose name starts with 0
};
static_assert(sizeof(PresetRows) == 33 * 60 + 4, "the preset table is one packed block");

extern PresetRows PresetTable;

// The nine stops in force and the stop the editor has selected (0..8). Edits that
// name no stop act on the selected one.
extern GradientStop CurrentStops[StopCount];
extern int SelectedStop;

// The 24 name characters of row 0..32, padding included; empty for any other row.
String PresetName(int row);

// Copies the stops of row 0..32 into CurrentStops and rebuilds the colour table
// (a separator gives nine unset stops: black to white). Returns 0 for any other row.
int ChoosePreset(int row);

// Copies CurrentStops into user preset n (1..8), keeping its name; the colour
// table is not touched. Returns 0 for any other n.
int StoreUserPreset(int n);
