#include "runtime/base/string_scratch.h"

#include "runtime/base/thread_storage.h"
#include "runtime/base/threads.h"

#include <cstdlib>

namespace {

thread_local StringScratch *Scratch = nullptr;

void ReleaseScratch(void *data) {
    auto *scratch = static_cast<StringScratch *>(data);
    std::free(scratch->bytes);
    delete scratch;
    Scratch = nullptr;
}

} // namespace

void EnsureThreadStrings() {
    if (Scratch) return;
    Scratch = new StringScratch;
    Scratch->bytes = static_cast<unsigned char *>(std::calloc(1, 16));
    Scratch->size = Scratch->bytes ? 16 : 0;
    AtThreadExit(ReleaseScratch, Scratch);
}

StringScratch &ThreadStringScratch() {
    EnsureThreadStrings();
    return *Scratch;
}

unsigned char *ReserveScratch(size_t extra) {
    StringScratch &s = ThreadStringScratch();
    size_t needed = s.position + extra;
    if (needed + 4 >= s.size) {
        size_t grown = needed + 16384;
        auto *bytes = static_cast<unsigned char *>(std::realloc(s.bytes, grown));
        if (!bytes) return nullptr;
        s.bytes = bytes;
        s.size = grown;
    }
    return s.bytes + s.position;
}
