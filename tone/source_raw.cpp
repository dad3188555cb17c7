// The camera RAW reader: LibRaw, for content that starts as a camera RAW file
// can. TIFF-based RAWs start as every TIFF does, so plain TIFFs are asked about
// too: LibRaw gives them back and they go on to the platform reader. The whole
// file is read into memory and developed at once with the camera's white
// balance, into sRGB at 16 bits a channel, turned upright by LibRaw, and at
// half size (each 2 x 2 block of the sensor one pixel) whenever that still
// covers the box; the platform reader then brings it into the box.
#include "runtime/base/memory_budget.h"
#include "runtime/image/platform_reader.h"
#include "tone/load_jpeg.h"
#include "tone/source_readers.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <libraw.h>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace {

using namespace std::string_view_literals;

// The first bytes of the files handed to LibRaw, at their place in the file.
struct Signature {
    int64_t offset;
    std::string_view bytes;
};
constexpr Signature RawSignatures[] = {
    {0, "II*\0"sv},
    {0, "MM\0*"sv}, // TIFF: DNG, NEF, CR2, ARW, PEF, KDC, ...
    {0, "IIRO"sv},
    {0, "IIRS"sv},
    {0, "MMOR"sv},                 // ORF
    {0, "IIU\0"sv},                // RW2
    {0, "FUJIFILM"sv},             // RAF
    {0, "II\x1a\0\0\0HEAPCCDR"sv}, // CRW
    {4, "ftypcrx "sv},             // CR3
};
constexpr int64_t SignatureBytes = 14; // as far as the signatures above reach

// Memory the decode holds at its peak, besides the file: the sensor data as
// unpacked (two bytes a photosite on a colour filter array, up to four
// channels of two bytes otherwise), then LibRaw's developed picture (four
// channels of 16 bits) beside the RGB copy it hands out; the R, G, B, A copy
// made from that comes after LibRaw's memory is freed, and is smaller.
constexpr int64_t MosaicBytesPerPhotosite = 2;
constexpr int64_t OtherBytesPerPhotosite = 8;
constexpr int64_t DevelopedBytesPerPixel = 8 + 6;

constexpr int64_t OutputBytesPerPixel = 8; // R, G, B, A of 16 bits
constexpr uint16_t Opaque = 65535;

// LibRaw's turns (bit 4 swaps the sides, bit 2 flips the rows, bit 1 the
// columns) as the EXIF orientations they are.
constexpr int ExifOrientationOfFlip[8] = {1, 2, 4, 3, 5, 8, 6, 7};

// What LibRaw would have printed: kept for the reason. Corrupt data LibRaw
// decodes past anyway is not held against the file, as with a JPEG.
struct Complaints {
    bool endOfFile = false;
    bool outOfMemory = false;
};

void KeepDataComplaint(void *complaints, const char *, const int offset) {
    if (offset < 0) static_cast<Complaints *>(complaints)->endOfFile = true;
}

void KeepMemoryComplaint(void *complaints, const char *, const char *) {
    static_cast<Complaints *>(complaints)->outOfMemory = true;
}

bool StartsAsRaw(const PictureSource &s) {
    unsigned char head[SignatureBytes] = {};
    const int64_t length = std::min(s.FileLength, SignatureBytes);
    if (!ReadSourceBytes(s, head, length, 0)) return false;
    for (const Signature &signature : RawSignatures) {
        const int64_t end = signature.offset + int64_t(signature.bytes.size());
        if (end <= length && std::memcmp(head + signature.offset, signature.bytes.data(),
                                         signature.bytes.size()) == 0)
            return true;
    }
    return false;
}

// Whether the half-size picture, upright, is still at least as large as the
// box makes it: then the full-size one would only be scaled down further.
bool HalfCoversTheBox(const PictureSource &s, const libraw_image_sizes_t &sizes) {
    int64_t w = (int64_t(sizes.width) + 1) / 2, h = (int64_t(sizes.height) + 1) / 2;
    if (sizes.flip & 4) std::swap(w, h);
    return FitRatio(w, h, BoxSide(s.MaxWidth), BoxSide(s.MaxHeight)) <= 1;
}

int64_t DecodeBytes(const PictureSource &s, const libraw_data_t &data, bool half) {
    const libraw_image_sizes_t &sizes = data.sizes;
    const int64_t photosites = int64_t(sizes.raw_width) * sizes.raw_height;
    const int64_t perPhotosite =
        data.idata.filters ? MosaicBytesPerPhotosite : OtherBytesPerPhotosite;
    int64_t w = sizes.width, h = sizes.height;
    if (half) w = (w + 1) / 2, h = (h + 1) / 2;
    return s.FileLength + photosites * perPhotosite + w * h * DevelopedBytesPerPixel;
}

