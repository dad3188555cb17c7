#include "runtime/base/listing.h"

#include "runtime/base/object_table.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"

#include <dirent.h>
#include <fnmatch.h>
#include <string>
#include <sys/stat.h>

namespace {

struct ListingRecord {
    DIR *handle = nullptr;
    std::string folder; // with a trailing "/"
    std::string pattern;
    bool hasPattern = false;
    std::string name; // current entry
    int kind = ListingEntryNone;
};

void ReleaseListing(ListingRecord &l) {
    closedir(l.handle);
    l = ListingRecord{};
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
    int64_t issued = 0;
    ListingRecord *record = ObjectAllocate(Listings(), listing, &issued);
    if (!record) {
        closedir(stream);
        return 0;
    }
    record->folder = std::move(folder);
    record->pattern = std::move(match);
    record->hasPattern = hasPattern;
    record->handle = stream;
    return ObjectCreated(listing, issued, record);
}

int NextListingEntry(int64_t listing) {
    ListingRecord *l = ObjectLookup(Listings(), listing);
    if (!l) return 0;
    while (dirent *entry = readdir(l->handle)) {
        if (l->hasPattern && fnmatch(l->pattern.c_str(), entry->d_name, FNM_PATHNAME) != 0)
            continue;
        l->name = entry->d_name;
        // The entry's own status, so a symbolic link counts as a file. Without
        // permission to look, the kind the folder itself records has to do.
        struct stat status;
        bool folder = lstat((l->folder + l->name).c_str(), &status) == 0 ? S_ISDIR(status.st_mode)
                                                                         : entry->d_type == DT_DIR;
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
