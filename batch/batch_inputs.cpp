#include "batch/batch_inputs.h"

#include "convert/output_name.h"
#include "convert/stop_flag.h"
#include "runtime/base/listing.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How long a wait on the list goes without looking at the stop flag.
constexpr int ListWaitMs = 100;
constexpr size_t ListBufferBytes = 65536;
// How much of a line that cannot be a path its error line shows.
constexpr size_t ShownLineBytes = 64;

constexpr int KindMissing = 0, KindFile = 1, KindFolder = 2, KindOwn = 3;

// What `path` leads to, following links; KindOwn for a file or folder this
// process made for its outputs.
int PathKind(const String &path) {
    std::string native;
    struct stat status;
    if (!NativePath(path, &native) || stat(native.c_str(), &status) != 0) return KindMissing;
    if (IsOwnOutput(uint64_t(status.st_dev), uint64_t(status.st_ino))) return KindOwn;
    return S_ISDIR(status.st_mode) ? KindFolder : KindFile;
}

// Enters a folder: its entries come next, before the next argument. False with
// errno set when it cannot be listed.
bool EnterFolder(InputWalker *w, const String &folder, const String &relative) {
    String base = folder;
    if (base.empty() || base.back() != u'/') base += u'/';
    errno = 0;
    int64_t listing = OpenListing(-1, base);
    if (!listing) {
        if (!errno) errno = EIO;
        return false;
    }
    w->folders.push_back({listing, base, relative});
    return true;
}

BatchInput UnlistedFolder(const String &path, const String &relative, const String &name,
                          const String &key) {
    return BatchInput{path, relative, name, std::string("cannot list: ") + std::strerror(errno),
                      key};
}

// Refills the list's buffer, waiting in short steps so that a stop ends the wait
// (the signal does not: reads restart after it). False at the end of the list,
// on a read error or on a stop.
bool FillListBuffer(InputWalker *w) {
    for (;;) {
        if (StopRequested()) return false;
        pollfd ready = {w->list, POLLIN, 0};
        int events = poll(&ready, 1, ListWaitMs);
        if (events < 0 && errno != EINTR) return false;
        if (events <= 0) continue;
        ssize_t n = read(w->list, w->buffer.data(), w->buffer.size());
        if (n > 0) {
            w->bufferAt = 0, w->bufferEnd = size_t(n);
            return true;
        }
        if (n == 0 || (errno != EINTR && errno != EAGAIN)) return false;
    }
}

// The next line of --files-from without its line end, at most BatchPathLimit
// bytes of it: a longer line answers 2 with its start and has the rest passed
// over by the next call, unstored, however long it runs. 1 for a line, 0 at the
// end of the list.
int NextListedLine(InputWalker *w, std::string *line) {
    if (w->list < 0) return 0;
    line->clear();
    for (;;) {
        if (w->bufferAt == w->bufferEnd && !FillListBuffer(w)) {
            bool partial = !w->skippingLine && !line->empty() && !StopRequested();
            w->skippingLine = false;
            return partial ? 1 : 0;
        }
        const char *start = w->buffer.data() + w->bufferAt;
        size_t available = w->bufferEnd - w->bufferAt;
        const char *end = static_cast<const char *>(std::memchr(start, '\n', available));
        size_t length = end ? size_t(end - start) : available;
        w->bufferAt += end ? length + 1 : length;
        if (w->skippingLine) {
            if (end) w->skippingLine = false;
            continue;
        }
        if (line->size() + length > BatchPathLimit) {
            line->append(start, BatchPathLimit - line->size());
            w->skippingLine = !end;
            return 2;
        }
        line->append(start, length);
        if (end) return 1;
    }
}

} // namespace

