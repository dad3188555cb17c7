// Start-up of the image runtime. Call from the main thread before any other
// thread uses images, drawing outputs or codecs. Both calls are idempotent.
#pragma once

// Registers the per-thread drawing output and decode state and the BMP entry,
// and loads the platform reader's plug-ins on this (the main) thread.
void StartImageRuntime();
// Registers the PNG decoder and encoder (after StartImageRuntime).
void RegisterPngCodec();
// Frees every image (at exit).
void EndImageRuntime();
