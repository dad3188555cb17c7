#include "batch/batch_resume.h"

#include "convert/conversion_types.h"
#include "convert/output_name.h"
#include "runtime/base/paths.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

String PlainOutputName(const String &path, const String &outputFolder, int32_t format) {
    std::string native;
    int descriptor = NativePath(path, &native) ? OpenRegularFileForReading(native) : -1;
    if (descriptor < 0) return String();
    unsigned char head[3] = {0, 0, 0};
    bool jpeg =
        read(descriptor, head, 3) == 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
    close(descriptor);
    // The loader tries JPEG first; the saver follows the loader unless a format
    // is asked for.
    String target = outputFolder + FileNamePart(path);
    return WrittenAsJpeg(format, jpeg) ? JpegOutputName(target) : PngOutputName(target);
}

int64_t RemoveStaleDrafts(const String &folder) {
    std::string base;
    if (!NativePath(folder, &base)) return 0;
    if (base.back() != '/') base += '/';
    DIR *stream = opendir(base.c_str());
    if (!stream) return 0;
    int64_t removed = 0;
    pid_t self = getpid();
    time_t now = time(nullptr);
    while (dirent *entry = readdir(stream)) {
        int64_t process = DraftProcess(entry->d_name);
        if (process <= 0 || process == self || process > INT32_MAX) continue;
        // EPERM: the process runs under another user; only ESRCH says it is gone.
        if (kill(pid_t(process), 0) == 0 || errno != ESRCH) continue;
        std::string path = base + entry->d_name;
        struct stat status;
        if (lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
            now - status.st_mtime < StaleDraftSeconds)
            continue;
        removed += unlink(path.c_str()) == 0;
    }
    closedir(stream);
    return removed;
}
