#include "runtime/base/paths.h"

#include "runtime/base/text.h"
#include "tests/support/temp_folder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(Paths, SplittersAgreeOnExtensions) {
    EXPECT_EQ(FolderPart(u"/x/y/name.png"), u"/x/y/");
    EXPECT_EQ(FolderPart(u"name.png"), u"");
    EXPECT_EQ(FileNamePart(u"/x/y/name.png"), u"name.png");
    EXPECT_EQ(FileNamePart(u"/x/y/name.png", 1), u"name");
    EXPECT_EQ(ExtensionPart(u"/x/y/name.png"), u"png");
    EXPECT_EQ(ExtensionPart(u"/a.b/c"), u"");
    EXPECT_EQ(FileNamePart(u"/a.b/c", 1), u"c");
    EXPECT_EQ(FileNamePart(u"/x/archive.tar.gz", 1), u"archive.tar");
    // A space after the last dot: no extension, so the base name is the whole name.
    EXPECT_EQ(ExtensionPart(u"/x/my.file v2"), u"");
    EXPECT_EQ(FileNamePart(u"/x/my.file v2", 1), u"my.file v2");
    // A dot that starts the name is no extension.
    EXPECT_EQ(ExtensionPart(u"/x/.profile"), u"");
    EXPECT_EQ(FileNamePart(u"/x/.profile", 1), u".profile");
    EXPECT_EQ(ExtensionPart(u".profile"), u"");
    EXPECT_EQ(ExtensionPart(u"C:\\dir\\.hidden"), u"");
    EXPECT_EQ(ExtensionPart(u"/x/noext"), u"");
    EXPECT_EQ(FileNamePart(u"/x/noext", 1), u"noext");
    // A trailing dot gives an empty extension and the name stays whole.
    EXPECT_EQ(ExtensionPart(u"/x/name."), u"");
    EXPECT_EQ(FileNamePart(u"/x/name.", 1), u"name.");
    EXPECT_EQ(FileNamePart(u"/x/y/", 0), u"");
}

TEST(Paths, QuotedPathsSplitLikeBareOnes) {
    String quoted = u"\"/x/my photos/name.JPG\" trailing";
    EXPECT_EQ(FolderPart(quoted), u"/x/my photos/");
    EXPECT_EQ(FileNamePart(quoted), u"name.JPG");
    EXPECT_EQ(FileNamePart(quoted, 1), u"name");
    EXPECT_EQ(ExtensionPart(quoted), u"JPG");
    EXPECT_EQ(ExtensionPart(u"\"/x/a.png"), u"png"); // unclosed quote: to the end
}

TEST(Paths, SizesFoldersAndRemoval) {
    TempFolder temp("tintwell-paths");
    String folder = StringFromUtf8(temp.path);
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(PathSize(folder), -2);
    EXPECT_EQ(PathSize(folder + u"missing"), -1);
    EXPECT_EQ(PathSize(u""), -1);
    EXPECT_EQ(PathSize(folder + String(u"a\0b", 3)), -1);

    String file = folder + u"größe.bin";
    std::ofstream(Utf8Of(file), std::ios::binary) << "12345";
    EXPECT_EQ(PathSize(file), 5);

    String sub = folder + u"sub";
    EXPECT_EQ(MakeFolder(sub), 1);
    EXPECT_EQ(MakeFolder(sub), 0); // exists already
    struct stat status;
    ASSERT_EQ(stat(Utf8Of(sub).c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    EXPECT_EQ(MakeFolder(folder + u"no/such/parent"), 0);

    // A rename replaces the file at the target in one step.
    String other = folder + u"other.bin";
    std::ofstream(Utf8Of(other), std::ios::binary) << "ab";
    EXPECT_EQ(RenameFile(other, file), 1);
    EXPECT_EQ(PathSize(file), 2);
    EXPECT_EQ(PathSize(other), -1);
    EXPECT_EQ(RenameFile(other, file), 0); // nothing to rename
    EXPECT_EQ(RenameFile(file, u""), 0);

    EXPECT_EQ(RemoveFile(file), 1);
    EXPECT_EQ(RemoveFile(file), 0);
    EXPECT_EQ(PathSize(file), -1);
}

TEST(Paths, HomeFolderEndsWithSlash) {
    String home = HomeFolder();
    ASSERT_FALSE(home.empty());
    EXPECT_EQ(home.back(), u'/');
    EXPECT_EQ(PathSize(home), -2);
}
