// Number parsing and formatting, rounding and the per-thread random generator.
// Callable from any thread: string results are built in the calling thread's
// scratch buffer and each thread has its own generator.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

// Signed decimal.
String FormatInteger(int64_t n);
// Signed 64-bit value: leading spaces and tabs skipped, one optional sign, then
// "%" binary or "$" hexadecimal (either case) or decimal digits up to the first
// unit that is not a digit of the base. No digits gives 0; overflow wraps.
int64_t ParseInteger(const String &s);
// Mode 2: nearest, halves away from zero; 1: ceiling; any other: floor.
double RoundReal(double x, int mode);
// Uniform integer 0..max from the calling thread's generator (seeded on first
// use); 0 for max <= 0.
int64_t RandomInt(int64_t max);
