#include "batch/batch_inputs.h"

#include "runtime/base/listing.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"

#include <sys/stat.h>

namespace {

bool IsSkipped(const InputWalker *w, const String &folder) {
    std::string native;
    struct stat status;
    return w->skipGiven && NativePath(folder, &native) && stat(native.c_str(), &status) == 0 &&
           uint64_t(status.st_dev) == w->skipDevice && uint64_t(status.st_ino) == w->skipInode;
}

// Enters a folder: its entries come next, before the next argument. False when
// it cannot be listed.
bool EnterFolder(InputWalker *w, const String &folder, const String &relative) {
    if (IsSkipped(w, folder)) return true;
    String base = folder;
    if (base.empty() || base.back() != u'/') base += u'/';
    int64_t listing = OpenListing(-1, base);
    if (!listing) return false;
    w->folders.push_back({listing, base, relative});
    return true;
}

// The next path of --files-from without its line end; false at the end.
bool NextListedPath(InputWalker *w, std::string *line) {
    if (!w->list) return false;
    line->clear();
    for (int c; (c = std::fgetc(w->list)) != EOF;) {
        if (c == '\n') return true;
        line->push_back(char(c));
    }
    return !line->empty();
}

} // namespace

int StartInputWalk(InputWalker *walker, const std::vector<std::string> &arguments,
                   const std::string &filesFrom, bool recursive) {
    *walker = InputWalker{};
    walker->arguments = arguments;
    walker->recursive = recursive;
    if (filesFrom == "-") {
        walker->list = stdin;
    } else if (!filesFrom.empty()) {
        walker->list = std::fopen(filesFrom.c_str(), "rb");
        walker->ownsList = true;
        if (!walker->list) return 0;
    }
    return 1;
}

int NextBatchInput(InputWalker *w, BatchInput *input) {
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
            if (kind == ListingEntryFolder) {
                // EnterFolder may reallocate the list: `top` is not used after it.
                if (w->recursive && !EnterFolder(w, path, relative + name + u"/")) {
                    *input = BatchInput{path, relative};
                    return 1;
                }
                continue;
            }
            // A link counts as a file in a listing: one that leads to a folder is
            // left out like a folder, one that leads nowhere is an error.
            if (kind != ListingEntryFile || PathSize(path) == PathIsFolder) continue;
            *input = BatchInput{path, relative};
            return 1;
        }
        std::string next;
        if (w->nextArgument < w->arguments.size()) {
            next = w->arguments[w->nextArgument++];
        } else if (!NextListedPath(w, &next)) {
            return 0;
        } else if (next.empty()) {
            continue;
        }
        String path = StringFromUtf8(next);
        // A folder is expanded; anything else (a missing file included) is handed
        // on as it stands, so it shows up with its error.
        if (PathSize(path) == PathIsFolder) {
            if (EnterFolder(w, path, String())) continue;
        }
        *input = BatchInput{path, String()};
        return 1;
    }
}

void SkipFolderInWalk(InputWalker *walker, const String &folder) {
    std::string native;
    struct stat status;
    if (!NativePath(folder, &native) || stat(native.c_str(), &status) != 0) return;
    walker->skipGiven = true;
    walker->skipDevice = uint64_t(status.st_dev);
    walker->skipInode = uint64_t(status.st_ino);
}

void EndInputWalk(InputWalker *walker) {
    for (InputFolder &folder : walker->folders) CloseListing(folder.listing);
    walker->folders.clear();
    if (walker->list && walker->ownsList) std::fclose(walker->list);
    walker->list = nullptr;
}
