#include "convert/save_png.h"

#include "convert/output_name.h"
#include "convert/stop_flag.h"
#include "runtime/base/bin_file.h"
#include "runtime/base/paths.h"
#include "runtime/image/codecs.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/images.h"

#include <cstring>
#include <memory>
#include <zlib.h>

namespace {

constexpr size_t PngOutputSize = 65536;
constexpr int PngFilterSub = 1;
// Byte 33 of the file holds the IDAT length: 8 signature + 25 IHDR chunk.
constexpr int64_t IdatLengthOffset = 33;
// A chunk length is a 31-bit number.
constexpr uint64_t LargestChunk = 0x7FFFFFFF;
// StreamPng's answer when the layout is not a 4-byte one.
constexpr int64_t UseEncoder = -1;

const unsigned char PngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
const unsigned char PngEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

void PutBig32(unsigned char *p, uint32_t v) {
    p[0] = (unsigned char)(v >> 24);
    p[1] = (unsigned char)(v >> 16);
    p[2] = (unsigned char)(v >> 8);
    p[3] = (unsigned char)v;
}

// One row in R, G, B, A order behind its filter byte, each byte minus the same
// byte of the pixel to its left (Sub). The two 4-byte layouts differ only in
// whether the first and third bytes swap.
void FilterRowSub(const unsigned char *pixels, unsigned char *row, int64_t width, bool bgra) {
    row[0] = PngFilterSub;
    unsigned char *out = row + 1;
    const int r = bgra ? 2 : 0, b = bgra ? 0 : 2;
    unsigned char pr = 0, pg = 0, pb = 0, pa = 0;
    for (int64_t x = 0; x < width; x++, pixels += 4, out += 4) {
        unsigned char cr = pixels[r], cg = pixels[1], cb = pixels[b], ca = pixels[3];
        out[0] = (unsigned char)(cr - pr);
        out[1] = (unsigned char)(cg - pg);
        out[2] = (unsigned char)(cb - pb);
        out[3] = (unsigned char)(ca - pa);
        pr = cr, pg = cg, pb = cb, pa = ca;
    }
}

struct DeflateWriter {
    z_stream stream{};
    bool open = false;
    int64_t file = 0;
    uint32_t crc = 0;
    uint64_t total = 0; // compressed bytes written
    unsigned char out[PngOutputSize];

    ~DeflateWriter() {
        if (open) deflateEnd(&stream);
    }

    // Writes what deflate produced into the file and the CRC, and empties the buffer.
    bool Drain() {
        size_t produced = PngOutputSize - stream.avail_out;
        stream.next_out = out;
        stream.avail_out = PngOutputSize;
        if (produced == 0) return true;
        crc = uint32_t(crc32(crc, out, uInt(produced)));
        total += produced;
        return WriteAllBytes(file, out, produced);
    }

    // Feeds one filtered row; deflate is called again while it fills the buffer.
    bool Feed(unsigned char *row, size_t length) {
        stream.next_in = row;
        stream.avail_in = uInt(length);
        bool full;
        do {
            int result = deflate(&stream, Z_NO_FLUSH);
            // Z_BUF_ERROR only says there was nothing to do this time.
            if (result != Z_OK && result != Z_BUF_ERROR) return false;
            full = stream.avail_out == 0;
            if (!Drain()) return false;
        } while (full || stream.avail_in > 0);
        return true;
    }

