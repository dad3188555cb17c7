#include "runtime/image/cut_short.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Files are read whole for the check only up to this size; a bitmap format
// file larger than this is taken as it is.
constexpr int64_t LargestCheckedFile = int64_t(256) << 20;

uint32_t Little32(const unsigned char *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::string CutAfter(int64_t rows, int64_t height) {
    char text[96];
    std::snprintf(text, sizeof text, "cut short after row %lld of %lld", (long long)rows,
                  (long long)height);
    return text;
}

// Rows a run-length bitmap ends before its data runs out: every row when the
// end-of-picture code or the end of the last row is reached.
int64_t RunLengthRows(const unsigned char *p, const unsigned char *end, int64_t height,
                      bool fourBit) {
    int64_t y = 0;
    while (y < height) {
        if (end - p < 2) return y;
        unsigned count = p[0], code = p[1];
        p += 2;
        if (count > 0) continue; // a run of one value
        if (code == 0) {
            y++; // end of a row
        } else if (code == 1) {
            return height; // end of the picture: what it skips is meant
        } else if (code == 2) {
            if (end - p < 2) return y;
            y += p[1]; // a skip to the right and down
            p += 2;
        } else {
            // `code` pixels as they stand, padded to a 16-bit boundary.
            int64_t bytes = fourBit ? (code + 1) / 2 : code;
            bytes += bytes & 1;
            if (end - p < bytes) return y;
            p += bytes;
        }
    }
    return height;
}

std::string BmpCutShort(const std::vector<unsigned char> &file, int64_t height) {
    if (file.size() < 34) return std::string();
    uint32_t offset = Little32(&file[10]), header = Little32(&file[14]);
    if (header < 40 || offset >= file.size()) return std::string(); // old headers: not checked
    int64_t width = int32_t(Little32(&file[18]));
    int bits = file[28] | file[29] << 8;
    uint32_t compression = Little32(&file[30]);
    const unsigned char *data = file.data() + offset, *end = file.data() + file.size();
    int64_t rows;
    if (compression == 1 || compression == 2) {
        rows = RunLengthRows(data, end, height, compression == 2);
    } else if (compression == 0 || compression == 3 || compression == 6) {
        int64_t rowBytes = (width * bits + 31) / 32 * 4;
        if (rowBytes <= 0) return std::string();
        rows = std::min<int64_t>(height, (end - data) / rowBytes);
    } else {
        return std::string();
    }
    return rows < height ? CutAfter(rows, height) : std::string();
}

// An X bitmap is C text: the bits are the hexadecimal numbers after its '{'.
std::string XbmCutShort(const std::vector<unsigned char> &file, int64_t width, int64_t height) {
    const char *text = reinterpret_cast<const char *>(file.data());
    const char *end = text + file.size();
    const char *p = static_cast<const char *>(std::memchr(text, '{', file.size()));
    if (!p) return std::string();
    int64_t rowBytes = (width + 7) / 8, numbers = 0;
    for (; p + 2 < end; p++)
        if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && std::isxdigit((unsigned char)p[2]))
            numbers++;
    int64_t rows = numbers / rowBytes;
    return rows < height ? CutAfter(rows, height) : std::string();
}

} // namespace

std::string CutShortReason(int descriptor, int64_t width, int64_t height) {
    struct stat status;
    if (width < 1 || height < 1 || fstat(descriptor, &status) != 0 ||
        status.st_size > LargestCheckedFile || status.st_size < 8)
        return std::string();
    unsigned char head[8];
    if (pread(descriptor, head, 8, 0) != 8) return std::string();
    bool bmp = head[0] == 'B' && head[1] == 'M';
    bool xbm = std::memcmp(head, "#define ", 8) == 0;
    if (!bmp && !xbm) return std::string();
    std::vector<unsigned char> file(size_t(status.st_size));
    if (pread(descriptor, file.data(), file.size(), 0) != ssize_t(file.size()))
        return std::string();
    return bmp ? BmpCutShort(file, height) : XbmCutShort(file, width, height);
}
