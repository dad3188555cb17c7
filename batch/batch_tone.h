// The tone of a batch run: chosen by preset (built-in by name or row, or a user
// preset from the window's settings file) or given as stops, plus the two
// commands that only show a tone: --list-presets and --export-lut. Main thread
// only (they set CurrentStops and the colour table before any worker starts).
#pragma once

#include "tone/settings_file.h"

#include <cstdio>
#include <string>

// The preset row that `name` names: a row number 0..32, a built-in preset's name
// in any case (spaces at the ends ignored), or "User preset n". -1 when none
// does, or the row is a separator.
int FindPresetRow(const std::string &name);

// Sets CurrentStops and builds the colour table: from `stops` when given (the
// window's clipboard form), else from the preset (empty: "Gray"). User preset
// rows take their stops from `stored` when a settings file was read (nullptr:
// none). Answers 1, or 0 with *error naming the problem.
int ChooseBatchTone(const std::string &preset, const std::string &stops, bool stopsGiven,
                    const StoredSettings *stored, std::string *error);

// Every preset row: its number, name and stops in the clipboard form. User rows
// show the stops of `stored` when given.
void ListPresets(std::FILE *out, const StoredSettings *stored);

// Writes the colour table of the tone in force with `shift` applied as a
// 2048 x 1 RGB PNG: pixel L is the colour a pixel of luminance L gets. 1, or 0
// with *error (no partial file is left).
int ExportColourTable(const std::string &path, int shift, std::string *error);
