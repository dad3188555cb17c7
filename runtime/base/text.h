// String functions the program is written against, and the one conversion pair
// between String (UTF-16) and UTF-8 that every module uses for paths and texts.
// Strings have value semantics; every function returns a new string and never
// fails: counts out of range are clamped. Callable from any thread (results are
// built in the calling thread's own scratch buffer).
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Length in code units.
int64_t TextLength(const String &s);
// Lower case by the wide-character mapping of the current locale.
String TextLower(const String &s);
// Non-overlapping occurrences of part, scanning left to right; 0 if either is empty.
int64_t CountOccurrences(const String &s, const String &part);
// The index-th field (from 1) of s split at delimiter (a single unit or a longer
// text matched whole); empty for an index <= 0 or beyond the last field.
String TextField(const String &s, int64_t index, const String &delimiter);
// Exactly `length` units: the first min(length, TextLength(s)) units of s,
// right-aligned behind copies of the first unit of pad (a space when pad is empty).
String PadLeft(const String &s, int64_t length, const String &pad = u" ");

// File names are bytes, not always UTF-8, and must reach the file system as
// they came. A byte that is not part of a valid UTF-8 sequence is carried as the
// lone surrogate U+DC00 + byte (U+DC80..U+DCFF), so that
// Utf8Of(StringFromUtf8(b)) == b for any bytes b.
//
// UTF-16 to UTF-8: U+DC80..U+DCFF alone become their byte again; any other
// unpaired surrogate becomes U+FFFD.
std::string Utf8Of(const String &s);
// UTF-8 to UTF-16; each byte of a malformed sequence becomes U+DC00 + byte.
String StringFromUtf8(std::string_view utf8);
// UTF-8 for showing a text (a file name) to a person: a carried byte or an
// unpaired surrogate shows as U+FFFD, a control character (C0, DEL, C1) as '?',
// so a name can neither break a line nor steer a terminal.
std::string PrintableUtf8(const String &s);

// Decodes one character at bytes (at most `available` bytes are looked at and a
// zero byte is never taken as part of a sequence). Writes the code point (U+FFFD
// for a malformed sequence) and answers the bytes consumed, 0 only when available
// is 0.
size_t DecodeUtf8Char(const unsigned char *bytes, size_t available, char32_t *codePoint);
// Encodes a code point (U+FFFD for surrogates and values past U+10FFFF) into
// out[0..3]; answers the byte count.
size_t EncodeUtf8Char(char32_t codePoint, unsigned char out[4]);
// Appends a code point as one unit or a surrogate pair to the scratch text.
void AppendScratchCodePoint(char32_t codePoint);
