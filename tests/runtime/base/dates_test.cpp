#include "runtime/base/dates.h"

#include <ctime>
#include <gtest/gtest.h>

TEST(Dates, FieldsRoundTripThroughMask) {
    int64_t d = CurrentDate(2024, 3, 5, 7, 8, 9);
    EXPECT_EQ(d, 1709622489);
    EXPECT_EQ(FormatDateMask(u"%yyyy%mm%dd%hh%ii%ss", d), u"20240305070809");
    EXPECT_EQ(FormatDateMask(u"%YYYY-%Mm-%dD %HH:%iI:%Ss (%yy)", d), u"2024-03-05 07:08:09 (24)");
    EXPECT_EQ(CurrentDate(1970, 1, 1, 0, 0, 0), 0);
    EXPECT_EQ(FormatDateMask(u"%yyyy%mm%dd", 0), u"19700101");
}

TEST(Dates, MaskKeepsStrayPercentsAndLiterals) {
    EXPECT_EQ(FormatDateMask(u"100%", 0), u"100%");
    EXPECT_EQ(FormatDateMask(u"%%hh%x%", 3600), u"%01%x%");
    EXPECT_EQ(FormatDateMask(u"%y", 0), u"%y");
    EXPECT_EQ(FormatDateMask(u"", 0), u"");
}

TEST(Dates, ElapsedTimeShowsHoursModulo24) {
    EXPECT_EQ(FormatDateMask(u"%hhh %iim %sss", 3725), u"01h 02m 05s");
    EXPECT_EQ(FormatDateMask(u"%hhh %iim %sss", 3690500 / 1000), u"01h 01m 30s");
    EXPECT_EQ(FormatDateMask(u"%hhh %iim %sss", 83), u"00h 01m 23s");
    EXPECT_EQ(FormatDateMask(u"%hhh %iim %sss", 86400 + 3725), u"01h 02m 05s");
}

TEST(Dates, InvalidDatesAndValidRange) {
    EXPECT_EQ(FormatDateMask(u"%yyyy-%mm-%dd %hh:%ii:%ss", -1), u"0000-00-00 00:00:00");
    EXPECT_EQ(CurrentDate(1969, 12, 31, 23, 59, 59), -1);
    EXPECT_EQ(CurrentDate(2024, 13, 1, 0, 0, 0), -1);
    EXPECT_EQ(CurrentDate(2024, 0, 1, 0, 0, 0), -1);
    EXPECT_EQ(CurrentDate(2024, 4, 31, 0, 0, 0), -1);
    EXPECT_EQ(CurrentDate(2024, 1, 0, 0, 0, 0), -1);
    EXPECT_EQ(CurrentDate(2024, 1, 1, 24, 0, 0), -1);
    EXPECT_EQ(CurrentDate(2024, 1, 1, 0, 60, 0), -1);
    EXPECT_EQ(CurrentDate(2024, 1, 1, 0, 0, 60), -1);
    EXPECT_EQ(CurrentDate(2024, 1, 1, -1, 0, 0), -1);
    EXPECT_NE(CurrentDate(2024, 2, 29, 0, 0, 0), -1);
    EXPECT_EQ(CurrentDate(2023, 2, 29, 0, 0, 0), -1);

    // Dates past the 32-bit limit are ordinary dates.
    EXPECT_EQ(CurrentDate(2038, 1, 19, 3, 14, 7), 2147483647);
    EXPECT_EQ(CurrentDate(2038, 1, 19, 3, 14, 8), 2147483648);
    EXPECT_EQ(FormatDateMask(u"%yyyy%mm%dd%hh%ii%ss", 2147483648), u"20380119031408");
    EXPECT_NE(CurrentDate(2100, 2, 28, 12, 0, 0), -1);
    EXPECT_EQ(CurrentDate(2100, 2, 29, 12, 0, 0), -1); // 2100 is no leap year
    EXPECT_NE(CurrentDate(2000, 2, 29, 12, 0, 0), -1); // 2000 is
    int64_t last = CurrentDate(9999, 12, 31, 23, 59, 59);
    EXPECT_EQ(last, 253402300799);
    EXPECT_EQ(FormatDateMask(u"%yyyy%mm%dd%hh%ii%ss", last), u"99991231235959");
    EXPECT_EQ(CurrentDate(10000, 1, 1, 0, 0, 0), -1);
    EXPECT_EQ(FormatDateMask(u"%yyyy", last + 1), u"0000");
    EXPECT_EQ(FormatDateMask(u"%yyyy%mm%dd", -86400), u"00000000");
}

TEST(Dates, EveryDayAgreesWithTheSystemCalendar) {
    // Each day's fields, encoded and formatted, agree with timegm/gmtime_r.
    for (int64_t day = 0; day < 2932897; day += 97) {
        std::time_t t = std::time_t(day * 86400 + 45296);
        std::tm f{};
        ASSERT_TRUE(gmtime_r(&t, &f));
        int64_t d =
            CurrentDate(f.tm_year + 1900, f.tm_mon + 1, f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec);
        ASSERT_EQ(d, int64_t(t)) << day;
        char expected[32];
        std::strftime(expected, sizeof expected, "%Y%m%d%H%M%S", &f);
        String text = FormatDateMask(u"%yyyy%mm%dd%hh%ii%ss", d);
        ASSERT_EQ(text, String(expected, expected + 14)) << day;
    }
}

TEST(Dates, CurrentDateIsLocalWallClock) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ASSERT_TRUE(localtime_r(&now, &local));
    int64_t fields = CurrentDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                 local.tm_hour, local.tm_min, local.tm_sec);
    int64_t current = CurrentDate();
    EXPECT_GE(current, fields);
    EXPECT_LE(current, fields + 5); // a loaded machine may pause between the two reads
    EXPECT_EQ(FormatDateMask(u"%yyyy%mm%dd%hh%ii%ss", current).size(), 14u);
}

TEST(Dates, MillisecondClockStartsInFirstSecondAndNeverGoesBack) {
    int64_t first = MillisecondClock();
    EXPECT_GE(first, 0);
    EXPECT_LE(first, 999);
    int64_t previous = first;
    for (int i = 0; i < 100000; ++i) {
        int64_t now = MillisecondClock();
        ASSERT_GE(now, previous);
        previous = now;
    }
    timespec pause{0, 20000000};
    nanosleep(&pause, nullptr);
    EXPECT_GE(MillisecondClock() - first, 20);
}
