#include "runtime/ui/rtf_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// Reads rtf from a heap block of exactly its size, so that any read past the end shows up
// under the address sanitizer.
std::vector<RichTextRun> Read(std::string_view rtf, int *result = nullptr) {
    std::unique_ptr<unsigned char[]> block(new unsigned char[rtf.size() + 1]);
    std::memcpy(block.get(), rtf.data(), rtf.size());
    std::vector<RichTextRun> runs;
    int answer = ReadRichText(block.get(), rtf.size(), &runs);
    if (result) *result = answer;
    return runs;
}

std::string TextOf(const std::vector<RichTextRun> &runs) {
    std::string text;
    for (const RichTextRun &run : runs) text += run.Text;
    return text;
}

std::string Decode(std::string_view rtf) {
    return TextOf(Read(rtf));
}

// The folder the tree was checked out in. The build may name it; otherwise it is found from this
// file's own path, which ends in the test's place in the tree (an empty prefix when the compiler
// was given a relative path, the tree then being the working folder).
std::string SourceRoot() {
#ifdef TINTWELL_SOURCE_DIR
    return std::string(TINTWELL_SOURCE_DIR) + "/";
#else
    std::string here = __FILE__;
    const std::string tail = "tests/runtime/ui/rtf_reader_test.cpp";
    if (here.size() >= tail.size() &&
        here.compare(here.size() - tail.size(), tail.size(), tail) == 0)
        return here.substr(0, here.size() - tail.size());
    return "";
#endif
}

} // namespace

TEST(RtfReader, DecodesEscapesAndControlSymbols) {
    EXPECT_EQ(Decode(R"({\rtf1 a\{b\}c\\d})"), "a{b}c\\d");
    EXPECT_EQ(Decode(R"({\rtf1 no\~break})"), "no\u00A0break");
    EXPECT_EQ(Decode(R"({\rtf1 hy\-phen})"), "hyphen");
    EXPECT_EQ(Decode(R"({\rtf1 non\_breaking})"), "non\u2011breaking");
    // One space after a control word is its delimiter; a second one is text.
    EXPECT_EQ(Decode(R"({\rtf1\pard one\par  two\line three\tab four})"),
              "one\n two\u2028three\tfour");
    // Raw line breaks in the source are not text; a backslash before one is a paragraph end.
    EXPECT_EQ(Decode("{\\rtf1 one\r\ntwo\\\nthree}"), "onetwo\nthree");
    // Unknown words and their parameters vanish, as do control symbols without meaning.
    EXPECT_EQ(Decode(R"({\rtf1\ansi\deff0\fs24\sa120\qc\unknownword-42 text\|\:})"), "text");
    // A minus sign not followed by a digit is no parameter.
    EXPECT_EQ(Decode(R"({\rtf1\fs-x})"), "-x");
}

TEST(RtfReader, BoldHeadingThenPlainParagraphThenTab) {
    std::vector<RichTextRun> runs =
        Read(R"({\rtf1\ansi{\b Heading\par}\pard Body text\tab end\par})");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].Text, "Heading\n");
    EXPECT_EQ(runs[0].Bold, 1);
    EXPECT_EQ(runs[0].Italic, 0);
    EXPECT_EQ(runs[1].Text, "Body text\tend\n");
    EXPECT_EQ(runs[1].Bold, 0);
    EXPECT_EQ(runs[1].Italic, 0);

    // Style switched off and on again without text between leaves one run; \b0 ends bold.
    runs = Read(R"({\rtf1 a\b\b0 b\i c\i0\b d\b0 e})");
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].Text, "ab");
    EXPECT_EQ(runs[1].Text, "c");
    EXPECT_EQ(runs[1].Italic, 1);
    EXPECT_EQ(runs[2].Text, "d");
    EXPECT_EQ(runs[2].Bold, 1);
    EXPECT_EQ(runs[3].Text, "e");
    EXPECT_EQ(runs[3].Bold + runs[3].Italic, 0);
}

