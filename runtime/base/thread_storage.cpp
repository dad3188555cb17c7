#include "runtime/base/thread_storage.h"

#include <cstdlib>
#include <utility>
#include <vector>

namespace {

struct SliceInfo {
    size_t offset;
    ThreadSliceRoutine initialise;
    ThreadSliceRoutine release;
};

// Written during start-up only, read afterwards without a lock.
std::vector<SliceInfo> Slices;
size_t BlockSize = 0;

struct ThreadBlock {
    unsigned char *block = nullptr;
    std::vector<std::pair<void (*)(void *), void *>> exitList;
    ~ThreadBlock() { FinishThreadStorage(); }
};

thread_local ThreadBlock Current;

} // namespace

size_t RegisterThreadSlice(size_t size, ThreadSliceRoutine initialise, ThreadSliceRoutine release) {
    size_t offset = BlockSize;
    BlockSize += (size + 7) & ~size_t(7);
    Slices.push_back({offset, initialise, release});
    return offset;
}

void *ThreadSlice(size_t offset) {
    if (!Current.block) {
        Current.block = static_cast<unsigned char *>(std::calloc(1, BlockSize ? BlockSize : 8));
        if (!Current.block) return nullptr;
        for (const SliceInfo &s : Slices)
            if (s.initialise) s.initialise(Current.block + s.offset);
    }
    return Current.block + offset;
}

void AtThreadExit(void (*routine)(void *data), void *data) {
    Current.exitList.emplace_back(routine, data);
}

void FinishThreadStorage() {
    if (Current.block) {
        for (const SliceInfo &s : Slices)
            if (s.release) s.release(Current.block + s.offset);
        std::free(Current.block);
        Current.block = nullptr;
    }
    while (!Current.exitList.empty()) {
        auto [routine, data] = Current.exitList.back();
        Current.exitList.pop_back();
        routine(data);
    }
}
