#include "runtime/base/bin_file.h"

#include "runtime/base/paths.h"
#include "runtime/base/text.h"
#include "tests/support/temp_folder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string Contents(const String &path) {
    std::ifstream in(Utf8Of(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<unsigned char> Pattern(size_t n, unsigned seed) {
    std::vector<unsigned char> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = (unsigned char)(i * 7 + seed);
    return bytes;
}

} // namespace

TEST(BinFile, IntegersAreLittleEndian) {
    TempFolder folder("tintwell-files");
    String path = folder.In("ints.bin");
    ASSERT_NE(CreateBinFile(0, path), 0);
    EXPECT_EQ(WriteInt8(0, 0x1FF), 1);
    EXPECT_EQ(WriteInt32(0, 0x11223344), 4);
    EXPECT_EQ(WriteInt64(0, -2), 8);
    EXPECT_EQ(WriteBytes(0, "GT10", 4), 4);
    // Buffered: nothing reaches the file before a flush point.
    EXPECT_EQ(PathSize(path), 0);
    EXPECT_EQ(BinFileLength(0), 17);
    EXPECT_EQ(PathSize(path), 17);
    EXPECT_EQ(CloseBinFile(0), 1);
    EXPECT_EQ(Contents(path), std::string("\xFF\x44\x33\x22\x11\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF"
                                          "GT10",
                                          17));

    ASSERT_NE(OpenBinFileForReading(1, path), 0);
    unsigned char first;
    EXPECT_EQ(ReadBytes(1, &first, 1), 1);
    EXPECT_EQ(ReadInt32(1), 0x11223344);
    EXPECT_EQ(ReadInt32(1), -2);
    EXPECT_EQ(ReadInt32(1), -1);
    EXPECT_EQ(ReadInt32(1), 0x30315447);
    EXPECT_EQ(ReadInt32(1), 0); // nothing left
    EXPECT_EQ(CloseBinFile(1), 1);
    EXPECT_EQ(ReadInt32(1), 0); // no such file object
    EXPECT_EQ(BinFileLength(1), -1);
    EXPECT_EQ(WriteInt32(1, 5), 0);
    EXPECT_EQ(CloseBinFile(1), 0);
}

TEST(BinFile, BufferingAcrossSeeksAndTruncation) {
    TempFolder folder("tintwell-files");
    String path = folder.In("seek.bin");
    int64_t f = CreateBinFile(-1, path);
    ASSERT_NE(f, 0);
    std::vector<unsigned char> a = Pattern(3000, 1), b = Pattern(3000, 2);
    EXPECT_EQ(WriteBytes(f, a.data(), 3000), 3000);
    EXPECT_EQ(WriteBytes(f, b.data(), 3000), 3000); // does not fit: first part goes out
    EXPECT_EQ(BinFilePosition(f), 6000);
    EXPECT_EQ(SeekBinFile(f, 100), 1); // flushes the pending 3000 bytes first
    EXPECT_EQ(PathSize(path), 6000);
    EXPECT_EQ(WriteBytes(f, "XYZ", 3), 3);
    EXPECT_EQ(BinFilePosition(f), 103);
    EXPECT_EQ(BinFileLength(f), 6000);
    EXPECT_EQ(SeekBinFile(f, 98), 1);
    unsigned char around[7];
    EXPECT_EQ(ReadBytes(f, around, 7), 7);
    EXPECT_EQ(std::vector<unsigned char>(around, around + 7),
              (std::vector<unsigned char>{a[98], a[99], 'X', 'Y', 'Z', a[103], a[104]}));
    // A write after read-ahead lands at the caller's position, not the buffer's end.
    EXPECT_EQ(WriteInt8(f, 'Q'), 1);
    EXPECT_EQ(BinFilePosition(f), 106);
    EXPECT_EQ(TruncateBinFile(f), 1);
    EXPECT_EQ(BinFileLength(f), 106);
    EXPECT_EQ(SeekBinFile(f, 0), 1);
    std::vector<unsigned char> back(200, 0);
    EXPECT_EQ(ReadBytes(f, back.data(), 200), 106);
    EXPECT_EQ(back[105], 'Q');
    EXPECT_EQ(back[0], a[0]);
    EXPECT_EQ(SeekBinFile(f, -1), 0);
    EXPECT_EQ(CloseBinFile(f), 1);
    EXPECT_EQ(PathSize(path), 106);
}

TEST(BinFile, WholeBufferWritesAndReadsAcrossTheBoundary) {
    TempFolder folder("tintwell-files");
    String path = folder.In("big.bin");
    ASSERT_NE(CreateBinFile(2, path), 0);
    std::vector<unsigned char> head = Pattern(10, 3), exact = Pattern(4096, 4),
                               tail = Pattern(500, 5);
    EXPECT_EQ(WriteBytes(2, head.data(), 10), 10);
    // Exactly one buffer: the 10 pending bytes go first, then this goes straight.
    EXPECT_EQ(WriteBytes(2, exact.data(), 4096), 4096);
    EXPECT_EQ(PathSize(path), 4106);
    EXPECT_EQ(WriteBytes(2, tail.data(), 500), 500);
    EXPECT_EQ(CloseBinFile(2), 1);
    std::string all = Contents(path);
    ASSERT_EQ(all.size(), 4606u);
    EXPECT_EQ(std::string(all.begin() + 10, all.begin() + 4106),
              std::string(exact.begin(), exact.end()));

    ASSERT_NE(OpenBinFile(2, path), 0);
    std::vector<unsigned char> piece(4000);
    EXPECT_EQ(ReadBytes(2, piece.data(), 4000), 4000); // fills the buffer
    std::vector<unsigned char> across(200);
    EXPECT_EQ(ReadBytes(2, across.data(), 200), 200); // 96 buffered + 104 new
    EXPECT_EQ(across[0], (unsigned char)all[4000]);
    EXPECT_EQ(across[199], (unsigned char)all[4199]);
    std::vector<unsigned char> large(5000);
    EXPECT_EQ(SeekBinFile(2, 1), 1);
    EXPECT_EQ(ReadBytes(2, large.data(), 5000), 4605); // bypasses the buffer, ends at EOF
    EXPECT_EQ(large[4604], (unsigned char)all[4605]);
    EXPECT_EQ(ReadBytes(2, large.data(), 10), 0);
    EXPECT_EQ(CloseBinFile(2), 1);
}

TEST(BinFile, UnbufferedWritesGoStraightOut) {
    TempFolder folder("tintwell-files");
    String path = folder.In("direct.bin");
    ASSERT_NE(CreateBinFile(0, path, BinFileUnbuffered), 0);
    EXPECT_EQ(WriteInt32(0, 7), 4);
    EXPECT_EQ(PathSize(path), 4);
    EXPECT_EQ(SeekBinFile(0, 0), 1);
    EXPECT_EQ(ReadInt32(0), 7);
    EXPECT_EQ(CloseBinFile(0), 1);
}

TEST(BinFile, OpenModesAndExclusiveCreate) {
    TempFolder folder("tintwell-files");
    String path = folder.In("modes.bin");
    EXPECT_EQ(OpenBinFileForReading(0, path), 0); // missing
    EXPECT_EQ(PathSize(path), -1);
    ASSERT_NE(OpenBinFile(0, path), 0); // created
    EXPECT_EQ(WriteInt32(0, 1234), 4);
    EXPECT_EQ(SyncBinFile(0), 1);
    EXPECT_EQ(PathSize(path), 4); // the pending bytes went out with the sync
    EXPECT_EQ(CloseBinFile(0), 1);
    ASSERT_NE(OpenBinFile(0, path), 0); // kept, not truncated
    EXPECT_EQ(ReadInt32(0), 1234);
    EXPECT_EQ(CloseBinFile(0), 1);

    EXPECT_EQ(CreateBinFileExclusive(0, path), 0);
    EXPECT_EQ(Contents(path).size(), 4u); // the existing file is untouched
    String dangling = folder.In("dangling.bin");
    ASSERT_EQ(symlink("/nonexistent/target", Utf8Of(dangling).c_str()), 0);
    EXPECT_EQ(CreateBinFileExclusive(0, dangling), 0);
    String fresh = folder.In("fresh.bin");
    int64_t f = CreateBinFileExclusive(-1, fresh);
    ASSERT_NE(f, 0);
    EXPECT_EQ(WriteBytes(f, "png", 3), 3);
    EXPECT_EQ(SeekBinFile(f, 0), 1);
    char back[3];
    EXPECT_EQ(ReadBytes(f, back, 3), 3);
    EXPECT_EQ(std::string(back, 3), "png");
    EXPECT_EQ(CloseBinFile(f), 1);

    EXPECT_EQ(CreateBinFile(0, folder.In("no/such/folder.bin")), 0);
    EXPECT_EQ(OpenBinFileForReading(0, StringFromUtf8(folder.path)), 0); // a folder
    EXPECT_EQ(OpenBinFile(0, StringFromUtf8(folder.path)), 0);
    EXPECT_EQ(CreateBinFile(0, String(u"/tmp/a\0b", 8)), 0);
    EXPECT_EQ(CreateBinFile(0, u""), 0);
}

TEST(BinFile, ReusedNumberAndCloseAllFlushPendingWrites) {
    TempFolder folder("tintwell-files");
    String first = folder.In("first.bin"), second = folder.In("second.bin");
    ASSERT_NE(CreateBinFile(5, first), 0);
    EXPECT_EQ(WriteInt32(5, 42), 4);
    ASSERT_NE(CreateBinFile(5, second), 0); // closes first, writing its bytes
    EXPECT_EQ(PathSize(first), 4);
    EXPECT_EQ(WriteInt64(5, 1), 8);
    int64_t automatic = CreateBinFile(-1, folder.In("third.bin"));
    ASSERT_NE(automatic, 0);
    EXPECT_EQ(WriteInt8(automatic, 9), 1);
    EXPECT_EQ(CloseBinFile(-1), 1);
    EXPECT_EQ(PathSize(second), 8);
    EXPECT_EQ(PathSize(folder.In("third.bin")), 1);
    EXPECT_EQ(BinFileLength(5), -1);
    EXPECT_EQ(BinFileLength(automatic), -1);

    // Re-creating the same path under the same number: the old file's pending
    // bytes are written before the new create empties it, never after.
    String same = folder.In("same.bin");
    ASSERT_NE(CreateBinFile(6, same), 0);
    EXPECT_EQ(WriteInt64(6, -1), 8);
    ASSERT_NE(CreateBinFile(6, same), 0);
    EXPECT_EQ(WriteInt8(6, 2), 1);
    EXPECT_EQ(CloseBinFile(6), 1);
    EXPECT_EQ(Contents(same), std::string("\x02"));
}

TEST(BinFile, RefusedWritesAreReported) {
    // Every write to /dev/full fails as on a full disk.
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full not available";
    ASSERT_NE(OpenBinFile(0, u"/dev/full"), 0);
    EXPECT_EQ(WriteInt32(0, 1), 4); // only buffered so far
    EXPECT_EQ(CloseBinFile(0), 0);  // the close tells that it never arrived

    ASSERT_NE(OpenBinFile(0, u"/dev/full"), 0);
    std::vector<unsigned char> big(8192, 1);
    EXPECT_EQ(WriteBytes(0, big.data(), 8192), 0);
    EXPECT_EQ(CloseBinFile(0), 0);

    ASSERT_NE(OpenBinFile(0, u"/dev/full"), 0);
    std::vector<unsigned char> part(3000, 1);
    EXPECT_EQ(WriteBytes(0, part.data(), 3000), 3000);
    EXPECT_EQ(WriteBytes(0, part.data(), 3000), 0); // the flush it needed failed
    EXPECT_EQ(CloseBinFile(0), 0);

    // A sync pushes pending writes first, so it too tells of the refusal.
    ASSERT_NE(OpenBinFile(0, u"/dev/full"), 0);
    EXPECT_EQ(WriteInt32(0, 1), 4);
    EXPECT_EQ(SyncBinFile(0), 0);
    CloseBinFile(0);
    EXPECT_EQ(SyncBinFile(12345), 0); // no such file
}