TEST(RtfReader, GroupsSaveAndRestoreCharacterStyle) {
    std::vector<RichTextRun> runs =
        Read(R"({\rtf1 \b bold {\i both {\b0 italic }both }bold \plain plain})");
    // Each run as text and style, bold in the tens and italic in the units.
    const std::vector<std::pair<std::string, int>> expected = {
        {"bold ", 10}, {"both ", 11}, {"italic ", 1}, {"both ", 11}, {"bold ", 10}, {"plain", 0}};
    ASSERT_EQ(runs.size(), expected.size());
    for (size_t i = 0; i < runs.size(); i++) {
        EXPECT_EQ(runs[i].Text, expected[i].first) << i;
        EXPECT_EQ(runs[i].Bold * 10 + runs[i].Italic, expected[i].second) << i;
    }

    // \plain inside a group lasts to the end of that group only; a nonzero parameter is "on".
    runs = Read(R"({\rtf1\b2\i1 x{\plain y}z})");
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].Text, "x");
    EXPECT_EQ(runs[0].Bold * 10 + runs[0].Italic, 11);
    EXPECT_EQ(runs[1].Text, "y");
    EXPECT_EQ(runs[1].Bold * 10 + runs[1].Italic, 0);
    EXPECT_EQ(runs[2].Text, "z");
    EXPECT_EQ(runs[2].Bold * 10 + runs[2].Italic, 11);
}

TEST(RtfReader, SkipsTablesPicturesAndStarredDestinations) {
    EXPECT_EQ(Decode(R"({\rtf1\ansi\deff0)"
                     R"({\fonttbl{\f0\fswiss Arial;}{\f1\fmodern Courier New;}})"
                     R"({\colortbl;\red255\green0\blue0;})"
                     R"({\stylesheet{\s0 Normal;}{\s1\b heading 1;}})"
                     R"({\info{\title A title}{\author Someone}})"
                     R"({\*\generator Writer 1.0;})"
                     R"({\*\unknowndestination {nested text} more})"
                     R"(\pard Visible{\header page head\par}{\footerl left foot}.)"
                     R"({\pict\pngblip 89504e470d0a1a0a}\par})"),
              "Visible.\n");
    // Escaped braces inside a skipped group do not end it early; text after the group is kept in
    // the style it had before the group.
    std::vector<RichTextRun> runs = Read(R"({\rtf1\b A{\*\comment \} \{ } B})");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Text, "A B");
    EXPECT_EQ(runs[0].Bold, 1);
    // \* only marks a destination at the start of a group.
    EXPECT_EQ(Decode(R"({\rtf1 {a\*b}c})"), "abc");
    // Binary data is jumped over by its length, braces and backslashes included.
    const char binary[] = "{\\rtf1 x{\\pict\\bin5 }{\\\0}}y}";
    EXPECT_EQ(Decode(std::string_view(binary, sizeof binary - 1)), "xy");
    // A table word in the document's own group does not throw away the document.
    EXPECT_EQ(Decode(R"({\rtf1\fonttbl kept})"), "kept");
}

TEST(RtfReader, DecodesCodePage1252Escapes) {
    EXPECT_EQ(Decode(R"({\rtf1 caf\'e9 \'80 5})"), "caf\u00E9 \u20AC 5");
    EXPECT_EQ(Decode(R"({\rtf1 \'C9\'ff\'a0})"), "\u00C9\u00FF\u00A0");
    // The upper control range maps to its Unicode characters; undefined bytes are dropped.
    EXPECT_EQ(Decode(R"({\rtf1 \'93q\'94\'85\'81\'8d\'8f\'90\'9d\'9f\'8a})"),
              "\u201Cq\u201D\u2026\u0178\u0160");
    // Raw bytes above 0x7F are read in the same code page.
    EXPECT_EQ(Decode("{\\rtf1 \xE9\x80}"), "\u00E9\u20AC");
    // Not two hex digits: the escape is dropped and what follows is text.
    EXPECT_EQ(Decode(R"({\rtf1 a\'zzb\'4})"), "azzb4");
}

