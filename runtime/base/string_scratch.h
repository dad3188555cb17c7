// The per-thread temporary string buffer. String results are built here at the
// current position and then copied out into the String the caller keeps, after
// which the position goes back to where that expression began; nested expressions
// therefore stack up in one buffer per thread. Each thread has its own buffer, so
// string work on the worker and the main thread never mixes.
#pragma once

#include <cstddef>
#include <string>

// Strings are UTF-16 code units with value semantics.
using String = std::u16string;

struct StringScratch {
    unsigned char *bytes = nullptr; // growable byte buffer
    size_t size = 0;                // bytes allocated
    size_t position = 0;            // end of the text built so far
};

// The calling thread's buffer, created on first use (16 bytes at first).
StringScratch &ThreadStringScratch();

// Makes sure `extra` more bytes fit behind the position. When the needed end
// reaches size - 4 the buffer grows to the needed end plus 16384 bytes.
// Returns the address at the position, or nullptr when memory runs out.
unsigned char *ReserveScratch(size_t extra);
