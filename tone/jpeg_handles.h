// The two TurboJPEG handles the program keeps for its whole life: one decompressor
// for the JPEG loader and one compressor for the JPEG saver.
//
// A TurboJPEG handle can be left unusable by a failure: after a rejected header
// (a 12-bit file, for instance) the decompressor refuses every later JPEG. So a
// caller whose header read, decode or compression failed replaces the handle with
// a fresh one before returning, and the next file starts clean.
//
// StartJpegHandles runs once at start-up (tests call it too) before any loader or
// saver. The decompressor is used by one thread at a time (the worker during a
// conversion, the main thread otherwise); the compressor by the worker only.
#pragma once

#include <cstdint>
#include <turbojpeg.h>

extern tjhandle JpegDecompressor;
extern tjhandle JpegCompressor;

// Creates whichever handle is missing. Returns 1 when both exist afterwards, else 0.
// Idempotent.
int StartJpegHandles();

// Destroys both handles (end of the program).
void EndJpegHandles();

// Destroy the handle and create a fresh one. Return 1 when the new handle exists.
int ReplaceJpegDecompressor();
int ReplaceJpegCompressor();

// TurboJPEG's pixel format for a drawing buffer layout (the flags of
// TargetLayout), tested in the order 0x20 R,G,B,A; 0x08 R,G,B; 0x40 B,G,R,A;
// otherwise 3-byte B,G,R.
int JpegPixelFormat(int64_t layout);
