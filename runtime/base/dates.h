// Date values and the millisecond clock. A date is a signed 64-bit count of
// seconds since 1970-01-01 00:00:00 taken without any time-zone shift: the fields
// that go in are the fields that come out. Valid dates run from 1970-01-01
// 00:00:00 to 9999-12-31 23:59:59, every date a four-digit year can show; -1 is
// the invalid date. Callable from any thread.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

constexpr int64_t InvalidDate = -1;
constexpr int64_t LastValidDate = 253402300799; // 9999-12-31 23:59:59

// The local wall-clock time, its fields encoded as a date value.
int64_t CurrentDate();
// The date of these fields; InvalidDate when a field is out of range (month
// 1..12, day within its month, hour 0..23, minute and second 0..59) or the year
// lies outside 1970..9999.
int64_t CurrentDate(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute,
                    int64_t second);
// The mask with "%yyyy", "%yy", "%mm", "%dd", "%hh", "%ii" and "%ss" (any case)
// replaced by the date's fields; two-digit fields have a leading zero. A "%" that
// starts no token stays as it is. A date outside the valid range shows all fields
// as zeros ("0000" for the year).
String FormatDateMask(const String &mask, int64_t date);
// Milliseconds of a monotonic clock counted from the whole second of the first
// call, so the first call answers 0..999. A change of the system clock does not
// move it.
int64_t MillisecondClock();
