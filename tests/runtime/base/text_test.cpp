#include "runtime/base/text.h"

#include "runtime/base/threads.h"

#include <atomic>
#include <clocale>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

TEST(Text, LengthCountsUnits) {
    EXPECT_EQ(TextLength(u"abc"), 3);
    EXPECT_EQ(TextLength(u"\U0001F600"), 2);
}

TEST(Text, CountOccurrencesIsNonOverlapping) {
    EXPECT_EQ(CountOccurrences(u"aaaa", u"aa"), 2);
    EXPECT_EQ(CountOccurrences(u"a\nb\nc", u"\n"), 2);
    EXPECT_EQ(CountOccurrences(u"", u"a"), 0);
    EXPECT_EQ(CountOccurrences(u"abc", u""), 0);
}

TEST(Text, FieldsSplitAtSingleAndLongDelimiters) {
    EXPECT_EQ(TextField(u"a,b,,c", 2, u","), u"b");
    EXPECT_EQ(TextField(u"a,b,,c", 3, u","), u"");
    EXPECT_EQ(TextField(u"a,b,,c", 4, u","), u"c");
    EXPECT_EQ(TextField(u"a,b", 3, u","), u"");
    EXPECT_EQ(TextField(u"a,b", 0, u","), u"");
    EXPECT_EQ(TextField(u"a,b", -1, u","), u"");
    EXPECT_EQ(TextField(u"one<>two<>three", 2, u"<>"), u"two");
    EXPECT_EQ(TextField(u"one<>two<>three", 3, u"<>"), u"three");
    EXPECT_EQ(TextField(u"a<b>c", 2, u"<>"), u"");
    EXPECT_EQ(TextField(u"/x/a.jpg\n/x/b.png", 2, u"\n"), u"/x/b.png");
}

TEST(Text, PadLeftCutsOrPads) {
    EXPECT_EQ(PadLeft(u"12345", 3, u"0"), u"123");
    EXPECT_EQ(PadLeft(u"7", 3, u"0"), u"007");
    EXPECT_EQ(PadLeft(u"7", 3), u"  7");
    EXPECT_EQ(PadLeft(u"7", 3, u""), u"  7");
    EXPECT_EQ(PadLeft(u"7", 0, u"0"), u"");
    EXPECT_EQ(PadLeft(u"", 2, u"xy"), u"xx");
}

TEST(Text, LowerFollowsLocale) {
    std::setlocale(LC_ALL, "C.UTF-8");
    EXPECT_EQ(TextLower(u"HeLLo 12"), u"hello 12");
    EXPECT_EQ(TextLower(u"ÄÖÜ.JPG"), u"äöü.jpg");
    EXPECT_EQ(TextLower(u"\U00010400"), u"\U00010428"); // a pair maps as one character
    EXPECT_EQ(TextLower(String(1, char16_t(0xD800))), String(1, char16_t(0xD800)));
    std::setlocale(LC_ALL, "C");
}

TEST(Text, Utf8RoundTripAndRepair) {
    String s = u"Grüße € \U0001F600 /tmp/a b";
    EXPECT_EQ(Utf8Of(s), "Gr\xC3\xBC\xC3\x9F"
                         "e \xE2\x82\xAC \xF0\x9F\x98\x80 /tmp/a b");
    EXPECT_EQ(StringFromUtf8(Utf8Of(s)), s);
    // Unpaired surrogates other than U+DC80..U+DCFF cannot be encoded.
    EXPECT_EQ(Utf8Of(String(1, char16_t(0xDC00)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(StringFromUtf8(std::string_view("a\0b", 3)), String(u"a\0b", 3));
    // Names that are not UTF-8 come back byte for byte: each byte outside a valid
    // sequence is carried as U+DC00 + byte. Stray, overlong, an encoded surrogate,
    // truncated, past U+10FFFF, a real U+FFFD, a 4-byte character.
    std::vector<std::pair<std::string, String>> cases = {
        {"a\x80", u"a\xDC80"},
        {"\xC0\xAF", u"\xDCC0\xDCAF"},
        {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
        {"x\xE2\x82", u"x\xDCE2\xDC82"},
        {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
        {"p\xEF\xBF\xBD", u"p\uFFFD"},
        {"\xF0\x9F\x98\x80\xF0\x9F\x98y", u"\U0001F600\xDCF0\xDC9F\xDC98y"}};
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        cases.push_back({std::string(1, char(byte)), String(1, char16_t(0xDC00 + byte))});
    for (const auto &[bytes, units] : cases) {
        EXPECT_EQ(StringFromUtf8(bytes), units) << bytes;
        EXPECT_EQ(Utf8Of(units), bytes);
    }
    EXPECT_EQ(PrintableUtf8(StringFromUtf8("a\xFF\tb\x1B[2J\x7F\xC2\x9B\xEF\xBF\xBD")),
              "a\xEF\xBF\xBD?b?[2J??\xEF\xBF\xBD");
}

// Two threads build results in their own scratch buffers at the same time; a
// shared buffer would mix pieces of one thread's results into the other's.
namespace {
std::atomic<int> Mixed{0};
std::atomic<int> Finished{0};
void BuildFieldsRepeatedly(int64_t which) {
    String tag = which == 1 ? u"AAAA" : u"BBBBBBBB";
    String text = tag + u"," + tag + u"," + tag;
    for (int i = 0; i < 20000; ++i) {
        String field = TextField(text, 1 + i % 3, u",");
        String padded = PadLeft(field, 12, which == 1 ? u"-" : u"+");
        String expected = String(12 - tag.size(), which == 1 ? u'-' : u'+') + tag;
        if (padded != expected) ++Mixed;
    }
    ++Finished;
}
} // namespace

TEST(Text, ConcurrentThreadsNeverMixResults) {
    int64_t a = SpawnThread(BuildFieldsRepeatedly, 1);
    int64_t b = SpawnThread(BuildFieldsRepeatedly, 2);
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    BuildFieldsRepeatedly(1); // the test thread takes part with a buffer of its own
    EXPECT_EQ(JoinThreadFor(a, 20000), 1);
    EXPECT_EQ(JoinThreadFor(b, 20000), 1);
    EXPECT_EQ(Finished.load(), 3);
    EXPECT_EQ(Mixed.load(), 0);
}
