// What the fuzz targets share: a check that stops the run when a property of a
// parser's answer does not hold (so libFuzzer saves the input), and a scratch
// file for the parsers that only read from a path.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

// Aborts with the failed condition; libFuzzer and the replay treat that as a
// crash of the input being run.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// A fresh folder in memory (/dev/shm, else /tmp) for the target's files, made once
// per process; ends with "/". The folder is left for the system to clear, since
// libFuzzer ends the process from many places.
inline const std::string &FuzzScratchFolder() {
    static const std::string folder = [] {
        for (const char *base : {"/dev/shm", "/tmp"}) {
            std::string pattern = std::string(base) + "/tintwell-fuzz-XXXXXX";
            if (mkdtemp(pattern.data())) return pattern + "/";
        }
        std::fprintf(stderr, "fuzz: no scratch folder\n");
        std::abort();
    }();
    return folder;
}

// Replaces the file at `path` with exactly `size` bytes; aborts when it cannot,
// since every later answer would be about the wrong file.
inline void WriteWholeFile(const std::string &path, const unsigned char *data, size_t size) {
    int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FUZZ_CHECK(descriptor >= 0);
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(descriptor, data + done, size - done);
        FUZZ_CHECK(n > 0);
        done += size_t(n);
    }
    FUZZ_CHECK(close(descriptor) == 0);
}
