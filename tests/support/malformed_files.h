// The folder of bad and damaged pictures that the batch command and the window
// are both given: every malformed file of the test data, truncated and
// bit-flipped copies of good ones made here, and good files among them.
#pragma once

#include "tests/support/byte_compare.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

struct MalformedSet {
    std::vector<std::string> bad;     // must end as an error, with no output
    std::vector<std::string> damaged; // may convert or fail, never leave a partial file
    std::vector<std::string> good;    // must convert, the output keeping the name
};

inline void WriteMalformedFile(const std::string &path, const std::vector<unsigned char> &bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// Fills `in` (ending in "/") from `jpeg` and `png`, two good pictures, and the
// third-party test data in `testdata` when it is there.
inline MalformedSet FillMalformedFolder(const std::string &in,
                                        const std::vector<unsigned char> &jpeg,
                                        const std::vector<unsigned char> &png,
                                        const std::string &testdata) {
    namespace fs = std::filesystem;
    MalformedSet set;
    auto put = [&](std::vector<std::string> &list, const std::string &name,
                   const std::vector<unsigned char> &bytes) {
        WriteMalformedFile(in + name, bytes);
        list.push_back(name);
    };
    put(set.good, "good.jpg", jpeg);
    put(set.good, "good.png", png);
    put(set.bad, "zero.jpg", {});
    put(set.bad, "zero.png", {});
    put(set.bad, "head.jpg", std::vector<unsigned char>(jpeg.begin(), jpeg.begin() + 20));
    put(set.bad, "head.png", std::vector<unsigned char>(png.begin(), png.begin() + 30));
    std::vector<unsigned char> sof = jpeg;
    for (size_t i = 2; i + 8 < sof.size(); i++)
        if (sof[i] == 0xFF && sof[i + 1] == 0xC0) {
            sof[i + 5] = sof[i + 6] = sof[i + 7] = sof[i + 8] = 0; // no width, no height
            break;
        }
    put(set.bad, "nosize.jpg", sof);
    std::vector<unsigned char> crc = png;
    crc[29] ^= 0xFF; // the IHDR checksum
    put(set.bad, "badcrc.png", crc);
    put(set.bad, "text.jpg", {'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'});
    // Without read permission (root reads it all the same).
    put(geteuid() == 0 ? set.good : set.bad, "locked.jpg", jpeg);
    chmod((in + "locked.jpg").c_str(), 0);

    // Damaged copies: cut in half, and with three bits flipped (the same bits on
    // every run).
    std::vector<std::pair<std::string, std::vector<unsigned char>>> sources = {{"good.jpg", jpeg},
                                                                               {"good.png", png}};
    auto addSources = [&](const std::string &folder, bool (*wanted)(const std::string &)) {
        std::error_code error;
        for (auto &entry : fs::directory_iterator(folder, error))
            if (wanted(entry.path().filename().string()))
                sources.emplace_back(entry.path().filename().string(),
                                     ReadFileBytes(entry.path().string()));
    };
    std::string jpegs = testdata + "/jpeg/", pngs = testdata + "/pngsuite/";
    addSources(jpegs, [](const std::string &name) {
        return name.size() > 4 && name.substr(name.size() - 4) == ".jpg" &&
               name.find("12.jpg") == std::string::npos;
    });
    addSources(pngs, [](const std::string &name) {
        return name.rfind("basn", 0) == 0 || name.rfind("basi", 0) == 0;
    });
    uint32_t seed = 2026;
    for (auto &[name, bytes] : sources) {
        if (bytes.size() < 16) continue;
        put(set.damaged, "cut-" + name,
            std::vector<unsigned char>(bytes.begin(), bytes.begin() + bytes.size() / 2));
        for (int copy = 1; copy <= 2; copy++) {
            std::vector<unsigned char> flipped = bytes;
            for (int bit = 0; bit < 3; bit++) {
                seed = seed * 1664525u + 1013904223u;
                flipped[seed % flipped.size()] ^= (unsigned char)(1u << (seed >> 29));
            }
            put(set.damaged, "flip" + std::to_string(copy) + "-" + name, flipped);
        }
    }

    // Every file the test data marks as corrupt: the PNG suite's x*.png, a
    // 12-bit JPEG no reader here takes, and libpng's crashers.
    std::error_code error;
    for (auto &entry : fs::directory_iterator(pngs, error)) {
        std::string name = entry.path().filename().string();
        if (name[0] == 'x' && entry.path().extension() == ".png")
            put(set.bad, name, ReadFileBytes(entry.path().string()));
    }
    for (const char *name : {"testorig12.jpg", "monkey12.jpg"})
        if (fs::exists(jpegs + name)) put(set.bad, name, ReadFileBytes(jpegs + name));
    for (auto &entry : fs::directory_iterator(pngs + "libpng-testpngs/crashers/", error)) {
        std::string name = entry.path().filename().string();
        // The one crasher that is a valid 1 x 1 picture.
        bool decodes = name == "empty_ancillary_chunks.png";
        put(decodes ? set.good : set.bad, "crasher-" + name, ReadFileBytes(entry.path().string()));
    }
    return set;
}
