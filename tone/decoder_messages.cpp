#include "tone/decoder_messages.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <dlfcn.h>

namespace {

constexpr size_t MostKept = 4096;

thread_local DecoderMessages *Innermost = nullptr;

using Vfprintf = int (*)(FILE *, int, const char *, va_list);

// The C library's own function, the one this file stands in front of.
Vfprintf NextVfprintf() {
    static const Vfprintf next = reinterpret_cast<Vfprintf>(dlsym(RTLD_NEXT, "__vfprintf_chk"));
    return next;
}

int Keep(std::string &text, const char *format, va_list arguments) {
    char line[512];
    int length = std::vsnprintf(line, sizeof line, format, arguments);
    if (length <= 0) return length;
    size_t kept = size_t(length) < sizeof line ? size_t(length) : sizeof line - 1;
    if (text.size() + kept > MostKept) kept = MostKept - text.size();
    text.append(line, kept);
    return length;
}

} // namespace

DecoderMessages::DecoderMessages() : outer(Innermost) {
    Innermost = this;
}

DecoderMessages::~DecoderMessages() {
    Innermost = outer;
}

// Found before the C library's by the dynamic linker, for every library the
// program loads: what the shared libraries print through it comes here first.
extern "C" int __vfprintf_chk(FILE *stream, int flag, const char *format, va_list arguments) {
    if (Innermost && stream == stderr) return Keep(Innermost->text, format, arguments);
    Vfprintf next = NextVfprintf();
    return next ? next(stream, flag, format, arguments) : -1;
}
