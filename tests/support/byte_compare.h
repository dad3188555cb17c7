// Whole files and byte blocks in tests: reading a file, and comparing two blocks
// so that a failure names the first byte that differs.
#pragma once

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

inline std::vector<unsigned char> ReadFileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

// Success when both hold the same bytes; otherwise the sizes and the offset of
// the first difference (or of the end of the shorter one).
inline ::testing::AssertionResult SameBytes(const std::vector<unsigned char> &actual,
                                            const std::vector<unsigned char> &expected) {
    size_t n = actual.size() < expected.size() ? actual.size() : expected.size();
    size_t at = 0;
    while (at < n && actual[at] == expected[at]) at++;
    if (at == n && actual.size() == expected.size()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                         << ", first difference at byte " << at;
}
