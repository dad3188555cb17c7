#include "batch/batch_watch.h"

#include "convert/output_name.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t FileEvents = IN_CLOSE_WRITE | IN_MOVED_TO;
// With --recursive a folder made or moved in is watched too.
constexpr uint32_t FolderEvents = IN_CREATE | IN_MOVED_TO;

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

int NextWatchedInput(FolderWatch *watch, BatchInput *input) {
    if (watch->ready.empty()) ReadEvents(watch);
    if (watch->ready.empty()) return 0;
    *input = watch->ready.front();
    watch->ready.pop_front();
    return 1;
}

void WaitForWatchedFiles(const FolderWatch *watch, int ms) {
    pollfd ready = {watch->inotify, POLLIN, 0};
    poll(&ready, 1, ms);
}

int64_t PendingWatchedInputs(const FolderWatch *watch) {
    return int64_t(watch->ready.size());
}

void EndFolderWatch(FolderWatch *watch) {
    if (watch->inotify >= 0) close(watch->inotify);
    *watch = FolderWatch{};
}
