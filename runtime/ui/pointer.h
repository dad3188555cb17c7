// The mouse pointer on the screen. Main thread only.
#pragma once

#include <cstdint>

// Pointer position on the main screen, y measured from the top.
int PointerScreenX();
int PointerScreenY();
