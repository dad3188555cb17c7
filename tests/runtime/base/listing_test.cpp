#include "runtime/base/listing.h"

#include "runtime/base/text.h"
#include "tests/support/temp_folder.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folder's path without its trailing "/", as most listings here are opened.
std::string Bare(const TempFolder &folder) {
    return folder.path.substr(0, folder.path.size() - 1);
}

void File(const TempFolder &folder, const std::string &name) {
    std::ofstream(folder.path + name) << "x";
}

std::map<String, int> Entries(int64_t listing) {
    std::map<String, int> seen;
    while (NextListingEntry(listing)) seen[ListingEntryName(listing)] = ListingEntryKind(listing);
    return seen;
}

} // namespace

TEST(Listing, EmptyFolderYieldsOnlyDotEntries) {
    TempFolder folder("tintwell-list");
    ASSERT_NE(OpenListing(0, StringFromUtf8(Bare(folder)), u"*.*"), 0);
    std::map<String, int> seen = Entries(0);
    EXPECT_EQ(seen, (std::map<String, int>{{u".", 2}, {u"..", 2}}));
    EXPECT_EQ(NextListingEntry(0), 0);
    EXPECT_EQ(ListingEntryKind(0), 0);
    EXPECT_EQ(ListingEntryName(0), u"");
    EXPECT_EQ(CloseListing(0), 1);
    EXPECT_EQ(CloseListing(0), 0);
    EXPECT_EQ(NextListingEntry(0), 0);
}

TEST(Listing, KindsPatternsAndLinks) {
    TempFolder folder("tintwell-list");
    File(folder, "a.jpg");
    File(folder, "b.PNG");
    File(folder, "Grüße.jpg");
    mkdir((folder.path + "sub.jpg").c_str(), 0700);
    mkdir((folder.path + "other").c_str(), 0700);
    ASSERT_EQ(symlink((folder.path + "other").c_str(), (folder.path + "link").c_str()), 0);

    int64_t all = OpenListing(-1, StringFromUtf8(folder.path), u"");
    ASSERT_NE(all, 0);
    std::map<String, int> seen = Entries(all);
    EXPECT_EQ(seen.size(), 8u);
    EXPECT_EQ(seen[u"a.jpg"], 1);
    EXPECT_EQ(seen[u"Grüße.jpg"], 1);
    EXPECT_EQ(seen[u"sub.jpg"], 2);
    EXPECT_EQ(seen[u"other"], 2);
    EXPECT_EQ(seen[u"link"], 1); // a link to a folder is reported as a file
    EXPECT_EQ(CloseListing(all), 1);

    ASSERT_NE(OpenListing(1, StringFromUtf8(Bare(folder)), u"*.jpg"), 0);
    seen = Entries(1);
    EXPECT_EQ(seen, (std::map<String, int>{{u"a.jpg", 1}, {u"Grüße.jpg", 1}, {u"sub.jpg", 2}}));
    // Reusing number 1; ".." is an entry like any other and matches too.
    ASSERT_NE(OpenListing(1, StringFromUtf8(Bare(folder)), u"?.*"), 0);
    seen = Entries(1);
    EXPECT_EQ(seen, (std::map<String, int>{{u"..", 2}, {u"a.jpg", 1}, {u"b.PNG", 1}}));
    CloseAllListings();
    EXPECT_EQ(NextListingEntry(1), 0);
}

TEST(Listing, RefusesMissingFoldersAndOverlongPaths) {
    EXPECT_EQ(OpenListing(0, u"/nonexistent/folder"), 0);
    EXPECT_EQ(OpenListing(0, u""), 0);
    EXPECT_EQ(NextListingEntry(0), 0);
    // A real folder whose path is 1022 bytes, 1023 with the "/", is listed; one
    // level deeper is refused instead of overrunning the path limit.
    TempFolder folder("tintwell-list");
    std::string deep = Bare(folder);
    while (deep.size() + 201 < 1022) {
        deep += "/" + std::string(200, 'd');
        ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
    }
    deep += "/" + std::string(1021 - deep.size(), 'e');
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
    ASSERT_EQ(deep.size(), 1022u);
    ASSERT_EQ(mkdir((deep + "/f").c_str(), 0700), 0);
    int64_t listing = OpenListing(-1, StringFromUtf8(deep));
    ASSERT_NE(listing, 0);
    EXPECT_EQ(Entries(listing).size(), 3u); // ".", ".." and the folder below
    EXPECT_EQ(CloseListing(listing), 1);
    EXPECT_EQ(OpenListing(-1, StringFromUtf8(deep + "/f")), 0);
}
