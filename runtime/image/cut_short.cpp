#include "runtime/image/cut_short.h"

#include "runtime/base/failure_reason.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

// Files are read whole for the check only up to this size; a bitmap format
// file larger than this is taken as it is.
constexpr int64_t LargestCheckedFile = int64_t(256) << 20;

uint32_t Big32(const unsigned char *p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint32_t Little32(const unsigned char *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
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

std::vector<unsigned char> WholeFile(int descriptor, int64_t size) {
    std::vector<unsigned char> file(static_cast<size_t>(size));
    if (pread(descriptor, file.data(), file.size(), 0) != ssize_t(file.size())) file.clear();
    return file;
}

std::string BmpCutShort(int descriptor, int64_t size, int64_t height) {
    unsigned char head[34];
    if (height < 1 || pread(descriptor, head, 34, 0) != 34) return std::string();
    uint32_t offset = Little32(&head[10]), header = Little32(&head[14]);
    if (header < 40 || offset >= size) return std::string(); // old headers: not checked
    int64_t width = int32_t(Little32(&head[18]));
    int bits = head[28] | head[29] << 8;
    uint32_t compression = Little32(&head[30]);
    int64_t rows;
    if (compression == 1 || compression == 2) {
        std::vector<unsigned char> file = WholeFile(descriptor, size);
        if (file.empty()) return std::string();
        rows = RunLengthRows(file.data() + offset, file.data() + size, height, compression == 2);
    } else if (compression == 0 || compression == 3 || compression == 6) {
        int64_t rowBytes = (width * bits + 31) / 32 * 4;
        if (rowBytes <= 0) return std::string();
        rows = std::min<int64_t>(height, (size - offset) / rowBytes);
    } else {
        return std::string();
    }
    return rows < height ? CutShortText(rows, height) : std::string();
}

// An X bitmap is C text: the bits are the hexadecimal numbers after its '{'.
std::string XbmCutShort(int descriptor, int64_t size, int64_t width, int64_t height) {
    std::vector<unsigned char> file = WholeFile(descriptor, size);
    if (width < 1 || height < 1 || file.empty()) return std::string();
    const char *text = reinterpret_cast<const char *>(file.data());
    const char *end = text + file.size();
    const char *p = static_cast<const char *>(std::memchr(text, '{', file.size()));
    if (!p) return std::string();
    int64_t rowBytes = (width + 7) / 8, numbers = 0;
    for (; p + 2 < end; p++)
        if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && std::isxdigit((unsigned char)p[2]))
            numbers++;
    int64_t rows = numbers / rowBytes;
    return rows < height ? CutShortText(rows, height) : std::string();
}

// Whether the chunks of a PNG lead to its end chunk within the file (heads only).
bool PngReachesItsEnd(int descriptor, int64_t size) {
    unsigned char head[8];
    for (int64_t at = 8; at + 8 <= size; at += 12 + int64_t(Big32(head))) {
        if (pread(descriptor, head, 8, off_t(at)) != 8) return false;
        if (std::memcmp(head + 4, "IEND", 4) == 0) return true;
    }
    return false;
}

// A PNG whose last chunk runs past the end of the file, or that ends before its
// end chunk: the rows its picture data holds, found by inflating what is there
// (an interlaced picture has no whole row before its last pass).
std::string PngCutShort(int descriptor, int64_t size) {
    if (PngReachesItsEnd(descriptor, size)) return std::string();
    std::vector<unsigned char> file = WholeFile(descriptor, size);
    if (file.size() < 33 || std::memcmp(&file[12], "IHDR", 4) != 0) return std::string();
    int64_t width = Big32(&file[16]), height = Big32(&file[20]);
    static const int channels[7] = {1, 0, 3, 1, 2, 0, 4}; // by colour type
    int depth = file[24], type = file[25] < 7 ? file[25] : 1, interlaced = file[28];
    int64_t rowBytes = 1 + (width * channels[type] * depth + 7) / 8;
    z_stream z = {};
    if (width < 1 || height < 1 || inflateInit(&z) != Z_OK) return std::string();
    unsigned char sink[1 << 16];
    int64_t inflated = 0;
    int result = Z_OK;
    for (size_t at = 8; at + 8 <= file.size() && result == Z_OK; at += 12 + Big32(&file[at])) {
        if (std::memcmp(&file[at + 4], "IDAT", 4) != 0) continue;
        z.next_in = &file[at + 8];
        z.avail_in = uInt(std::min<uint64_t>(Big32(&file[at]), file.size() - at - 8));
        while (z.avail_in > 0 && result == Z_OK) {
            z.next_out = sink, z.avail_out = sizeof sink;
            result = inflate(&z, Z_NO_FLUSH);
            inflated += int64_t(sizeof sink - z.avail_out);
        }
        if (result == Z_BUF_ERROR) result = Z_OK; // wants the next chunk's bytes
    }
    inflateEnd(&z);
    // Picture data that ends whole, or is broken, is for the decoder to judge.
    if (result != Z_OK) return std::string();
    int64_t rows = interlaced ? 0 : std::min(height, inflated / rowBytes);
    return CutShortText(rows, height);
}

// The pixels the LZW codes in a GIF's sub-blocks at `p` stand for. Only the
// length of each table entry is kept: an entry is one pixel longer than the
// entry it grew from.
int64_t GifPixels(const unsigned char *p, const unsigned char *end, int minimumBits) {
    if (minimumBits < 2 || minimumBits > 11) return 0;
    const int clear = 1 << minimumBits, stop = clear + 1;
    std::vector<int64_t> length(4096, 1);
    int next = clear + 2, bits = minimumBits + 1, previous = -1;
    int64_t pixels = 0;
    uint32_t buffer = 0;
    int held = 0;
    for (int block = 0; p < end && (block = *p++) > 0; p += block) {
        for (int i = 0; i < block && p + i < end; i++) {
            buffer |= uint32_t(p[i]) << held, held += 8;
            for (; held >= bits; held -= bits, buffer >>= bits) {
                int code = int(buffer & ((1u << bits) - 1));
                if (code == clear) {
                    next = clear + 2, bits = minimumBits + 1, previous = -1;
                    continue;
                }
                if (code == stop || code > next) return pixels;
                int64_t made = code < next     ? length[size_t(code)]
                               : previous >= 0 ? length[size_t(previous)] + 1
                                               : 1;
                if (previous >= 0 && next < 4096) {
                    length[size_t(next)] = length[size_t(previous)] + 1;
                    if (++next == (1 << bits) && bits < 12) bits++;
                }
                pixels += made;
                previous = code;
            }
        }
    }
    return pixels;
}

// The first picture of a GIF whose data runs past the end of the file.
std::string GifCutShort(int descriptor, int64_t size) {
    std::vector<unsigned char> file = WholeFile(descriptor, size);
    if (file.size() < 13) return std::string();
    const unsigned char *p = file.data() + 13, *end = file.data() + file.size();
    if (file[10] & 0x80) p += 3 << ((file[10] & 7) + 1); // the global colour table
    auto skipBlocks = [&] {
        while (p < end && *p) p += 1 + *p;
        p++;
    };
    while (p < end && *p == 0x21) p += 2, skipBlocks(); // extensions before the picture
    if (end - p < 11 || *p != 0x2C) return std::string();
    int64_t width = p[5] | p[6] << 8, height = p[7] | p[8] << 8;
    bool interlaced = p[9] & 0x40;
    if (p[9] & 0x80) p += 3 << ((p[9] & 7) + 1); // the local colour table
    p += 10;
    if (p >= end || width < 1 || height < 1) return std::string();
    int minimumBits = *p++;
    const unsigned char *data = p;
    skipBlocks();
    if (p <= end) return std::string(); // the picture's data ends within the file
    int64_t pixels = GifPixels(data, end, minimumBits);
    return CutShortText(interlaced ? 0 : std::min(height, pixels / width), height);
}

} // namespace

