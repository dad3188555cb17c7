// ParseBatchArguments on any command line: the input split at NUL bytes gives the
// words after the program's name (an input with no NUL is one word). What must
// hold: the answer is 1 or 0; a refusal comes with a one-line message; an
// accepted line keeps every value inside the range its option allows.
#include "batch/batch_options.h"
#include "tests/fuzz/fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<std::string> words;
    const char *text = reinterpret_cast<const char *>(data);
    size_t start = 0;
    for (size_t i = 0; i <= size; i++)
        if (i == size || data[i] == 0) {
            if (i < size || start < size) words.emplace_back(text + start, i - start);
            start = i + 1;
        }
    std::vector<const char *> argv{"tintwell-batch"};
    for (const std::string &word : words) argv.push_back(word.c_str());
    argv.push_back(nullptr); // as a real argv ends

    BatchOptions options;
    std::string error;
    int result = ParseBatchArguments(int(argv.size() - 1), argv.data(), &options, &error);
    FUZZ_CHECK(result == 0 || result == 1);
    if (result == 0) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(error.find('\n') == std::string::npos);
        return 0;
    }
    FUZZ_CHECK(options.Shift >= -BatchShiftLimit && options.Shift <= BatchShiftLimit);
    FUZZ_CHECK(options.Jobs >= 0 && options.Jobs <= BatchMaxJobs);
    FUZZ_CHECK(options.Quality == 0 || options.Quality == 80 || options.Quality == 95);
    FUZZ_CHECK(options.Verbosity >= 0 && options.Verbosity <= 2);
    if (options.BoxGiven) {
        FUZZ_CHECK(options.MaxWidth >= 0 && options.MaxWidth <= BatchBoxLimit);
        FUZZ_CHECK(options.MaxHeight >= 0 && options.MaxHeight <= BatchBoxLimit);
    }
    return 0;
}
