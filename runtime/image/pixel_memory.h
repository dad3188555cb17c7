// Memory for the pixels of pictures. Blocks of large pictures are kept for the
// next picture of the same thread instead of going back to the system: a fresh
// 100 MB block costs a page fault for every 4 KiB that is then written (about
// 30 ms for a 24-megapixel picture), a kept one does not. Each thread keeps at
// most two blocks (a picture and its resized copy), freed when the thread ends.
// Any thread; a block may be given back on another thread than took it.
#pragma once

#include <cstddef>

// `bytes` of memory, zeroed when asked; nullptr when there is none.
unsigned char *TakePixelMemory(size_t bytes, bool zeroed);
// Gives back memory from TakePixelMemory (nullptr is ignored).
void GivePixelMemory(unsigned char *memory);
