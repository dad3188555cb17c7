// Building string results in the calling thread's scratch buffer. A function that
// returns a new string notes the scratch position, appends its pieces there and
// then takes the text out as a String, which puts the position back where it was.
// Nested results therefore stack up behind each other in one buffer per thread.
// Callable from any thread; each thread only ever touches its own buffer.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstddef>

// The current scratch position, to hand back to TakeScratchText.
size_t ScratchMark();

// Appends code units at the position. When memory runs out the units are dropped:
// string functions never fail, they only come out shorter.
void AppendScratch(const char16_t *units, size_t count);
void AppendScratch(char16_t unit);

// The text appended since `mark`, copied out; the position goes back to `mark`.
String TakeScratchText(size_t mark);
