#include "convert/png_pieces.h"

#include "convert/stop_flag.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <zlib.h>

namespace {

constexpr int PngFilterSub = 1;
constexpr int64_t DeflateWindow = 32768;
// Pieces the helper thread may finish ahead of the writer, so memory stays at a
// few pieces whatever the picture's size.
constexpr int64_t PiecesAhead = 4;

// Compresses rows [firstRow, endRow) as one piece: the window is primed with the
// filtered bytes of the rows before it, and the piece ends with a sync flush (or
// the stream's end for the last piece).
bool CompressPiece(const PngRows &rows, int64_t firstRow, int64_t endRow, bool last,
                   PngPiece *piece) {
    if (rows.rowsReady && !rows.rowsReady(rows.readyContext, endRow)) return false;
    size_t rowLength = size_t(rows.width) * 4 + 1;
    std::unique_ptr<unsigned char[]> row(new (std::nothrow) unsigned char[rowLength]);
    if (!row) return false;
    z_stream stream{};
    if (deflateInit2(&stream, 3, Z_DEFLATED, -15, 8, Z_FILTERED) != Z_OK) return false;
    auto end = [&](bool ok) {
        deflateEnd(&stream);
        return ok;
    };
    // Memory is asked for without exceptions: a failure ends the piece.
    std::vector<unsigned char> window;
    try {
        int64_t before = std::min<int64_t>(firstRow, (DeflateWindow + rowLength - 1) / rowLength);
        window.resize(size_t(before) * rowLength);
        piece->data.resize(deflateBound(&stream, uLong(rowLength * size_t(endRow - firstRow))) +
                           64);
    } catch (const std::bad_alloc &) {
        return end(false);
    }
    if (!window.empty()) {
        int64_t before = int64_t(window.size() / rowLength);
        for (int64_t y = firstRow - before; y < firstRow; y++)
            FilterRowSub(rows.first + y * rows.pitch,
                         window.data() + size_t(y - firstRow + before) * rowLength, rows.width,
                         rows.bgra);
        size_t keep = std::min<size_t>(window.size(), DeflateWindow);
        if (deflateSetDictionary(&stream, window.data() + window.size() - keep, uInt(keep)) != Z_OK)
            return end(false);
    }
    piece->adler = uint32_t(adler32(0, nullptr, 0));
    piece->length = 0;
    stream.next_out = piece->data.data();
    stream.avail_out = uInt(piece->data.size());
    for (int64_t y = firstRow; y < endRow; y++) {
        if (StopRequested()) return end(false);
        FilterRowSub(rows.first + y * rows.pitch, row.get(), rows.width, rows.bgra);
        piece->adler = uint32_t(adler32(piece->adler, row.get(), uInt(rowLength)));
        piece->length += int64_t(rowLength);
        stream.next_in = row.get();
        stream.avail_in = uInt(rowLength);
        while (stream.avail_in > 0) {
            if (stream.avail_out == 0) return end(false); // the bound was wrong
            int result = deflate(&stream, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_BUF_ERROR) return end(false);
        }
    }
    int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
        if (stream.avail_out == 0) return end(false);
        int result = deflate(&stream, flush);
        if (result == Z_STREAM_END || (result == Z_OK && !last && stream.avail_out > 0)) break;
        if (result != Z_OK && result != Z_BUF_ERROR) return end(false);
    }
    piece->data.resize(piece->data.size() - stream.avail_out);
    return end(true);
}

// What the writer and the helper thread share; everything behind `lock`.
struct PieceExchange {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<PngPiece> pieces; // the helper's pieces, by index
    std::vector<char> ready;
    int64_t written = -1; // the last piece handed to the sink
    bool failed = false;
};

} // namespace

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

int64_t PngPieceRows(int64_t width, int64_t height) {
    int64_t rowLength = width * 4 + 1;
    int64_t pieceRows = std::max<int64_t>(1, (PngPieceBytes + rowLength - 1) / rowLength);
    return height > pieceRows ? pieceRows : 0;
}

bool CompressPngPieces(const PngRows &rows, int64_t pieceRows, PngPieceSink sink, void *context,
                       uint32_t *adler) {
    int64_t count = (rows.height + pieceRows - 1) / pieceRows;
    auto rangeOf = [&](int64_t i, int64_t *first, int64_t *end) {
        *first = i * pieceRows;
        *end = std::min(rows.height, *first + pieceRows);
    };
    PieceExchange exchange;
    try {
        exchange.pieces.resize(size_t(count));
        exchange.ready.assign(size_t(count), 0);
    } catch (const std::bad_alloc &) {
        return false;
    }

    // The helper compresses the odd pieces, at most PiecesAhead ahead of the writer.
    auto help = [&] {
        for (int64_t i = 1; i < count; i += 2) {
            {
                std::unique_lock<std::mutex> hold(exchange.lock);
                exchange.changed.wait(
                    hold, [&] { return exchange.failed || i <= exchange.written + PiecesAhead; });
                if (exchange.failed) return;
            }
            int64_t first, end;
            rangeOf(i, &first, &end);
            PngPiece piece;
            bool ok = CompressPiece(rows, first, end, i == count - 1, &piece);
            std::lock_guard<std::mutex> hold(exchange.lock);
            if (!ok) exchange.failed = true;
            exchange.pieces[size_t(i)] = std::move(piece);
            exchange.ready[size_t(i)] = 1;
            exchange.changed.notify_all();
            if (!ok) return;
        }
    };
    // Without a second thread the caller compresses every piece: same bytes.
    std::thread helper;
    bool helped = true;
    try {
        helper = std::thread(help);
    } catch (const std::system_error &) {
        helped = false;
    }

    uint32_t sum = uint32_t(adler32(0, nullptr, 0));
    bool ok = true;
    for (int64_t i = 0; i < count && ok; i++) {
        PngPiece piece;
        if (i % 2 == 0 || !helped) {
            int64_t first, end;
            rangeOf(i, &first, &end);
            ok = CompressPiece(rows, first, end, i == count - 1, &piece);
        } else {
            std::unique_lock<std::mutex> hold(exchange.lock);
            exchange.changed.wait(hold,
                                  [&] { return exchange.failed || exchange.ready[size_t(i)]; });
            ok = exchange.ready[size_t(i)] && !exchange.failed;
            piece = std::move(exchange.pieces[size_t(i)]);
        }
        if (ok) ok = sink(context, piece);
        if (ok) sum = uint32_t(adler32_combine(sum, piece.adler, z_off_t(piece.length)));
        std::lock_guard<std::mutex> hold(exchange.lock);
        if (!ok) exchange.failed = true;
        exchange.written = i;
        exchange.changed.notify_all();
    }
    if (helped) helper.join();
    *adler = sum;
    return ok;
}
