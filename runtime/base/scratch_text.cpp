#include "runtime/base/scratch_text.h"

#include <cstring>

size_t ScratchMark() {
    return ThreadStringScratch().position;
}

void AppendScratch(const char16_t *units, size_t count) {
    if (count == 0) return;
    size_t bytes = count * sizeof(char16_t);
    unsigned char *at = ReserveScratch(bytes);
    if (!at) return;
    std::memcpy(at, units, bytes);
    ThreadStringScratch().position += bytes;
}

void AppendScratch(char16_t unit) {
    AppendScratch(&unit, 1);
}

String TakeScratchText(size_t mark) {
    StringScratch &scratch = ThreadStringScratch();
    size_t bytes = scratch.position > mark ? scratch.position - mark : 0;
    String text(bytes / sizeof(char16_t), u'\0');
    if (bytes) std::memcpy(text.data(), scratch.bytes + mark, text.size() * sizeof(char16_t));
    scratch.position = mark;
    return text;
}
