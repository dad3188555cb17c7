#include "runtime/base/listing.h"

#include "runtime/base/object_table.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// The matching names are read whole when the listing opens, so the folder is
// closed again at once (a deep walk holds no descriptor per level) and the
// entries can come in byte order. The names sit end to end in one block, each
// ending in a zero byte: a folder of 100,000 files costs its names and one
// offset each, not a string object each.
struct ListingRecord {
    // The table's mark of a live record (and what a static number's creation
    // answers): the record itself, as no folder is held open.
    const void *handle = nullptr;
    std::string folder; // with a trailing "/"
    std::string names;
    std::vector<uint32_t> starts; // of each name in `names`, in byte order of the names
    size_t next = 0;
    std::vector<unsigned char> types; // the folder's own record of each kind (d_type)
    std::string name;                 // current entry
    int kind = ListingEntryNone;
};

void ReleaseListing(ListingRecord &l) {
    l = ListingRecord{};
}

// Reads the names of `stream` that match `pattern` (all when empty). False when
// the names pass what one offset can address.
bool ReadNames(DIR *stream, const std::string &pattern, ListingRecord *record) {
    std::vector<std::pair<uint32_t, unsigned char>> entries;
    while (dirent *entry = readdir(stream)) {
        if (!pattern.empty() && fnmatch(pattern.c_str(), entry->d_name, FNM_PATHNAME) != 0)
            continue;
        if (record->names.size() > UINT32_MAX - 256) return false;
        entries.push_back({uint32_t(record->names.size()), entry->d_type});
        record->names.append(entry->d_name);
        record->names.push_back('\0');
    }
    // strcmp compares bytes as unsigned values: the order of `LC_ALL=C ls`.
    const char *names = record->names.data();
    std::sort(entries.begin(), entries.end(), [names](const auto &a, const auto &b) {
        return std::strcmp(names + a.first, names + b.first) < 0;
    });
    record->starts.reserve(entries.size());
    record->types.reserve(entries.size());
    for (const auto &entry : entries) {
        record->starts.push_back(entry.first);
        record->types.push_back(entry.second);
    }
    return true;
}

ObjectTable<ListingRecord> &Listings() {
    static ObjectTable<ListingRecord> table;
    static const bool ready = (table.releaseRecord = ReleaseListing, true);
    (void)ready;
    return table;
}

} // namespace

int64_t OpenListing(int64_t listing, const String &path, const String &pattern) {
    std::string folder;
    if (!NativePath(path, &folder)) return 0;
    if (folder.back() != '/') folder += '/';
    if (int64_t(folder.size()) > ListingPathLimit) return 0;
    std::string match;
    bool hasPattern = !pattern.empty() && pattern != u"*.*";
    if (hasPattern && !NativePath(pattern, &match)) return 0;
    DIR *stream = opendir(folder.c_str());
    if (!stream) return 0;
    ListingRecord read;
    bool whole = ReadNames(stream, hasPattern ? match : std::string(), &read);
    closedir(stream);
    if (!whole) return 0;
    int64_t issued = 0;
    ListingRecord *record = ObjectAllocate(Listings(), listing, &issued);
    if (!record) return 0;
    *record = std::move(read);
    record->handle = record;
    record->folder = std::move(folder);
    return ObjectCreated(listing, issued, record);
}

int NextListingEntry(int64_t listing) {
    ListingRecord *l = ObjectLookup(Listings(), listing);
    if (!l) return 0;
    if (l->next < l->starts.size()) {
        size_t at = l->next++;
        l->name = l->names.data() + l->starts[at];
        // The entry's own status, so a symbolic link counts as a file. Without
        // permission to look, the kind the folder itself records has to do.
        struct stat status;
        bool folder = lstat((l->folder + l->name).c_str(), &status) == 0 ? S_ISDIR(status.st_mode)
                                                                         : l->types[at] == DT_DIR;
        l->kind = folder ? ListingEntryFolder : ListingEntryFile;
        return 1;
    }
    l->name.clear();
    l->kind = ListingEntryNone;
    return 0;
}

String ListingEntryName(int64_t listing) {
    ListingRecord *l = ObjectLookup(Listings(), listing);
    return l ? StringFromUtf8(l->name) : String();
}

int ListingEntryKind(int64_t listing) {
    ListingRecord *l = ObjectLookup(Listings(), listing);
    return l ? l->kind : ListingEntryNone;
}

int CloseListing(int64_t listing) {
    return ObjectRelease(Listings(), listing);
}

void CloseAllListings() {
    ObjectReleaseAll(Listings());
}
