#include "convert/save_png.h"

#include "convert/output_name.h"
#include "convert/png_pieces.h"
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

// What the pieces' sink needs: the file and the IDAT chunk's running sums.
struct IdatWriter {
    int64_t file = 0;
    uint32_t crc = 0;
    uint64_t total = 0;

    bool Write(const unsigned char *bytes, size_t length) {
        crc = uint32_t(crc32(crc, bytes, uInt(length)));
        total += length;
        return WriteAllBytes(file, bytes, length);
    }
};

bool WritePiece(void *context, const PngPiece &piece) {
    return static_cast<IdatWriter *>(context)->Write(piece.data.data(), piece.data.size());
}

// Ends the IDAT chunk (its CRC, then IEND) and puts its length in the head.
int64_t EndIdat(int64_t file, uint32_t crcValue, uint64_t total) {
    if (total == 0 || total > LargestChunk) return 0;
    unsigned char crc[4], length[4];
    PutBig32(crc, crcValue);
    PutBig32(length, uint32_t(total));
    if (!WriteAllBytes(file, crc, 4) || !WriteAllBytes(file, PngEnd, sizeof PngEnd)) return 0;
    if (!SeekBinFile(file, IdatLengthOffset) || !WriteAllBytes(file, length, 4)) return 0;
    return int64_t(total);
}

// A large picture's IDAT as one zlib stream made of pieces compressed over both
// cores: the zlib head of level 3 (0x78 0x5E), the pieces, the combined Adler-32.
int64_t StreamPieces(const PngRows &rows, int64_t pieceRows, int64_t file) {
    IdatWriter idat;
    idat.file = file;
    idat.crc = uint32_t(crc32(0, reinterpret_cast<const Bytef *>("IDAT"), 4));
    const unsigned char zlibHead[2] = {0x78, 0x5E};
    uint32_t adler = 0;
    if (!idat.Write(zlibHead, 2)) return 0;
    if (!CompressPngPieces(rows, pieceRows, WritePiece, &idat, &adler)) return 0;
    unsigned char tail[4];
    PutBig32(tail, adler);
    if (!idat.Write(tail, 4)) return 0;
    return EndIdat(file, idat.crc, idat.total);
}

} // namespace

int64_t WritePngPieces(int64_t file, const PngRows &rows) {
    if (!WritePngHead(file, rows.width, rows.height)) return 0;
    return StreamPieces(rows, PngPieceRows(rows.width, rows.height), file);
}

namespace {

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
    int64_t pieceRows = PngPieceRows(width, height);
    if (pieceRows) return WritePngPieces(file, {rowStart, pitch, width, height, bgra});
    // A picture of one piece is one ordinary stream, row by row.
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
    return EndIdat(file, writer->crc, writer->total);
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
        DiscardOutputDraft(path);
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

int SavePng(int64_t image, const String &path, String *placed) {
    if (!ImageExists(image)) return 0;
    String name = PngOutputName(path);
    String draft;
    int64_t file = CreateOutputDraft(name, &draft);
    if (!file) return 0;
    if (!WriteCreatedPng(image, file, draft)) return 0;
    if (!PlaceOutputFile(draft, &name, PngExtension)) return 0;
    if (placed) *placed = name;
    return 1;
}