    bool Finish() {
        for (;;) {
            int result = deflate(&stream, Z_FINISH);
            if (result != Z_OK && result != Z_STREAM_END) return false;
            if (!Drain()) return false;
            if (result == Z_STREAM_END) break;
        }
        open = false;
        return deflateEnd(&stream) == Z_OK;
    }
};

// Signature, IHDR and the IDAT chunk's head with a placeholder length.
bool WritePngHead(int64_t file, int64_t width, int64_t height) {
    unsigned char head[8 + 25 + 8];
    std::memcpy(head, PngSignature, 8);
    unsigned char *ihdr = head + 8;
    PutBig32(ihdr, 13);
    std::memcpy(ihdr + 4, "IHDR", 4);
    PutBig32(ihdr + 8, uint32_t(width));
    PutBig32(ihdr + 12, uint32_t(height));
    const unsigned char rest[5] = {8, 6, 0, 0,
                                   0}; // 8 bits, RGBA, deflate, no filter set, no interlace
    std::memcpy(ihdr + 16, rest, 5);
    PutBig32(ihdr + 21, uint32_t(crc32(0, ihdr + 4, 17)));
    PutBig32(head + 33, 0);
    std::memcpy(head + 37, "IDAT", 4);
    return WriteAllBytes(file, head, sizeof head);
}

// The whole PNG of the current drawing output into the open `file`. Answers the
// IDAT length, 0 on failure or stop.
int64_t StreamCurrentTarget(int64_t file) {
    int64_t width = TargetWidth(), height = TargetHeight(), pitch = TargetPitch();
    int64_t layout = TargetLayout();
    const unsigned char *rowStart = TargetPixels();
    if (!rowStart || width < 1 || height < 1) return 0;
    bool bgra = !(layout & LayoutRgba);
    // Rows always go out top to bottom, whichever way the buffer stores them.
    if (layout & LayoutBottomUp) {
        rowStart += (height - 1) * pitch;
        pitch = -pitch;
    }
    size_t rowLength = size_t(width) * 4 + 1;
    std::unique_ptr<unsigned char[]> row(new (std::nothrow) unsigned char[rowLength]);
    auto writer = std::unique_ptr<DeflateWriter>(new (std::nothrow) DeflateWriter);
    if (!row || !writer) return 0;
    writer->file = file;
    if (deflateInit2(&writer->stream, 3, Z_DEFLATED, 15, 8, Z_FILTERED) != Z_OK) return 0;
    writer->open = true;
    writer->stream.next_out = writer->out;
    writer->stream.avail_out = PngOutputSize;
    writer->crc = uint32_t(crc32(0, reinterpret_cast<const Bytef *>("IDAT"), 4));

    if (!WritePngHead(file, width, height)) return 0;
    for (int64_t y = 0; y < height; y++, rowStart += pitch) {
        if (StopRequested()) return 0;
        FilterRowSub(rowStart, row.get(), width, bgra);
        if (!writer->Feed(row.get(), rowLength)) return 0;
    }
    if (!writer->Finish()) return 0;
    if (writer->total == 0 || writer->total > LargestChunk) return 0;

    unsigned char crc[4], length[4];
    PutBig32(crc, writer->crc);
    PutBig32(length, uint32_t(writer->total));
    if (!WriteAllBytes(file, crc, 4) || !WriteAllBytes(file, PngEnd, sizeof PngEnd)) return 0;
    if (!SeekBinFile(file, IdatLengthOffset) || !WriteAllBytes(file, length, 4)) return 0;
    return int64_t(writer->total);
}

// Writes the image into the freshly created `file` at `path` and closes it; the
// file is removed unless everything was written.
int64_t WriteCreatedPng(int64_t image, int64_t file, const String &path) {
    int64_t written = 0;
    if (ImageExists(image) && OpenDrawTarget(ImageTarget(image))) {
        int64_t layout = TargetLayout();
        written = layout & (LayoutRgba | LayoutBgra) ? StreamCurrentTarget(file) : UseEncoder;
        CloseDrawTarget();
    }
    bool closed = CloseBinFile(file) != 0;
    if (written == UseEncoder) {
        // The encoder writes the whole file itself (and removes it on failure).
        written = EncodeImageFile(image, path, FormatPng, 7, 32) ? 1 : 0;
    } else if (!closed) {
        written = 0;
    }
    if (written <= 0) {
        RemoveFile(path);
        return 0;
    }
    return written;
}

} // namespace

int64_t WritePngRgba(int64_t image, const String &path) {
    if (!ImageExists(image)) return 0;
    int64_t file = CreateBinFileExclusive(-1, path);
    if (!file) return 0;
    return WriteCreatedPng(image, file, path);
}

int SavePng(int64_t image, const String &path) {
    if (!ImageExists(image)) return 0;
    String name = ApplyExtensionRule(path, {u"png"}, u"png");
    int64_t file = CreateOutputFile(&name, u"png");
    if (!file) return 0;
    return WriteCreatedPng(image, file, name) ? 1 : 0;
}
