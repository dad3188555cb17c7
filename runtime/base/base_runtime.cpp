#include "runtime/base/base_runtime.h"

#include "runtime/base/bin_file.h"
#include "runtime/base/listing.h"
#include "runtime/base/threads.h"

#include <cerrno>
#include <climits>
#include <clocale>
#include <fcntl.h>
#include <string>
#include <unistd.h>

void EnsureStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor is this one: those below it are open now.
        int null = open("/dev/null", O_RDWR);
        if (null == -1) return; // nothing else could be done
        if (null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
}

void StartBaseRuntime() {
    std::setlocale(LC_ALL, "");
    EnsureThreadStrings();
}

int EnterProgramFolder() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return 0;
    std::string folder(path, size_t(length));
    size_t slash = folder.rfind('/');
    if (slash == std::string::npos) return 0;
    folder.resize(slash + 1);
    return chdir(folder.c_str()) == 0 ? 1 : 0;
}

void EndBaseRuntime() {
    CloseBinFile(-1);
    CloseAllListings();
}
