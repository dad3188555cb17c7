#include "batch/batch_watch.h"

#include "convert/output_name.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t FileEvents = IN_CLOSE_WRITE | IN_MOVED_TO;
// With --recursive a folder made or moved in is watched too.
constexpr uint32_t FolderEvents = IN_CREATE | IN_MOVED_TO;
// How long a file must stay unchanged before the watch takes it without an event.
constexpr int64_t SettleMs = 2000;

int64_t NowMs(clockid_t clock) {
    timespec now;
    clock_gettime(clock, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The length and modification time of a regular file; false for anything else.
bool FileState(const String &path, int64_t *size, int64_t *changedNs) {
    std::string native;
    struct stat status;
    if (!NativePath(path, &native) || stat(native.c_str(), &status) != 0 ||
        !S_ISREG(status.st_mode))
        return false;
    *size = int64_t(status.st_size);
    *changedNs = int64_t(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return true;
}

// Whether some process has the file open for writing: a read lease is refused
// then. Where no lease can be had (a file of another user, a file system
// without leases) this says no, and the quiet time alone decides.
bool OpenForWriting(const String &path) {
    std::string native;
    if (!NativePath(path, &native)) return false;
    const int descriptor = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return false;
    const bool writing = fcntl(descriptor, F_SETLEASE, F_RDLCK) != 0 && errno == EAGAIN;
    if (!writing) fcntl(descriptor, F_SETLEASE, F_UNLCK);
    close(descriptor);
    return writing;
}

// Files left by the walk that have stayed as they were for SettleMs, and that
// nobody writes, are ready.
void TakeSettled(FolderWatch *w) {
    const int64_t now = NowMs(CLOCK_MONOTONIC);
    for (size_t i = 0; i < w->settling.size();) {
        SettlingFile &f = w->settling[i];
        int64_t size = 0, changed = 0;
        const bool there = FileState(f.input.Path, &size, &changed);
        if (there && f.dueMs > now) {
            i++;
            continue;
        }
        if (there && (size != f.size || changed != f.changedNs || OpenForWriting(f.input.Path))) {
            f.size = size, f.changedNs = changed, f.dueMs = now + SettleMs;
            i++;
            continue;
        }
        if (there) w->ready.push_back(f.input);
        w->settling.erase(w->settling.begin() + ptrdiff_t(i));
    }
}

// A real folder (a link to one is not followed, as the walk does not) that this
// process did not make for its outputs.
bool IsWatchableFolder(const std::string &native) {
    struct stat status;
    return lstat(native.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
           !IsOwnOutput(uint64_t(status.st_dev), uint64_t(status.st_ino));
}

bool AddWatch(FolderWatch *w, const String &folder, const String &relative) {
    std::string native;
    if (!NativePath(folder, &native)) return false;
    uint32_t mask = FileEvents | IN_ONLYDIR | (w->recursive ? FolderEvents : 0);
    int descriptor = inotify_add_watch(w->inotify, native.c_str(), mask);
    if (descriptor < 0) return false;
    w->folders[descriptor] = {folder, relative};
    return true;
}

// Watches `folder` and, with --recursive, every visible sub-folder below it.
void AddWatchTree(FolderWatch *w, const String &folder, const String &relative) {
    if (!AddWatch(w, folder, relative) || !w->recursive) return;
    std::string native;
    if (!NativePath(folder, &native)) return;
    DIR *stream = opendir(native.c_str());
    if (!stream) return;
    std::vector<std::string> below;
    while (dirent *entry = readdir(stream))
        if (entry->d_name[0] != '.' && IsWatchableFolder(native + entry->d_name))
            below.push_back(entry->d_name);
    closedir(stream);
    for (const std::string &name : below) {
        String sub = StringFromUtf8(name);
        AddWatchTree(w, folder + sub + u"/", relative + sub + u"/");
    }
}

// One event of the watched folder `at`.
void TakeEvent(FolderWatch *w, const WatchedFolder &at, const inotify_event &event) {
    if (!event.len || event.name[0] == '.') return;
    String name = StringFromUtf8(event.name);
    String path = at.folder + name;
    std::string native;
    if (!NativePath(path, &native)) return;
    if (event.mask & IN_ISDIR) {
        if (w->recursive && IsWatchableFolder(native))
            AddWatchTree(w, path + u"/", at.relative + name + u"/");
        return;
    }
    if (!(event.mask & FileEvents)) return;
    // Only a regular file, and none that this process wrote.
    struct stat status;
    if (stat(native.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
        IsOwnOutput(uint64_t(status.st_dev), uint64_t(status.st_ino)))
        return;
    BatchInput input{path, at.relative, path, std::string(), at.relative + name};
    if (w->shardCount > 0 && ShardOfKey(input.Key, w->shardCount) != w->shardIndex) return;
    // A file the walk left comes now, once.
    for (size_t i = 0; i < w->settling.size(); i++)
        if (w->settling[i].input.Path == path) {
            input = w->settling[i].input;
            w->settling.erase(w->settling.begin() + ptrdiff_t(i));
            break;
        }
    w->ready.push_back(input);
}

// Reads the events that are there, without waiting.
void ReadEvents(FolderWatch *w) {
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        ssize_t n = read(w->inotify, buffer, sizeof buffer);
        if (n <= 0) return; // EAGAIN: nothing more for now
        for (ssize_t at = 0; at < n;) {
            const inotify_event *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_IGNORED) {
                w->folders.erase(event->wd);
                continue;
            }
            auto folder = w->folders.find(event->wd);
            // A copy: a new folder's watch may be added to the map meanwhile.
            if (folder != w->folders.end()) TakeEvent(w, WatchedFolder(folder->second), *event);
        }
    }
}

} // namespace

int StartFolderWatch(FolderWatch *watch, const std::vector<std::string> &arguments, bool recursive,
                     std::string *error) {
    *watch = FolderWatch{};
    watch->recursive = recursive;
    watch->inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch->inotify < 0) {
        *error = std::string("cannot watch folders: ") + std::strerror(errno);
        return 0;
    }
    for (const std::string &argument : arguments) {
        struct stat status;
        if (stat(argument.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) continue;
        String folder = StringFromUtf8(argument);
        if (folder.back() != u'/') folder += u'/';
        AddWatchTree(watch, folder, String());
    }
    if (watch->folders.empty()) {
        *error = "--watch needs a folder to watch among the inputs";
        EndFolderWatch(watch);
        return 0;
    }
    return 1;
}

int LeaveToWatch(FolderWatch *watch, const BatchInput &input) {
    SettlingFile file{input};
    if (!input.Error.empty() || !FileState(input.Path, &file.size, &file.changedNs) ||
        (NowMs(CLOCK_REALTIME) - file.changedNs / 1000000 >= SettleMs &&
         !OpenForWriting(input.Path)))
        return 0;
    file.dueMs = NowMs(CLOCK_MONOTONIC) + SettleMs;
    watch->settling.push_back(file);
    return 1;
}

int NextWatchedInput(FolderWatch *watch, BatchInput *input) {
    if (watch->ready.empty()) ReadEvents(watch);
    if (watch->ready.empty()) TakeSettled(watch);
    if (watch->ready.empty()) return 0;
    *input = watch->ready.front();
    watch->ready.pop_front();
    return 1;
}

void WaitForWatchedFiles(const FolderWatch *watch, int ms) {
    // Not past the moment a file the walk left is to be looked at again.
    const int64_t now = NowMs(CLOCK_MONOTONIC);
    for (const SettlingFile &f : watch->settling)
        ms = int(std::max<int64_t>(0, std::min<int64_t>(ms, f.dueMs - now)));
    pollfd ready = {watch->inotify, POLLIN, 0};
    poll(&ready, 1, ms);
}

int64_t PendingWatchedInputs(const FolderWatch *watch) {
    return int64_t(watch->ready.size() + watch->settling.size());
}

void EndFolderWatch(FolderWatch *watch) {
    if (watch->inotify >= 0) close(watch->inotify);
    *watch = FolderWatch{};
}
