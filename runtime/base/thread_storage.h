// Per-thread runtime storage. Each runtime library that keeps state per thread
// (drawing output, vector drawing, image decoding, toolkit bookkeeping) registers
// one slice during start-up, before a second thread exists; every thread then gets
// one zeroed block holding all slices, made on its first request, with each
// slice's initialiser run on it. At thread exit the slices' release routines run,
// then the thread's exit list in reverse order of registration.
#pragma once

#include <cstddef>

using ThreadSliceRoutine = void (*)(void *slice);

// Registers a slice of `size` bytes (rounded up to a multiple of 8) and returns its
// offset. Start-up only. Either routine may be null.
size_t RegisterThreadSlice(size_t size, ThreadSliceRoutine initialise, ThreadSliceRoutine release);

// The calling thread's slice at `offset`, creating the thread's block on first use.
void *ThreadSlice(size_t offset);

// Adds (routine, data) to the calling thread's exit list.
void AtThreadExit(void (*routine)(void *data), void *data);

// Runs the calling thread's exit work now (slice releases, then the exit list) and
// forgets its block. The thread start routine calls it so that a thread's exit work
// is done before the thread is reported as ended; threads the runtime did not start
// get the same work from a thread-local destructor.
void FinishThreadStorage();
