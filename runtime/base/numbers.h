// Number parsing and formatting, rounding, float-to-integer conversion and the
// per-thread random generator. Callable from any thread: string results are built
// in the calling thread's scratch buffer and each thread has its own generator.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

// Integer type codes shared with FillBlock.
constexpr int TypeInt8 = 1, TypeAsciiChar = 24;                   // 8-bit
constexpr int TypeInt16 = 3, TypeUnicodeChar = 11, TypeWord = 25; // 16-bit
constexpr int TypeInt32 = 5;                                      // 32-bit
constexpr int TypeInt64 = 21;                                     // 64-bit

// Signed decimal.
String FormatInteger(int64_t n);
// Upper-case hexadecimal of the low 8, 16, 32 or 64 bits of n (by type code; any
// other code: 64), without leading zeros but at least one digit.
String FormatHex(int64_t n, int type = TypeInt64);
// Signed 64-bit value: leading spaces and tabs skipped, one optional sign, then
// "%" binary or "$" hexadecimal (either case) or decimal digits up to the first
// unit that is not a digit of the base. No digits gives 0; overflow wraps.
int64_t ParseInteger(const String &s);
// Mode 2: nearest, halves away from zero; 1: ceiling; any other: floor.
double RoundReal(double x, int mode);
// Truncates towards zero; infinities and NaN give 0, finite values beyond the
// 64-bit range give the nearest 64-bit value.
int64_t RealToInteger(double x);
// Uniform integer 0..max from the calling thread's generator (seeded on first
// use); 0 for max <= 0.
int64_t RandomInt(int64_t max);