int StartInputWalk(InputWalker *walker, const std::vector<std::string> &arguments,
                   const std::string &filesFrom, bool recursive) {
    *walker = InputWalker{};
    walker->arguments = arguments;
    walker->recursive = recursive;
    if (filesFrom == "-") {
        walker->list = STDIN_FILENO;
    } else if (!filesFrom.empty()) {
        // Opening a FIFO waits for its writer unless told not to; the reads wait
        // instead, where a stop is looked at.
        walker->list = open(filesFrom.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (walker->list < 0) return 0;
        walker->ownsList = true;
        // A folder opens, and then every read fails: no list at all.
        struct stat status;
        if (fstat(walker->list, &status) != 0 || S_ISDIR(status.st_mode)) {
            EndInputWalk(walker);
            return 0;
        }
        int flags = fcntl(walker->list, F_GETFL);
        if (flags >= 0) fcntl(walker->list, F_SETFL, flags & ~O_NONBLOCK);
    }
    if (walker->list >= 0) walker->buffer.resize(ListBufferBytes);
    return 1;
}

namespace {

// The next input of the walk, whatever its shard.
int NextWalkedInput(InputWalker *w, BatchInput *input) {
    for (;;) {
        // Inside a folder: its visible regular files, and with --recursive its
        // visible sub-folders (real folders only, so a link cannot loop).
        while (!w->folders.empty()) {
            InputFolder &top = w->folders.back();
            if (!NextListingEntry(top.listing)) {
                CloseListing(top.listing);
                w->folders.pop_back();
                continue;
            }
            String name = ListingEntryName(top.listing);
            if (name.empty() || name[0] == u'.') continue;
            int kind = ListingEntryKind(top.listing);
            String path = top.folder + name;
            String relative = top.relative;
            // A link counts as a file in a listing: one that leads to a folder is
            // left out like a folder, one that leads nowhere is an error.
            int leadsTo = PathKind(path);
            if (leadsTo == KindOwn) continue;
            if (kind == ListingEntryFolder) {
                // EnterFolder may reallocate the list: `top` is not used after it.
                if (w->recursive && !EnterFolder(w, path, relative + name + u"/")) {
                    *input = UnlistedFolder(path, relative, path, relative + name);
                    return 1;
                }
                continue;
            }
            if (kind != ListingEntryFile || leadsTo == KindFolder) continue;
            *input = BatchInput{path, relative, path, std::string(), relative + name};
            return 1;
        }
        std::string next;
        std::string error;
        if (w->nextArgument < w->arguments.size()) {
            next = w->arguments[w->nextArgument++];
        } else {
            int line = NextListedLine(w, &next);
            if (!line) return 0;
            if (next.empty()) continue;
            if (line == 2) {
                error = "path longer than " + std::to_string(BatchPathLimit) + " bytes";
                next = next.substr(0, ShownLineBytes) + "...";
            } else if (next.find('\0') != std::string::npos) {
                error = "a path cannot hold a zero byte";
            }
        }
        String path = StringFromUtf8(next);
        // "shoot/" is named "shoot", whether or not it turns out to be a folder.
        String trimmed = path;
        while (trimmed.size() > 1 && trimmed.back() == u'/') trimmed.pop_back();
        String name = FileNamePart(trimmed);
        if (name.empty()) name = path;
        if (!error.empty()) {
            *input = BatchInput{path, String(), name, error, path};
            return 1;
        }
        // A folder is expanded; anything else (a missing file included) is handed
        // on as it stands, so it shows up with its error.
        int kind = PathKind(path);
        if (kind == KindOwn) continue;
        if (kind == KindFolder) {
            if (EnterFolder(w, path, String())) continue;
            *input = UnlistedFolder(path, String(), name, path);
            return 1;
        }
        *input = BatchInput{path, String(), name, std::string(), path};
        return 1;
    }
}

} // namespace

int ShardOfKey(const String &key, int count) {
    std::string bytes;
    if (!NativePath(key, &bytes)) bytes = Utf8Of(key);
    uint64_t hash = 14695981039346656037ull; // FNV-1a offset basis
    for (unsigned char byte : bytes) {
        hash ^= byte;
        hash *= 1099511628211ull; // FNV prime
    }
    return count > 0 ? int(hash % uint64_t(count)) + 1 : 1;
}

int NextBatchInput(InputWalker *w, BatchInput *input) {
    while (NextWalkedInput(w, input))
        if (w->shardCount <= 0 || ShardOfKey(input->Key, w->shardCount) == w->shardIndex) return 1;
    return 0;
}

namespace {

// The folder `path` and every folder above it, by device and inode; empty when
// it cannot be resolved.
std::vector<std::pair<dev_t, ino_t>> FolderChain(const std::string &path) {
    std::vector<std::pair<dev_t, ino_t>> chain;
    char *resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return chain;
    std::string folder = resolved;
    std::free(resolved);
    for (;;) {
        struct stat status;
        if (stat(folder.c_str(), &status) == 0) chain.push_back({status.st_dev, status.st_ino});
        size_t slash = folder.rfind('/');
        if (folder.size() <= 1 || slash == std::string::npos) break;
        folder.resize(slash ? slash : 1);
    }
    return chain;
}

} // namespace

bool WalkMayMeetOutputs(const std::vector<std::string> &arguments, const std::string &filesFrom,
                        const std::string &outputFolder) {
    if (!filesFrom.empty()) return true;
    std::vector<std::pair<dev_t, ino_t>> output = FolderChain(outputFolder);
    if (output.empty()) return true;
    for (const std::string &argument : arguments) {
        struct stat status;
        if (stat(argument.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) continue;
        std::vector<std::pair<dev_t, ino_t>> input = FolderChain(argument);
        if (input.empty()) return true;
        for (const auto &folder : output)
            if (folder == input.front()) return true; // the output is inside this input
        for (const auto &folder : input)
            if (folder == output.front()) return true; // this input is inside the output
    }
    return false;
}

void EndInputWalk(InputWalker *walker) {
    for (InputFolder &folder : walker->folders) CloseListing(folder.listing);
    walker->folders.clear();
    if (walker->list >= 0 && walker->ownsList) close(walker->list);
    walker->list = -1;
}
