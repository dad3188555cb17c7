// Raw memory blocks that remember their size, and the conversions between Strings
// and text in memory (UTF-8, one byte per character, UTF-16). Callable from any
// thread; a block is used by one thread at a time.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

constexpr int BlockNotCleared = 1;  // AllocBlock / ResizeBlock: skip zeroing
constexpr int NoTerminator = 0x100; // WriteMemoryString: write no zero at the end

// A block of `size` bytes, zero-filled unless BlockNotCleared; nullptr when
// size <= 0 or memory runs out. The size is kept just before the first byte.
void *AllocBlock(int64_t size, int flags = 0);
// Resizes keeping the contents; the grown part is zeroed unless BlockNotCleared.
// With no block it allocates. nullptr on failure or size <= 0, and then the old
// block stays valid and unchanged.
void *ResizeBlock(void *block, int64_t size, int flags = 0);
void FreeBlock(void *block);
// The size a block was made with; 0 for no block.
int64_t BlockSize(const void *block);
// Copies length bytes; the ranges may overlap.
void CopyBlock(const void *source, void *destination, int64_t length);
// Fills length bytes with value repeated as a unit of the integer type code
// (TypeInt8 ... TypeInt64 of numbers.h; any other code: bytes), little-endian; a
// trailing part unit gets the unit's first bytes.
void FillBlock(void *block, int64_t length, int64_t value, int type);

// Reads a string: length -1 reads up to the terminating zero; otherwise at most
// length units (UTF-16), bytes (one-byte text) or characters (UTF-8), stopping
// early at a zero. Malformed UTF-8 gives U+FFFD. Empty for an unknown format.
String ReadMemoryString(const void *address, int64_t length, int format);
// Writes at most length units of s (-1: all) in the format (text format, optionally
// | NoTerminator) and a terminating zero unless NoTerminator; answers the bytes
// written without the terminator. In the one-byte format units above 255 become
// "?". 0 for an unknown format or no address.
int64_t WriteMemoryString(void *address, const String &s, int64_t length, int format);
int32_t ReadMemoryLong(const void *address);
uint16_t ReadMemoryChar(const void *address);
