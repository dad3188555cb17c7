// The drawings of the main window's right-hand colour panel: the colour field,
// the stop strip, the tone-shift slider and the toned sample, and the stop's
// colour in the three number fields. Also the state they draw from: the sample's
// luminance and the tone shift. Main thread only, except that the conversion
// worker reads ToneShift (never changed while it runs).
#pragma once

#include "tone/colour_table.h"

#include <cstdint>

constexpr int SampleWidth = 256;
constexpr int SampleHeight = 192;
// One value per sample pixel, plus one spare slot.
constexpr int SampleLuminanceSlots = SampleWidth * SampleHeight + 1;

constexpr int ToneShiftLimit = 116;

// Colours of the panel (0xBBGGRR) and the stop strip's geometry.
constexpr int64_t PanelBackground = 0xE8E8E8;
constexpr int64_t StripGrey = 0xB0B0B0;
constexpr int StopPitch = 19; // a stop square and its gap, in pixels

// Luminance of the sample picture, row after row, 256 values a row; taken once
// per sample picture by RedrawSample, then re-toned from here on every change.
extern uint16_t SampleLuminance[SampleLuminanceSlots];
// 1 while the left button that went down on the slider has not come up.
extern int SliderHeld;

// Ten blocks of colours and a grey column, drawn once into GadgetColourField.
void DrawColourField();
// The nine stop squares (set: their colour; unset: a cross) with the selected one
// framed. ownDrawing 1 opens and closes drawing on the strip itself; 0 draws into
// the strip canvas the caller already has open.
void DrawStopStrip(int ownDrawing);
// The hover marks: grey lines above and below stop k (0..8), or none for k = -1.
// Draws into the strip canvas the caller has open.
void DrawStopHoverMarks(int k);
// GadgetRed/Green/Blue show the colour bytes of the selected stop, set or not.
void ShowStopInFields();
// Tones the sample canvas from SampleLuminance (taking the luminance first if
// ImageSample exists, which is then freed).
void RedrawSample();
// The slider strip picture at x = ToneShift - 122, so its sun marks the value.
void DrawShiftSlider();
