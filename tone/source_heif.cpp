// The HEIC, HEIF and AVIF reader: libheif decodes the file's primary picture
// whole (a grid's tiles put together; a sequence or burst gives its primary
// picture), turned upright by the file's own rotation, mirroring and crop, into
// R, G, B, A of 8 bits a channel, or of 16 for pictures of more than 8 bits.
// Colour profiles are not applied. The Exif orientation some files also carry
// repeats the rotation already applied and is not looked at.
#include "runtime/base/decoder_messages.h"
#include "runtime/base/memory_budget.h"
#include "runtime/image/platform_reader.h"
#include "tone/source_readers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <libheif/heif.h>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// The ftyp brands of the files libheif reads: HEVC pictures and sequences
// (plain, 10-bit and more, multi-view, scalable), pictures and sequences of any
// codec, AV1 pictures and sequences.
constexpr char HeifBrands[][5] = {"heic", "heix", "heim", "heis", "hevc",
                                  "hevx", "mif1", "msf1", "avif", "avis"};
constexpr char AvifBrands[][5] = {"avif", "avis"};

// libheif refuses a picture declaring a side over its own limit while it reads
// the file, before the size is known here. Its limit is raised far beyond any
// picture this program takes, so the size reaches DecodeFits, which says why.
constexpr int DeclaredSideLimit = 1 << 20;

// Decoding holds the decoder's picture or libheif's planes, libheif's R, G, B, A
// and the copy handed over: three pictures of four channels at once, at most.
constexpr int64_t DecodedCopies = 3;

uint32_t BigEndian32(const unsigned char *p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

bool HasBrand(const unsigned char *brand, const char (*brands)[5], size_t count) {
    for (size_t i = 0; i < count; i++)
        if (std::memcmp(brand, brands[i], 4) == 0) return true;
    return false;
}

// "HEIF" or "AVIF" as the file's ftyp box names it, the major brand or any
// compatible one; nullptr for anything else.
const char *FormatOf(const PictureSource &s) {
    unsigned char head[256];
    const int64_t length = std::min<int64_t>(s.FileLength, sizeof head);
    if (length < 16 || !ReadSourceBytes(s, head, length, 0) ||
        heif_check_filetype(head, int(length)) == heif_filetype_no)
        return nullptr;
    const int64_t end = std::min<int64_t>(BigEndian32(head), length);
    bool heif = false, avif = false;
    for (int64_t at = 8; at + 4 <= end; at += 4) {
        if (at == 12) continue; // the minor version
        heif = heif || HasBrand(head + at, HeifBrands, std::size(HeifBrands));
        avif = avif || HasBrand(head + at, AvifBrands, std::size(AvifBrands));
    }
    return avif ? "AVIF" : heif ? "HEIF" : nullptr;
}

// Whether the file's top-level boxes run past its end, as in a file cut short.
bool BoxesRunPastTheEnd(const unsigned char *data, int64_t length) {
    int64_t at = 0;
    while (at < length) {
        if (length - at < 8) return true;
        uint64_t size = BigEndian32(data + at), head = 8;
        if (size == 1) {
            if (length - at < 16) return true;
            size = uint64_t(BigEndian32(data + at + 8)) << 32 | BigEndian32(data + at + 12);
            head = 16;
        } else if (size == 0) {
            return false; // the last box, to the end of the file
        }
        if (size < head) return false; // not a box: damaged, not cut
        if (size > uint64_t(length - at)) return true;
        at += int64_t(size);
    }
    return false;
}

// libheif's objects for one file, released together.
struct HeifDecoding {
    std::unique_ptr<unsigned char[]> file;
    heif_context *context = nullptr;
    heif_image_handle *handle = nullptr;
    heif_image *image = nullptr;
    ~HeifDecoding() {
        if (image) heif_image_release(image);
        if (handle) heif_image_handle_release(handle);
        if (context) heif_context_free(context);
    }
};

// The picture as it is handed over.
struct Decoded {
    unsigned char *pixels = nullptr; // malloc'd
    int64_t width = 0, height = 0, pitch = 0;
    int bits = 8; // a channel: 8, or 16 for pictures of more than 8 bits
};

// What decoding a picture of width x height takes: the file, held throughout,
// and the pictures decoding holds at once.
int64_t DecodingBytes(const PictureSource &s, const Decoded &d, int64_t width, int64_t height) {
    return s.FileLength + DecodedCopies * width * height * 4 * (d.bits / 8);
}

// Refuses the file for good: -1, with the reason "cannot decode AVIF: <why>".
int CannotDecode(PictureSource &s, const char *format, const std::string &why) {
    s.Reason = std::string("cannot decode ") + format + ": " + why;
    return -1;
}

// Why libheif failed: the file was cut short, or in libheif's own words.
int Refuse(PictureSource &s, const HeifDecoding &d, const char *format, const heif_error &error) {
    if (BoxesRunPastTheEnd(d.file.get(), s.FileLength)) {
        s.Reason = "cut short";
        return -1;
    }
    std::string message = error.message;
    // Some end with a full stop or a line break.
    message.erase(message.find_last_not_of(" .\n") + 1);
    return CannotDecode(s, format, message);
}

// The decoded picture as AdoptDecodedPicture takes it: rows of R, G, B, A in
// malloc'd memory, `pitch` bytes each, 16-bit values stretched from the
// picture's range (`range` bits) to the full 0..65535. Null when out of memory.
unsigned char *CopyPixels(const unsigned char *from, int stride, int range, const Decoded &to) {
    auto *pixels = static_cast<unsigned char *>(std::malloc(size_t(to.pitch * to.height)));
    if (!pixels) return nullptr;
    std::vector<uint16_t> stretched;
    if (to.bits == 16) {
        const uint32_t top = (1u << range) - 1;
        stretched.resize(size_t(1) << 16, 65535); // values over the range as its top
        for (uint32_t v = 0; v <= top; v++) stretched[v] = uint16_t((v * 65535 + top / 2) / top);
    }
    for (int64_t y = 0; y < to.height; y++) {
        const unsigned char *row = from + y * stride;
        unsigned char *out = pixels + y * to.pitch;
        if (to.bits == 8) {
            std::memcpy(out, row, size_t(to.pitch));
            continue;
        }
        auto *values = reinterpret_cast<uint16_t *>(out);
        for (int64_t i = 0; i < to.width * 4; i++)
            values[i] = stretched[row[2 * i] | row[2 * i + 1] << 8];
    }
    return pixels;
}

// The colours the picture describes: its ICC profile, else its nclx code
// points; none (sRGB) for code points left unspecified.
ColourProfileRef DescribedColours(heif_image_handle *handle) {
    if (size_t length = heif_image_handle_get_raw_color_profile_size(handle)) {
        std::string icc(length, '\0');
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok)
            return ProfileFromIcc(icc.data(), length);
        return nullptr;
    }
    heif_color_profile_nclx *nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok || !nclx)
        return nullptr;
    ColourPrimaries primaries = SrgbPrimaries;
    ColourTransfer transfer = TransferSrgb;
    double gamma = 1;
    PrimariesFromCode(int(nclx->color_primaries), &primaries);
    TransferFromCode(int(nclx->transfer_characteristics), &transfer, &gamma);
    heif_nclx_color_profile_free(nclx);
    return ProfileFromPrimaries(primaries, transfer, gamma);
}

