// A file size limit (RLIMIT_FSIZE) on the test process while it lives, with
// SIGXFSZ ignored: a write past it fails with EFBIG, as a full disk fails a
// write, instead of killing the test. The old limit and handler come back after.
#pragma once

#include <csignal>
#include <sys/resource.h>

struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        if (getrlimit(RLIMIT_FSIZE, &old) != 0) return;
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = old;
        limit.rlim_cur = bytes;
        set = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() { Lift(); }
    // Restores the old limit and handler now rather than at the end of scope.
    void Lift() {
        if (!set) return;
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        set = false;
    }

    bool set = false; // whether the limit is in force
    struct rlimit old {};
    void (*oldHandler)(int) = SIG_DFL;
};
