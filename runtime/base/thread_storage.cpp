#include "runtime/base/thread_storage.h"

#include <algorithm>
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
    size_t size = 0;        // bytes of `block`
    size_t initialised = 0; // slices whose initialiser has run on this block
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
    // A library that registers its slice after this thread's block was made (a
    // start-up order mistake) still gets a slice: the block grows, zeroed.
    if (Current.size < BlockSize || !Current.block) {
        size_t size = BlockSize ? BlockSize : 8;
        auto *block = static_cast<unsigned char *>(std::realloc(Current.block, size));
        if (!block) return nullptr;
        std::fill(block + Current.size, block + size, 0);
        Current.block = block;
        Current.size = size;
    }
    for (; Current.initialised < Slices.size(); Current.initialised++) {
        const SliceInfo &s = Slices[Current.initialised];
        if (s.initialise) s.initialise(Current.block + s.offset);
    }
    return Current.block + offset;
}

void AtThreadExit(void (*routine)(void *data), void *data) {
    Current.exitList.emplace_back(routine, data);
}

void FinishThreadStorage() {
    if (Current.block) {
        for (size_t i = 0; i < Current.initialised; i++)
            if (Slices[i].release) Slices[i].release(Current.block + Slices[i].offset);
        std::free(Current.block);
        Current.block = nullptr;
        Current.size = 0;
        Current.initialised = 0;
    }
    while (!Current.exitList.empty()) {
        auto [routine, data] = Current.exitList.back();
        Current.exitList.pop_back();
        routine(data);
    }
}
