#include "runtime/base/numbers.h"

#include <gtest/gtest.h>
#include <limits>
#include <vector>

TEST(Numbers, ParseIntegerPrefixesSignsAndStops) {
    EXPECT_EQ(ParseInteger(u"  -$1F"), -31);
    EXPECT_EQ(ParseInteger(u"%101"), 5);
    EXPECT_EQ(ParseInteger(u"12abc"), 12);
    EXPECT_EQ(ParseInteger(u""), 0);
    EXPECT_EQ(ParseInteger(u"\t+42"), 42);
    EXPECT_EQ(ParseInteger(u"$ff"), 255);
    EXPECT_EQ(ParseInteger(u"%1012"), 5);
    EXPECT_EQ(ParseInteger(u"--5"), 0);
    EXPECT_EQ(ParseInteger(u"x12"), 0);
    EXPECT_EQ(ParseInteger(u"-9223372036854775808"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(ParseInteger(u"9223372036854775807"), std::numeric_limits<int64_t>::max());
}

TEST(Numbers, FormatInteger) {
    EXPECT_EQ(FormatInteger(0), u"0");
    EXPECT_EQ(FormatInteger(-1234), u"-1234");
    EXPECT_EQ(FormatInteger(std::numeric_limits<int64_t>::min()), u"-9223372036854775808");
}

TEST(Numbers, RoundRealModes) {
    EXPECT_EQ(RoundReal(-2.5, 2), -3);
    EXPECT_EQ(RoundReal(2.5, 2), 3);
    EXPECT_EQ(RoundReal(2.4, 2), 2);
    EXPECT_EQ(RoundReal(-2.4, 2), -2);
    EXPECT_EQ(RoundReal(2.1, 1), 3);
    EXPECT_EQ(RoundReal(-2.1, 1), -2);
    EXPECT_EQ(RoundReal(2.9, 0), 2);
    EXPECT_EQ(RoundReal(-2.1, 0), -3);
}

TEST(Numbers, RandomIntRangeAndUniformity) {
    EXPECT_EQ(RandomInt(-1), 0);
    EXPECT_EQ(RandomInt(0), 0);
    std::vector<int> counts(16, 0);
    const int draws = 160000;
    for (int i = 0; i < draws; ++i) {
        int64_t v = RandomInt(15);
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 15);
        ++counts[size_t(v)];
    }
    // Expected 10000 per value; a standard deviation is about 97, so 600 away
    // from the mean would be a broken generator, not bad luck.
    for (int c : counts) EXPECT_NEAR(c, draws / 16, 600);
    // Colour channels: 0..255 both ends are reachable.
    bool low = false, high = false;
    for (int i = 0; i < 100000 && !(low && high); ++i) {
        int64_t v = RandomInt(255);
        low |= v == 0;
        high |= v == 255;
    }
    EXPECT_TRUE(low && high);
    int64_t wide = RandomInt(std::numeric_limits<int64_t>::max());
    EXPECT_GE(wide, 0);
}