std::string CutShortReason(int descriptor, int64_t width, int64_t height) {
    struct stat status;
    if (fstat(descriptor, &status) != 0 || status.st_size > LargestCheckedFile ||
        status.st_size < 8)
        return std::string();
    unsigned char head[8];
    if (pread(descriptor, head, 8, 0) != 8) return std::string();
    bool bmp = head[0] == 'B' && head[1] == 'M';
    bool xbm = std::memcmp(head, "#define ", 8) == 0;
    bool png = head[0] == 0x89 && std::memcmp(head + 1, "PNG", 3) == 0;
    int64_t size = status.st_size;
    if (bmp) return BmpCutShort(descriptor, size, height);
    if (xbm) return XbmCutShort(descriptor, size, width, height);
    if (std::memcmp(head, "GIF8", 4) == 0) return GifCutShort(descriptor, size);
    return png ? PngCutShort(descriptor, size) : std::string();
}

bool PngChunksFitTheFile(int descriptor) {
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    unsigned char head[8];
    if (pread(descriptor, head, 8, 0) != 8 || std::memcmp(head, signature, 8) != 0) return true;
    struct stat status;
    if (fstat(descriptor, &status) != 0) return false;
    const uint64_t size = uint64_t(status.st_size);
    for (uint64_t at = 8; at + 8 <= size;) {
        if (pread(descriptor, head, 8, off_t(at)) != 8) return false;
        uint64_t length = uint64_t(head[0]) << 24 | uint64_t(head[1]) << 16 |
                          uint64_t(head[2]) << 8 | uint64_t(head[3]);
        // Length, type, data and checksum.
        if (length > size - at - 8 || size - at - 8 - length < 4) return false;
        if (std::memcmp(head + 4, "IEND", 4) == 0) return true;
        at += 12 + length;
    }
    return true; // no end chunk: the reader decides what such a file is worth
}
