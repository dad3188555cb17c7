#include "runtime/base/decoder_messages.h"

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>

namespace {

constexpr size_t MostKept = 4096;

thread_local DecoderMessages *Innermost = nullptr;
thread_local std::string FirstLine;
constexpr size_t LongestFirstLine = 200;

using Vfprintf = int (*)(FILE *, int, const char *, va_list);

// The C library's own function, the one this file stands in front of (both
// stand-ins print through it).
Vfprintf NextVfprintf() {
    static const Vfprintf next = reinterpret_cast<Vfprintf>(dlsym(RTLD_NEXT, "__vfprintf_chk"));
    return next;
}

// The C library's definition of `name`, of type T.
template <typename T> T Next(const char *name) {
    return reinterpret_cast<T>(dlsym(RTLD_NEXT, name));
}

void KeepBytes(std::string &text, const char *bytes, size_t length) {
    text.append(bytes, std::min(length, MostKept - std::min(MostKept, text.size())));
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
    if (!FirstLine.empty()) return;
    for (size_t at = 0; at < text.size() && FirstLine.empty();) {
        size_t end = std::min(text.find('\n', at), text.size());
        size_t start = text.find_first_not_of(" \t\r", at);
        if (start < end) FirstLine = text.substr(start, std::min(end - start, LongestFirstLine));
        at = end + 1;
    }
}

std::string TakeFirstDecoderLine() {
    std::string line;
    line.swap(FirstLine);
    return line;
}

// Found before the C library's by the dynamic linker, for every library the
// program loads: what the shared libraries print through it comes here first.
extern "C" int __vfprintf_chk(FILE *stream, int flag, const char *format, va_list arguments) {
    if (Innermost && stream == stderr) return Keep(Innermost->text, format, arguments);
    Vfprintf next = NextVfprintf();
    return next ? next(stream, flag, format, arguments) : -1;
}

// libtiff (behind the platform's TIFF plug-in) prints its warnings in pieces:
// the module through this one, the fixed words through the two below.
extern "C" int __fprintf_chk(FILE *stream, int flag, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int printed = __vfprintf_chk(stream, flag, format, arguments);
    va_end(arguments);
    return printed;
}

extern "C" int fputs(const char *text, FILE *stream) {
    if (Innermost && stream == stderr) {
        KeepBytes(Innermost->text, text, std::strlen(text));
        return 1;
    }
    static const auto next = Next<int (*)(const char *, FILE *)>("fputs");
    return next ? next(text, stream) : EOF;
}

// libpng ends its default error message with a line end of its own, which the
// compiler turns from fprintf(stderr, "\n") into a single character's call.
extern "C" int fputc(int character, FILE *stream) {
    if (Innermost && stream == stderr) {
        char byte = char(character);
        KeepBytes(Innermost->text, &byte, 1);
        return (unsigned char)character;
    }
    static const auto next = Next<int (*)(int, FILE *)>("fputc");
    return next ? next(character, stream) : EOF;
}

extern "C" int putc(int character, FILE *stream) {
    return fputc(character, stream);
}

extern "C" size_t fwrite(const void *bytes, size_t size, size_t count, FILE *stream) {
    if (Innermost && stream == stderr) {
        KeepBytes(Innermost->text, static_cast<const char *>(bytes), size * count);
        return count;
    }
    static const auto next = Next<size_t (*)(const void *, size_t, size_t, FILE *)>("fwrite");
    return next ? next(bytes, size, count, stream) : 0;
}
