// What the fuzz runs found in the parsers, pinned down as ordinary tests; the
// inputs the fuzzers found are also in the corpora the replay tests run.
#include "batch/batch_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int Parse(std::vector<std::string> words, std::string *error) {
    std::vector<const char *> argv{"tintwell-batch"};
    for (const std::string &word : words) argv.push_back(word.c_str());
    BatchOptions options;
    return ParseBatchArguments(int(argv.size()), argv.data(), &options, error);
}

} // namespace

// A value quoting an argument with a line feed in it kept the line feed, so the
// usage error printed on two lines; control characters now show as "?".
TEST(FuzzFindings, BatchUsageErrorStaysOneLine) {
    std::string error;
    EXPECT_EQ(Parse({"-o", "out", "-\nr", "in.jpg"}, &error), 0);
    EXPECT_EQ(error, "unknown option -?");
    EXPECT_EQ(Parse({"-o", "out", "--quality=\x1b[2J\r", "in.jpg"}, &error), 0);
    EXPECT_EQ(error, "--quality must be medium or high, not \"?[2J?\"");
    EXPECT_EQ(Parse({"--shift", "1\n2", "-o", "out", "in.jpg"}, &error), 0);
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    // Printable bytes, UTF-8 included, are quoted as given.
    EXPECT_EQ(Parse({"-o", "out", "-q", "h\xc3\xb6", "in.jpg"}, &error), 0);
    EXPECT_EQ(error, "--quality must be medium or high, not \"h\xc3\xb6\"");
}
