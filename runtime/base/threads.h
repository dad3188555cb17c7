// Threads started by the runtime, and the list that answers whether they still run.
//
// A thread number is the runtime's own non-zero identifier of a thread it started
// (never reused within a run); ThreadHandleOf gives the platform handle. A thread
// is listed from SpawnThread until its procedure has returned and its exit work
// (string buffer, per-thread storage, exit list) is done; ThreadAlive and
// JoinThreadFor answer from that list, never by signalling a platform handle that
// may already be gone. Callable from any thread.
#pragma once

#include <cstdint>
#include <mutex>

using ThreadProcedure = void (*)(int64_t argument);

// Guards the thread list; taken alone, never together with another runtime lock.
extern std::recursive_mutex &ThreadListLock;

// Starts procedure(argument) on a new detached thread with a 1 MiB stack.
// Returns the thread number, 0 on failure (then nothing is left behind).
int64_t SpawnThread(ThreadProcedure procedure, int64_t argument);

// 1 while the thread is listed, else 0 (also for 0 or any value never issued).
int ThreadAlive(int64_t thread);

// Waits up to timeoutMs milliseconds for the thread to end. 1 when it has ended
// (or never existed), 0 when it still runs at the end of the wait.
int JoinThreadFor(int64_t thread, int64_t timeoutMs);

// The platform handle (pthread_t) of a listed thread, 0 if not listed.
int64_t ThreadHandleOf(int64_t thread);

// Makes sure the calling thread has its temporary string buffer. Threads started by
// SpawnThread have one before their procedure runs; other threads call this before
// using string functions.
void EnsureThreadStrings();
