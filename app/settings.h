// The settings file Tintwell.dat in DataFolder: maximum size, JPEG quality and
// the eight user presets. Main thread only.
#pragma once

// Reads the file once at start-up into the size fields, the quality choice and
// the user preset rows; a missing or foreign file changes nothing.
void LoadSettings();
// Writes the file once, when the program quits.
void SaveSettings();
