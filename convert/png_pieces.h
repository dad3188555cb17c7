// The PNG writer's compression over both cores. A large picture's filtered rows
// are cut into pieces of about one megabyte; each piece is compressed on its own
// as part of one raw deflate stream (primed with the 32 KiB of filtered bytes
// before it, so it compresses as if the stream had run on, and ended with a sync
// flush so the pieces join on byte boundaries), and the pieces' Adler-32 sums are
// combined into the stream's. Two threads compress: the caller's thread takes the
// even pieces and one helper thread the odd ones, while the caller writes the
// pieces out in order. The piece layout depends on the picture's size only, so
// the bytes written are the same whichever thread compressed what.
//
// Any thread may call these, each on its own rows; the rows must stay readable
// until CompressPngPieces returns.
#pragma once

#include <cstdint>
#include <vector>

// Rows of a 4-byte drawing buffer in the order they are written (pitch negative
// for a buffer stored bottom up).
struct PngRows {
    const unsigned char *first = nullptr;
    int64_t pitch = 0;
    int64_t width = 0, height = 0;
    bool bgra = false; // B, G, R, A in memory; else R, G, B, A
    // Rows still arriving (a decoder filling them in order): when set, asked
    // before a piece is compressed whether the rows before `end` are there. It
    // waits for them, and answers false when they will never come (the piece then
    // fails). Called from both compressing threads.
    bool (*rowsReady)(void *context, int64_t end) = nullptr;
    void *readyContext = nullptr;
};

// Filtered bytes a piece holds at least (whole rows).
constexpr int64_t PngPieceBytes = int64_t(1) << 20;

// One row in R, G, B, A order behind its filter byte, each byte minus the same
// byte of the pixel to its left (the Sub filter). `row` holds width * 4 + 1 bytes.
void FilterRowSub(const unsigned char *pixels, unsigned char *row, int64_t width, bool bgra);

// Rows per piece for a picture of this size, or 0 when it is a single piece (it
// is then written as one ordinary stream).
int64_t PngPieceRows(int64_t width, int64_t height);

// One compressed piece and what the stream's checksum needs of it.
struct PngPiece {
    std::vector<unsigned char> data;
    uint32_t adler = 1; // Adler-32 of the piece's filtered bytes
    int64_t length = 0; // filtered bytes in the piece
};

// Receives the pieces in stream order; false stops the compression.
using PngPieceSink = bool (*)(void *context, const PngPiece &piece);

// Compresses every piece (level 3, filtered strategy) and hands each to `sink` in
// order; *adler is the Adler-32 of all filtered bytes. False when memory runs
// out, deflate fails, the sink refuses or a stop is requested.
bool CompressPngPieces(const PngRows &rows, int64_t pieceRows, PngPieceSink sink, void *context,
                       uint32_t *adler);
