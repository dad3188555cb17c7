// The TurboJPEG handles of the JPEG loader (a decompressor) and the JPEG saver (a
// compressor), one pair per thread: each thread that loads or saves JPEG files
// gets its own pair on first use, and the pair is destroyed when the thread ends,
// so any number of threads may convert files at once.
//
// A TurboJPEG handle can be left unusable by a failure: after a rejected header
// (a 12-bit file, for instance) the decompressor refuses every later JPEG. So a
// caller whose header read, decode or compression failed replaces the handle with
// a fresh one before returning, and the next file starts clean.
//
// The loader and the saver call StartJpegHandles themselves; start-up calls it
// too, so a missing library fails early.
#pragma once

#include <cstdint>
#include <turbojpeg.h>

// The calling thread's handles; nullptr until StartJpegHandles made them.
tjhandle JpegDecompressor();
tjhandle JpegCompressor();

// Creates whichever handle of the calling thread is missing. Returns 1 when both
// exist afterwards, else 0. Idempotent and cheap once both exist.
int StartJpegHandles();

// Destroys the calling thread's handles (also done when the thread ends).
void EndJpegHandles();

// Destroy the handle and create a fresh one. Return 1 when the new handle exists.
int ReplaceJpegDecompressor();
int ReplaceJpegCompressor();

// TurboJPEG's pixel format for a drawing buffer layout (the flags of
// TargetLayout), tested in the order 0x20 R,G,B,A; 0x08 R,G,B; 0x40 B,G,R,A;
// otherwise 3-byte B,G,R.
int JpegPixelFormat(int64_t layout);
