#include "runtime/image/pixel_memory.h"

#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <utility>

namespace {

// Smaller blocks come and go cheaply through the allocator's own free lists.
constexpr size_t KeptFromBytes = size_t(8) << 20;

// Plain data, so it can still be read after the thread's objects have been
// destroyed (pictures released while the program ends).
struct KeptBlocks {
    unsigned char *memory[2];
    bool ended; // the thread is ending: nothing more is kept
};

thread_local KeptBlocks Kept = {{nullptr, nullptr}, false};

// Frees the thread's kept blocks when the thread ends.
struct KeptBlocksOwner {
    bool started = false;
    ~KeptBlocksOwner() {
        for (unsigned char *&m : Kept.memory) {
            std::free(m);
            m = nullptr;
        }
        Kept.ended = true;
    }
};

thread_local KeptBlocksOwner Owner;

size_t Capacity(const unsigned char *memory) {
    return memory ? malloc_usable_size(const_cast<unsigned char *>(memory)) : 0;
}

} // namespace

unsigned char *TakePixelMemory(size_t bytes, bool zeroed) {
    if (bytes >= KeptFromBytes) {
        // The smallest kept block that holds the picture and is not more than
        // twice its size (a small picture must not pin a huge block).
        int best = -1;
        for (int n = 0; n < 2; n++) {
            size_t capacity = Capacity(Kept.memory[n]);
            if (capacity >= bytes && capacity / 2 <= bytes &&
                (best < 0 || capacity < Capacity(Kept.memory[best])))
                best = n;
        }
        if (best >= 0) {
            unsigned char *memory = Kept.memory[best];
            Kept.memory[best] = nullptr;
            if (zeroed) std::memset(memory, 0, bytes);
            return memory;
        }
    }
    return static_cast<unsigned char *>(zeroed ? std::calloc(bytes, 1) : std::malloc(bytes));
}

void GivePixelMemory(unsigned char *memory) {
    size_t capacity = Capacity(memory);
    if (capacity >= KeptFromBytes && !Kept.ended) {
        Owner.started = true; // makes sure the owner exists to free them

        // Into an empty place, else in place of the smaller kept block.
        int place = !Kept.memory[0] ? 0
                    : !Kept.memory[1]
                        ? 1
                        : (Capacity(Kept.memory[0]) < Capacity(Kept.memory[1]) ? 0 : 1);
        if (Capacity(Kept.memory[place]) < capacity) std::swap(Kept.memory[place], memory);
    }
    std::free(memory);
}