// Decodes the file into `out` (pixels null until the end). 1, or -1 with the
// reason, or 0 when libheif cannot start.
int Decode(PictureSource &s, const char *format, Decoded *out) {
    if (!FitsMemoryShare(s.FileLength, &s.Reason)) return -1;
    HeifDecoding d;
    d.file.reset(new (std::nothrow) unsigned char[size_t(s.FileLength)]);
    if (!d.file || !ReadSourceBytes(s, d.file.get(), s.FileLength, 0)) {
        s.Reason = "cannot read the file";
        return -1;
    }
    d.context = heif_context_alloc();
    if (!d.context) return 0;
    heif_context_set_maximum_image_size_limit(d.context, DeclaredSideLimit);
    heif_error error = heif_context_read_from_memory_without_copy(d.context, d.file.get(),
                                                                  size_t(s.FileLength), nullptr);
    if (error.code == heif_error_Ok)
        error = heif_context_get_primary_image_handle(d.context, &d.handle);
    if (error.code != heif_error_Ok) return Refuse(s, d, format, error);
    if (s.ColourProfiles) s.Colours = DescribedColours(d.handle);

    // The size after the file's rotation and crop, as the picture is shown.
    s.StoredWidth = heif_image_handle_get_width(d.handle);
    s.StoredHeight = heif_image_handle_get_height(d.handle);
    out->bits = heif_image_handle_get_luma_bits_per_pixel(d.handle) > 8 ? 16 : 8;
    if (!DecodeFits(s, s.StoredWidth, s.StoredHeight,
                    DecodingBytes(s, *out, s.StoredWidth, s.StoredHeight)))
        return -1;

    // An opaque picture gets its alpha from libheif, at the top of its range.
    // The AV1 decoder behind it prints what it finds wrong in damaged data;
    // libheif's own error says it for the file.
    {
        DecoderMessages quiet;
        error = heif_decode_image(d.handle, &d.image, heif_colorspace_RGB,
                                  out->bits == 16 ? heif_chroma_interleaved_RRGGBBAA_LE
                                                  : heif_chroma_interleaved_RGBA,
                                  nullptr);
    }
    if (error.code != heif_error_Ok) return Refuse(s, d, format, error);
    out->width = heif_image_get_width(d.image, heif_channel_interleaved);
    out->height = heif_image_get_height(d.image, heif_channel_interleaved);
    out->pitch = out->width * 4 * (out->bits / 8);
    int stride = 0;
    const unsigned char *from =
        heif_image_get_plane_readonly(d.image, heif_channel_interleaved, &stride);
    const int range = heif_image_get_bits_per_pixel_range(d.image, heif_channel_interleaved);
    if (!from || out->width < 1 || out->height < 1 || stride < out->pitch || range < 1 ||
        range > out->bits || (out->bits == 8 && range != 8))
        return CannotDecode(s, format, "unexpected pixel layout");
    // A picture decoded at another size than it declared is checked again.
    if ((out->width != s.StoredWidth || out->height != s.StoredHeight) &&
        !DecodeFits(s, out->width, out->height, DecodingBytes(s, *out, out->width, out->height)))
        return -1;
    out->pixels = CopyPixels(from, stride, range, *out);
    return out->pixels ? 1 : CannotDecode(s, format, "out of memory");
}

} // namespace

int OpenHeifSource(PictureSource &s) {
    const char *format = FormatOf(s);
    if (!format) return 0;
    // libheif registers its decoders once, before any thread decodes, and keeps
    // them for the life of the program.
    static const bool started = heif_init(nullptr).code == heif_error_Ok;
    if (!started) return 0;
    Decoded decoded;
    int taken = Decode(s, format, &decoded);
    if (taken < 1) return taken;
    // libheif's copies are gone by now, before the picture is drawn into the box.
    return OpenDecodedSource(s, AdoptDecodedPicture(decoded.pixels, decoded.width, decoded.height,
                                                    decoded.pitch, decoded.bits));
}
