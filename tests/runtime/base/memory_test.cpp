#include "runtime/base/memory.h"

#include "runtime/base/numbers.h"
#include "runtime/base/text.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

TEST(Memory, BlocksRememberSizeAndZeroGrowth) {
    EXPECT_EQ(AllocBlock(0), nullptr);
    EXPECT_EQ(AllocBlock(-5), nullptr);
    auto *block = static_cast<unsigned char *>(AllocBlock(100));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(BlockSize(block), 100);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(block[i], 0);
    std::memset(block, 0xAB, 100);

    auto *grown = static_cast<unsigned char *>(ResizeBlock(block, 5000));
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(BlockSize(grown), 5000);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(grown[i], 0xAB) << i;
    for (int i = 100; i < 5000; ++i) ASSERT_EQ(grown[i], 0) << i;

    auto *shrunk = static_cast<unsigned char *>(ResizeBlock(grown, 10));
    ASSERT_NE(shrunk, nullptr);
    EXPECT_EQ(BlockSize(shrunk), 10);
    EXPECT_EQ(shrunk[9], 0xAB);
    // A refused resize leaves the old block as it was.
    EXPECT_EQ(ResizeBlock(shrunk, 0), nullptr);
    EXPECT_EQ(BlockSize(shrunk), 10);
    EXPECT_EQ(shrunk[0], 0xAB);
    FreeBlock(shrunk);

    void *fresh = ResizeBlock(nullptr, 8);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(BlockSize(fresh), 8);
    FreeBlock(fresh);
    FreeBlock(nullptr);
    EXPECT_EQ(BlockSize(nullptr), 0);
}

TEST(Memory, CopyAndFillUnits) {
    unsigned char bytes[16] = {0};
    FillBlock(bytes, 16, 0x11223344, TypeInt32);
    EXPECT_EQ(bytes[0], 0x44);
    EXPECT_EQ(bytes[3], 0x11);
    EXPECT_EQ(bytes[12], 0x44);
    EXPECT_EQ(ReadMemoryLong(bytes + 4), 0x11223344);
    FillBlock(bytes, 6, 0xBEEF, TypeWord);
    EXPECT_EQ(ReadMemoryChar(bytes + 4), 0xBEEF);
    EXPECT_EQ(bytes[6], 0x22); // untouched beyond the length
    FillBlock(bytes, 16, 0x0102030405060708, TypeInt64);
    EXPECT_EQ(bytes[0], 0x08);
    EXPECT_EQ(bytes[15], 0x01);
    FillBlock(bytes, 5, 0x1FF, 999); // bytes
    EXPECT_EQ(bytes[4], 0xFF);
    EXPECT_EQ(bytes[5], 0x03);
    FillBlock(bytes, 3, 0xAABBCCDD, TypeInt32); // part unit: its first bytes
    EXPECT_EQ(bytes[0], 0xDD);
    EXPECT_EQ(bytes[2], 0xBB);
    EXPECT_EQ(bytes[3], 0xFF);

    unsigned char overlap[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    CopyBlock(overlap, overlap + 2, 6);
    EXPECT_EQ(std::vector<int>(overlap, overlap + 8), (std::vector<int>{1, 2, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(ReadMemoryLong(nullptr), 0);
    int32_t negative = -2;
    EXPECT_EQ(ReadMemoryLong(&negative), -2);
}

TEST(Memory, StringsRoundTripInEveryFormat) {
    String text = u"Tön € \U0001F600";
    unsigned char buffer[64];

    std::memset(buffer, 0x55, sizeof buffer);
    EXPECT_EQ(WriteMemoryString(buffer, text, -1, TextFormatUtf8), 13);
    EXPECT_EQ(buffer[13], 0);
    EXPECT_EQ(ReadMemoryString(buffer, -1, TextFormatUtf8), text);
    // With UTF-8 a length counts characters: the emoji is one of them.
    EXPECT_EQ(ReadMemoryString(buffer, 7, TextFormatUtf8), text);
    EXPECT_EQ(ReadMemoryString(buffer, 3, TextFormatUtf8), u"Tön");

    std::memset(buffer, 0x55, sizeof buffer);
    EXPECT_EQ(WriteMemoryString(buffer, text, -1, TextFormatUtf16), 16);
    EXPECT_EQ(ReadMemoryChar(buffer + 16), 0);
    EXPECT_EQ(ReadMemoryString(buffer, -1, TextFormatUtf16), text);
    EXPECT_EQ(ReadMemoryString(buffer, 2, TextFormatUtf16), u"Tö");

    std::memset(buffer, 0x55, sizeof buffer);
    EXPECT_EQ(WriteMemoryString(buffer, u"GT10 é€", -1, TextFormatAscii), 7);
    EXPECT_EQ(std::memcmp(buffer, "GT10 \xE9?\0", 8), 0);
    EXPECT_EQ(ReadMemoryString(buffer, -1, TextFormatAscii), u"GT10 é?");
    EXPECT_EQ(ReadMemoryString(buffer, 4, TextFormatAscii), u"GT10");

    // No terminator with flag 0x100, and a length limit in units.
    std::memset(buffer, 0x55, sizeof buffer);
    EXPECT_EQ(WriteMemoryString(buffer, u"IHDR", -1, TextFormatAscii | NoTerminator), 4);
    EXPECT_EQ(buffer[4], 0x55);
    EXPECT_EQ(WriteMemoryString(buffer, u"abcdef", 2, TextFormatUtf16 | NoTerminator), 4);
    EXPECT_EQ(WriteMemoryString(buffer, u"abc", 2, TextFormatUtf8), 2);
    EXPECT_EQ(std::memcmp(buffer, "ab\0", 3), 0);
    EXPECT_EQ(WriteMemoryString(buffer, u"abc", -1, 7), 0);
    EXPECT_EQ(ReadMemoryString(buffer, -1, 7), u"");

    // Malformed UTF-8 in memory reads as replacement characters, stopping at the zero.
    const char broken[] = "a\xE2\x82\0zz";
    EXPECT_EQ(ReadMemoryString(broken, -1, TextFormatUtf8), u"a\uFFFD");
}