TEST(RtfReader, DecodesUnicodeWithFallbacks) {
    EXPECT_EQ(Decode(R"({\rtf1 \u8364?5})"), "\u20AC"
                                             "5");
    EXPECT_EQ(Decode(R"({\rtf1 \u8364\'80 5})"), "\u20AC 5");
    EXPECT_EQ(Decode(R"({\rtf1\uc2 \u8364 EUx})"), "\u20ACx");
    EXPECT_EQ(Decode(R"({\rtf1\uc2 \u8364\'80\'80x})"), "\u20ACx");
    EXPECT_EQ(Decode(R"({\rtf1\uc0 \u8364 x\u233 y})"), "\u20ACx\u00E9y");
    // \uc is kept per group: back to one fallback character after the group.
    EXPECT_EQ(Decode(R"({\rtf1{\uc2\u233 ab}\u233 cd})"), "\u00E9\u00E9"
                                                          "d");
    // A control word or a brace ends the fallback early.
    EXPECT_EQ(Decode(R"({\rtf1\uc3\u233\par x})"), "\u00E9\nx");
    EXPECT_EQ(Decode(R"({\rtf1{\uc3\u233 a}bc})"), "\u00E9"
                                                   "bc");
    // Negative values are 16-bit units written signed.
    EXPECT_EQ(Decode(R"({\rtf1 \u-1280?})"), "\uFB00");
    EXPECT_EQ(Decode(R"({\rtf1 \u-32768?})"), "\u8000");
    // Two halves of a pair make one character; a lone half becomes U+FFFD.
    EXPECT_EQ(Decode(R"({\rtf1 \u-10179?\u-8704?!})"), "\U0001F600!");
    EXPECT_EQ(Decode(R"({\rtf1 \u-8704?x})"), "\uFFFDx");
    EXPECT_EQ(Decode(R"({\rtf1 \u-10179?y})"), "\uFFFDy");
    EXPECT_EQ(Decode(R"({\rtf1 \u-10179?\u-10179?\u-8704?})"), "\uFFFD\U0001F600");
    EXPECT_EQ(Decode(R"({\rtf1 \u-10179?})"), "\uFFFD");
    // Out of range and overlong numbers give U+FFFD, without overflow; \u0 gives nothing.
    EXPECT_EQ(Decode(R"({\rtf1 \u70000?\u-99999999999999999999999?\u0?.})"), "\uFFFD\uFFFD.");
    EXPECT_EQ(Decode(R"({\rtf1 \u99999999999999999999999999999999?.})"), "\uFFFD.");
}

TEST(RtfReader, TruncatedInputGivesAPrefixOfTheFullText) {
    const std::string_view document =
        R"({\rtf1\ansi{\fonttbl{\f0 Courier New;}}{\*\generator W;}\pard{\b Title\par})"
        R"(caf\'e9 \u8364? \uc2\u233 xx\u-10179?\u-8704?{\i it\~al\_ic}\tab end\line)"
        R"( \{x\} \\ \bin2 ab!\par})";
    std::vector<RichTextRun> fullRuns = Read(document);
    const std::string full = TextOf(fullRuns);
    ASSERT_EQ(full,
              "Title\ncaf\u00E9 \u20AC \u00E9\U0001F600it\u00A0al\u2011ic\tend\u2028{x} \\ !\n");
    const size_t signature = std::strlen("{\\rtf");
    size_t longestPrefix = 0;
    for (size_t cut = 0; cut <= document.size(); cut++) {
        int result = -1;
        std::string text = TextOf(Read(document.substr(0, cut), &result));
        ASSERT_EQ(result, cut < signature ? 0 : 1) << "cut at " << cut;
        ASSERT_EQ(full.compare(0, text.size(), text), 0) << "cut at " << cut << ": " << text;
        ASSERT_GE(text.size(), longestPrefix) << "cut at " << cut;
        longestPrefix = text.size();
    }
    EXPECT_EQ(longestPrefix, full.size());
}

TEST(RtfReader, RejectsInputThatIsNotRtf) {
    std::vector<RichTextRun> runs = {{"kept", 1, 0}};
    const unsigned char *plain = reinterpret_cast<const unsigned char *>("plain text");
    EXPECT_EQ(ReadRichText(plain, 10, &runs), 0);
    EXPECT_EQ(ReadRichText(plain, 0, &runs), 0);
    EXPECT_EQ(ReadRichText(nullptr, 0, &runs), 0);
    const unsigned char *almost = reinterpret_cast<const unsigned char *>("{\\rt");
    EXPECT_EQ(ReadRichText(almost, 4, &runs), 0);
    const unsigned char *upper = reinterpret_cast<const unsigned char *>("{\\RTF1 x}");
    EXPECT_EQ(ReadRichText(upper, 9, &runs), 0);
    const unsigned char *late = reinterpret_cast<const unsigned char *>("x{\\rtf1 x}");
    EXPECT_EQ(ReadRichText(late, 10, &runs), 0);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Text, "kept");

    // Leading whitespace is allowed, and a successful read replaces what the vector held.
    const unsigned char *spaced = reinterpret_cast<const unsigned char *>(" \r\n\t{\\rtf1 x}");
    EXPECT_EQ(ReadRichText(spaced, 13, &runs), 1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Text, "x");
    EXPECT_EQ(runs[0].Bold, 0);
    EXPECT_EQ(ReadRichText(spaced, 13, nullptr), 0);
}

