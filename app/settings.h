// The settings file Tintwell.dat in DataFolder: maximum size, JPEG quality and
// the eight user presets, 496 bytes (magic "GT10", three 32-bit little-endian
// numbers, rows 25..32 of the preset table as they lie in memory). Main thread
// only.
#pragma once

// Reads the file once at start-up into the size fields, the quality choice and
// the user preset rows; a missing or foreign file changes nothing, and a file cut
// short changes only what it still holds.
void LoadSettings();
// Writes the file when the program quits and right after a user preset is
// stored. The file is replaced whole or not at all; a file of another kind under
// the name is never touched. Failures are silent.
void SaveSettings();
