#include "batch/batch_inputs.h"

#include "runtime/base/listing.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"

namespace {

// Enters a folder: its entries come next, before the next argument.
void EnterFolder(InputWalker *w, const String &folder, const String &relative) {
    String base = folder;
    if (base.empty() || base.back() != u'/') base += u'/';
    int64_t listing = OpenListing(-1, base);
    if (listing) w->folders.push_back({listing, base, relative});
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
            if (kind == ListingEntryFolder) {
                if (w->recursive) {
                    String relative = top.relative + name + u"/";
                    EnterFolder(w, path, relative); // may reallocate: `top` is not used again
                }
                continue;
            }
            // A link counts as a file in a listing; only what leads to a regular
            // file is taken.
            if (kind != ListingEntryFile || PathSize(path) < 0) continue;
            *input = BatchInput{path, top.relative};
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
            EnterFolder(w, path, String());
            continue;
        }
        *input = BatchInput{path, String()};
        return 1;
    }
}

void EndInputWalk(InputWalker *walker) {
    for (InputFolder &folder : walker->folders) CloseListing(folder.listing);
    walker->folders.clear();
    if (walker->list && walker->ownsList) std::fclose(walker->list);
    walker->list = nullptr;
}