TEST(RtfReader, SurvivesDeepNestingAndDamagedInput) {
    int result = 0;
    std::string open = "{\\rtf1 a" + std::string(10000, '{') + "x";
    EXPECT_EQ(TextOf(Read(open, &result)), "a");
    EXPECT_EQ(result, 1);
    std::string balanced = open + std::string(10000, '}') + "b}";
    EXPECT_EQ(Decode(balanced), "ab");

    // Text is kept up to the depth cap and skipped beyond it; styles and destinations met there
    // do not leak out.
    const size_t cap = size_t(RichTextMaxGroupDepth);
    std::string atCap =
        "{\\rtf1 a" + std::string(cap - 1, '{') + "{\\*\\x y}in" + std::string(cap - 1, '}') + "b}";
    EXPECT_EQ(Decode(atCap), "ainb");
    std::string pastCap =
        "{\\rtf1 a" + std::string(cap, '{') + "\\b out" + std::string(cap, '}') + "b}";
    std::vector<RichTextRun> runs = Read(pastCap);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Text, "ab");
    EXPECT_EQ(runs[0].Bold, 0);

    // The end of the outer group, or a '}' with nothing to close, ends reading.
    EXPECT_EQ(Decode("{\\rtf1 a}b{c}"), "a");
    EXPECT_EQ(Decode("{\\rtf1 a{b}}}c"), "ab");

    // NUL and other control bytes are no text; a raw tab is a tab.
    const char controls[] = "{\\rtf1 a\0b\x01\x7F\tc}";
    EXPECT_EQ(Decode(std::string_view(controls, sizeof controls - 1)), "ab\tc");
    // Overlong words and parameters are consumed whole, without overflow.
    EXPECT_EQ(Decode("{\\rtf1\\" + std::string(5000, 'q') + " w}"), "w");
    EXPECT_EQ(Decode("{\\rtf1\\b" + std::string(5000, '9') + " w}"), "w");
    EXPECT_EQ(Read("{\\rtf1\\b" + std::string(5000, '9') + " w}")[0].Bold, 1);
    EXPECT_EQ(Decode("{\\rtf1\\uc" + std::string(40, '9') + "\\u233 abc}"), "\u00E9");
    // Binary data longer than the input stops reading; a negative length skips nothing.
    EXPECT_EQ(Decode("{\\rtf1 a\\bin999999999999 bcd}"), "a");
    EXPECT_EQ(Decode("{\\rtf1 a\\bin-5 bcd}"), "abcd");
}

TEST(RtfReader, ReadsTheHelpText) {
    const std::string path = SourceRoot() + "resources/help.rtf";
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << "cannot open " << path;
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    for (unsigned char c : bytes)
        ASSERT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << "not plain ASCII: " << int(c);

    int result = 0;
    std::vector<RichTextRun> runs = Read(bytes, &result);
    ASSERT_EQ(result, 1);
    const std::string text = TextOf(runs);

    // Exactly the six headings are bold, each a paragraph of its own.
    const std::vector<std::string> headings = {
        "Overview",      "Drop area", "Output settings", "Color settings", "Grabbing screen colors",
        "Preview window"};
    std::vector<std::string> bold;
    for (const RichTextRun &run : runs)
        if (run.Bold) bold.push_back(run.Text);
    ASSERT_EQ(bold.size(), headings.size());
    for (size_t i = 0; i < headings.size(); i++) {
        EXPECT_EQ(bold[i], headings[i] + "\n");
        EXPECT_NE(text.find("\n\n" + headings[i] + "\n"), std::string::npos) << headings[i];
    }
    for (size_t i = 1; i < runs.size(); i++)
        EXPECT_FALSE(runs[i].Bold == runs[i - 1].Bold && runs[i].Italic == runs[i - 1].Italic);

    EXPECT_EQ(text.rfind("Tintwell is a small free utility", 0), 0u);
    EXPECT_NE(text.find("[ctrl]+G\ttake the color under the mouse"), std::string::npos);
    EXPECT_NE(text.find("[shift]+[ctrl]+G\t"), std::string::npos);
    EXPECT_NE(text.find("[ctrl]+P\t"), std::string::npos);
    // Nothing of the markup or the tables is left over.
    for (std::string_view leftover : {"\\", "{", "}", "Courier", "red32", "fonttbl"})
        EXPECT_EQ(text.find(leftover), std::string::npos) << leftover;
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
}
