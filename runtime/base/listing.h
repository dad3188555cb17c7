// Folder listings as numbered objects (see object_table.h). Entries come back in
// byte order of their names (as `LC_ALL=C ls -a` shows them), "." and ".."
// included (callers skip them), so two listings of one folder agree whatever
// the file system's own order. The names are read when the listing opens; the
// folder is not held open. Callable from any thread; one listing is used by one thread at a time.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

constexpr int ListingEntryNone = 0;
constexpr int ListingEntryFile = 1;
constexpr int ListingEntryFolder = 2;
// The longest folder path a listing holds, in bytes with its trailing "/".
constexpr int64_t ListingPathLimit = 1023;

// Opens a listing of the folder `path` whose entries match the shell-style
// pattern in path-name mode; "*.*" means "*" and an empty pattern lists all.
// Answers per the object-table convention, 0 for a missing or unreadable folder
// or a path longer than ListingPathLimit (then nothing is left behind).
int64_t OpenListing(int64_t listing, const String &path, const String &pattern = String());
// 1 when another matching entry was read, 0 at the end.
int NextListingEntry(int64_t listing);
// The current entry's name; empty when there is none.
String ListingEntryName(int64_t listing);
// ListingEntryFile, ListingEntryFolder (a symbolic link is a file) or
// ListingEntryNone.
int ListingEntryKind(int64_t listing);
// 1 when there was a listing to close.
int CloseListing(int64_t listing);
// Closes every listing.
void CloseAllListings();
