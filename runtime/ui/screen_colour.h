// The colour of the screen pixel under the mouse pointer. Main thread only.
#pragma once

#include <cstdint>

// R + G*256 + B*65536 + 0xFF000000 of the one screen pixel under the pointer;
// opaque black when the platform does not let the screen be read.
uint32_t ScreenColourUnderPointer();
