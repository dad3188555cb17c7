// main() for the fuzz targets outside a libFuzzer build: every file named on the
// command line, or found in a folder named there, goes through the target once,
// in name order, each in a heap block of exactly its size so that a read past the
// end shows under AddressSanitizer. A target that aborts fails the test; a run
// that found no file at all fails too, so a missing corpus cannot pass unseen.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) __attribute__((weak));

namespace {

bool RunFile(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
        return false;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // An empty file still gets a block of its own (nothing in it may be read).
    std::unique_ptr<uint8_t[]> block(new uint8_t[bytes.empty() ? 1 : bytes.size()]);
    if (!bytes.empty()) std::memcpy(block.get(), bytes.data(), bytes.size());
    LLVMFuzzerTestOneInput(block.get(), bytes.size());
    return true;
}

} // namespace

int main(int argc, char **argv) {
    // Start-up may change the working folder (the window's start-up enters the
    // program's folder), so names are made absolute first.
    std::vector<std::filesystem::path> named;
    for (int i = 1; i < argc; i++) named.push_back(std::filesystem::absolute(argv[i]));
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::filesystem::path> files;
    for (const std::filesystem::path &name : named) {
        std::error_code error;
        if (std::filesystem::is_directory(name, error)) {
            for (const auto &entry : std::filesystem::directory_iterator(name, error))
                if (entry.is_regular_file()) files.push_back(entry.path());
            if (error) {
                std::fprintf(stderr, "replay: cannot list %s\n", name.c_str());
                return 1;
            }
        } else {
            files.push_back(name);
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "replay: no input files\n");
        return 1;
    }
    for (const auto &file : files)
        if (!RunFile(file)) return 1;
    std::printf("replay: %zu inputs ran\n", files.size());
    return 0;
}