// Refuses the file for good, after LibRaw answered `code`.
int Refuse(PictureSource &s, int code, const Complaints &complaints) {
    if (complaints.endOfFile) {
        s.Reason = "cut short";
    } else if (complaints.outOfMemory) {
        s.Reason = "cannot decode RAW: out of memory";
    } else {
        std::string message = libraw_strerror(code);
        if (!message.empty()) message[0] = char(std::tolower((unsigned char)message[0]));
        s.Reason = "cannot decode RAW: " + message;
    }
    return -1;
}

// LibRaw's picture (RGB, or grey, 16 bits a channel) as R, G, B, A for
// AdoptDecodedPicture; nullptr when there is no memory for it.
unsigned char *ExpandToRgba(const libraw_processed_image_t &made) {
    const int64_t pixels = int64_t(made.width) * made.height;
    auto *rgba = static_cast<uint16_t *>(std::malloc(size_t(pixels * OutputBytesPerPixel)));
    if (!rgba) return nullptr;
    const auto *from = reinterpret_cast<const uint16_t *>(made.data);
    const int step = made.colors;
    for (int64_t i = 0; i < pixels; i++, from += step) {
        uint16_t *to = rgba + i * 4;
        to[0] = from[0];
        to[1] = from[step == 3 ? 1 : 0];
        to[2] = from[step == 3 ? 2 : 0];
        to[3] = Opaque;
    }
    return reinterpret_cast<unsigned char *>(rgba);
}

struct MemImageFree {
    void operator()(libraw_processed_image_t *made) const { LibRaw::dcraw_clear_mem(made); }
};

} // namespace

int OpenRawSource(PictureSource &s) {
    if (!StartsAsRaw(s)) return 0;
    // A file larger than the picture's share could never be decoded: the
    // platform reader decides what it is.
    if (!FitsMemoryShare(s.FileLength)) return 0;
    std::unique_ptr<unsigned char[]> file(new (std::nothrow) unsigned char[size_t(s.FileLength)]);
    if (!file || !ReadSourceBytes(s, file.get(), s.FileLength, 0)) return 0;

    // Made without LibRaw's own callbacks, which print to standard error.
    std::unique_ptr<LibRaw> raw(new (std::nothrow) LibRaw(LIBRAW_OPIONS_NO_MEMERR_CALLBACK |
                                                          LIBRAW_OPIONS_NO_DATAERR_CALLBACK));
    if (!raw) return 0;
    Complaints complaints;
    raw->set_dataerror_handler(KeepDataComplaint, &complaints);
    raw->set_memerror_handler(KeepMemoryComplaint, &complaints);
    // A file LibRaw cannot make out, or one without sensor data (a plain TIFF),
    // is some other reader's.
    if (raw->open_buffer(file.get(), size_t(s.FileLength)) != LIBRAW_SUCCESS ||
        raw->imgdata.idata.raw_count < 1)
        return 0;

    libraw_data_t &data = raw->imgdata;
    const int64_t storedWidth = data.sizes.width, storedHeight = data.sizes.height;
    const int flip = data.sizes.flip & 7;
    // LibRaw halves only a colour filter array's picture.
    const bool half = data.idata.filters != 0 && HalfCoversTheBox(s, data.sizes);
    if (!DecodeFits(s, storedWidth, storedHeight, DecodeBytes(s, data, half))) return -1;
    data.params.use_camera_wb = 1;
    data.params.output_color = 1; // sRGB
    data.params.output_bps = 16;
    data.params.half_size = half ? 1 : 0;
    int code = raw->unpack();
    if (code == LIBRAW_SUCCESS) code = raw->dcraw_process();
    if (code != LIBRAW_SUCCESS || complaints.endOfFile) return Refuse(s, code, complaints);
    std::unique_ptr<libraw_processed_image_t, MemImageFree> made(raw->dcraw_make_mem_image(&code));
    if (!made) return Refuse(s, code, complaints);
    if (made->type != LIBRAW_IMAGE_BITMAP || made->bits != 16 ||
        (made->colors != 1 && made->colors != 3)) {
        s.Reason = "cannot decode RAW: " + std::to_string(made->colors) + " colours of " +
                   std::to_string(made->bits) + " bits";
        return -1;
    }
    raw.reset(); // LibRaw's copies and the file go before the R, G, B, A one is made
    file.reset();

    const int64_t width = made->width, height = made->height;
    unsigned char *rgba = ExpandToRgba(*made);
    made.reset();
    if (!rgba) return 0;
    int taken = OpenDecodedSource(
        s, AdoptDecodedPicture(rgba, width, height, width * OutputBytesPerPixel, 16));
    if (taken > 0) {
        s.StoredWidth = storedWidth, s.StoredHeight = storedHeight;
        s.Orientation = ExifOrientationOfFlip[flip];
    }
    return taken;
}
