// The handlers bound to the main window's gadgets and to the slider timer, and
// the binding of them at start-up. Each reads the current event. Main thread only.
#pragma once

// Chooses the selected preset row (nothing when no row is selected) and redraws.
void PresetListHandler();
// Hover marks, selecting (left click) and clearing (right click) a stop.
void StopStripHandler();
// A left click takes the colour of the clicked pixel into the selected stop.
void ColourFieldHandler();
// Typing or stepping in the R, G, B fields: clamps the field to 0..255 and
// stores the three values into the selected stop.
void ColourFieldsHandler();
// Slider presses, moves and releases, and the ticks of the slider timer.
void SliderHandler();
// The STOP button: asks the worker to stop.
void StopHandler();
// Catches the built-in sample picture again and redraws the sample.
void ResetSample();

// Binds all of the above (and the help, About, folder and preview commands).
void BindMainWindowHandlers();
