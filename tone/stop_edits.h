// Edits of the stop list in force (CurrentStops, SelectedStop in tone/presets.h).
//
// Colours are R + G * 256 + B * 65536; every edit stores a colour with A = 0xFF or
// the value 0 (unset). None of these rebuilds the colour table: after an edit the
// caller calls BuildColourTable(CurrentStops) and redraws. Main thread only.
#pragma once

#include "tone/colour_table.h"

// CurrentStops[SelectedStop] = colour, opaque.
void SetStopColour(uint32_t colour);

// Unsets stop k (0..8) and selects it. Any other k does nothing.
void ClearStop(int k);

// Selects stop k (0..8). Any other k does nothing.
void SelectStop(int k);

// Brightness of a colour, Q = 0.23 R^2 + 0.7 G^2 + 0.07 B^2 (0..65025): the measure
// by which a colour is matched to a stop position (stop k suits Q near (32 k)^2).
double StopBrightness(uint32_t colour);

// Stores the colour, opaque, into the stop whose position matches its brightness:
// k = sqrt(Q) / 32 rounded half away from zero. SelectedStop is not changed.
void PlaceColourByBrightness(uint32_t colour);

// Stores into the selected stop the best of 32 random colours: the first whose
// rounded brightness lies nearest to (32 * SelectedStop)^2.
void RandomStopColour();
