// A fresh folder under /tmp for one test, removed with everything in it when the test ends.
#pragma once

#include "runtime/base/string_scratch.h"
#include "runtime/base/text.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

struct TempFolder {
    std::string path; // ends with "/"; empty when the folder could not be made

    explicit TempFolder(const std::string &prefix) {
        std::string pattern = "/tmp/" + prefix + "-XXXXXX";
        if (mkdtemp(pattern.data())) path = pattern + "/";
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    String In(const std::string &name) const { return StringFromUtf8(path + name); }
    std::vector<unsigned char> Read(const std::string &name) const {
        std::ifstream in(path + name, std::ios::binary);
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
    }
    int FileCount() const {
        int n = 0;
        for (auto &entry : std::filesystem::directory_iterator(path)) n += entry.is_regular_file();
        return n;
    }
};
