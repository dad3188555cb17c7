#include "runtime/base/threads.h"

#include "runtime/base/thread_storage.h"

#include <chrono>
#include <condition_variable>
#include <pthread.h>

// The lock and the condition below are made once and never destroyed: a detached
// thread may still leave the list while the process runs its exit handlers.
std::recursive_mutex &ThreadListLock = *new std::recursive_mutex;

namespace {

struct ThreadRecord {
    ThreadRecord *previous = nullptr;
    ThreadRecord *next = nullptr;
    int64_t number = 0;
    pthread_t handle{};
    ThreadProcedure procedure = nullptr;
    int64_t argument = 0;
};

// The doubly linked ThreadList, newest first, and the condition that announces
// that a record left it. Both guarded by ThreadListLock.
ThreadRecord *ThreadList = nullptr;
int64_t LastThreadNumber = 0;
std::condition_variable_any &ThreadEnded = *new std::condition_variable_any;

constexpr size_t ThreadStackBytes = 1048576;

void Unlink(ThreadRecord *record) {
    if (record->previous)
        record->previous->next = record->next;
    else
        ThreadList = record->next;
    if (record->next) record->next->previous = record->previous;
}

ThreadRecord *FindListed(int64_t thread) {
    for (ThreadRecord *r = ThreadList; r; r = r->next)
        if (r->number == thread) return r;
    return nullptr;
}

void *ThreadStart(void *data) {
    auto *record = static_cast<ThreadRecord *>(data);
    {
        // Waits until the creator has stored the platform handle.
        std::lock_guard lock(ThreadListLock);
    }
    EnsureThreadStrings();
    record->procedure(record->argument);
    FinishThreadStorage();
    {
        std::lock_guard lock(ThreadListLock);
        Unlink(record);
        ThreadEnded.notify_all();
    }
    delete record;
    return nullptr;
}

} // namespace

int64_t SpawnThread(ThreadProcedure procedure, int64_t argument) {
    std::lock_guard lock(ThreadListLock);
    auto *record = new (std::nothrow) ThreadRecord;
    if (!record) return 0;
    record->procedure = procedure;
    record->argument = argument;
    record->number = ++LastThreadNumber;

    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        delete record;
        return 0;
    }
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attributes, ThreadStackBytes);
    int failed = pthread_create(&record->handle, &attributes, ThreadStart, record);
    pthread_attr_destroy(&attributes);
    if (failed) {
        delete record;
        return 0;
    }
    record->next = ThreadList;
    if (ThreadList) ThreadList->previous = record;
    ThreadList = record;
    return record->number;
}

int ThreadAlive(int64_t thread) {
    std::lock_guard lock(ThreadListLock);
    return thread != 0 && FindListed(thread) ? 1 : 0;
}

int JoinThreadFor(int64_t thread, int64_t timeoutMs) {
    std::unique_lock lock(ThreadListLock);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (thread != 0 && FindListed(thread)) {
        if (ThreadEnded.wait_until(lock, deadline) == std::cv_status::timeout)
            return FindListed(thread) ? 0 : 1;
    }
    return 1;
}

int64_t ThreadHandleOf(int64_t thread) {
    std::lock_guard lock(ThreadListLock);
    ThreadRecord *record = thread ? FindListed(thread) : nullptr;
    return record ? int64_t(record->handle) : 0;
}
