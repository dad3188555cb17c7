
#include "convert/convert_file.h"
#include "convert/output_name.h"
#include "convert/save_png.h"
#include "convert/stop_flag.h"
#include "convert/tone_image.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/dates.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/stream_conversion.h"
#include "tone/colour_table.h"
#include "tone/load_source.h"
#include "tone/luma_tables.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <png.h>
#include <string>
#include <sys/resource.h>
#include <vector>
#include <zlib.h>

namespace {

using Bytes = std::vector<unsigned char>;

// What a made PNG holds besides its pixels.
struct PngMaking {
    int colour = PNG_COLOR_TYPE_RGB_ALPHA;
    int depth = 8;
    int interlace = PNG_INTERLACE_NONE;
    double gamma = 0; // a gAMA chunk when nonzero
    bool srgb = false, text = false, transparentColour = false;
    const std::vector<unsigned char> *pixels = nullptr; // instead of the made pattern
};

void AppendBytes(png_structp png, png_bytep data, size_t length) {
    auto *out = static_cast<Bytes *>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void FlushNothing(png_structp) {}

// A w x h picture with gradients, edges, grain and every alpha, written by
// libpng (its own filters and compression), the IDAT in 8 KiB chunks.
Bytes MakePng(int w, int h, const PngMaking &m) {
    int channels = m.colour == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                   : m.colour == PNG_COLOR_TYPE_RGB     ? 3
                                                        : 1;
    int bytesPer = m.depth / 8;
    Bytes pixels(size_t(w) * h * channels * bytesPer);
    uint32_t seed = 11;
    for (size_t i = 0; i < pixels.size(); i++) {
        seed = seed * 1664525u + 1013904223u;
        size_t p = i / (size_t(channels) * bytesPer);
        int x = int(p % size_t(w)), y = int(p / size_t(w));
        pixels[i] =
            (unsigned char)((x * 3 + y + int(i % 7) * 40 + (x / 29 % 2) * 90) + (seed >> 29));
    }
    if (m.pixels) pixels = *m.pixels;
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, AppendBytes, FlushNothing);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), m.depth, m.colour, m.interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (m.gamma != 0) png_set_gAMA(png, info, m.gamma);
    if (m.srgb) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    if (m.text) {
        png_text text{};
        text.compression = PNG_TEXT_COMPRESSION_NONE;
        text.key = const_cast<char *>("Comment");
        text.text = const_cast<char *>("made for a test");
        png_set_text(png, info, &text, 1);
    }
    if (m.transparentColour) {
        png_color_16 colour{};
        colour.red = 3, colour.green = 40, colour.blue = 90;
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    png_write_info(png, info);
    int passes = png_set_interlace_handling(png);
    size_t pitch = size_t(w) * channels * bytesPer;
    for (int pass = 0; pass < passes; pass++)
        for (int y = 0; y < h; y++) png_write_row(png, pixels.data() + size_t(y) * pitch);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// Where the chunk of this type starts (its length field), 0 when there is none.
size_t ChunkAt(const Bytes &png, const char *type) {
    for (size_t at = 8; at + 12 <= png.size();) {
        size_t length = size_t(png[at]) << 24 | size_t(png[at + 1]) << 16 |
                        size_t(png[at + 2]) << 8 | png[at + 3];
        if (std::memcmp(png.data() + at + 4, type, 4) == 0) return at;
        at += 12 + length;
    }
    return 0;
}

class StreamPng : public StreamConversionTest {
  protected:
    static void SetUpTestSuite() {
        StartConverting({StopColour(10, 30, 70), 0, 0, StopColour(210, 80, 50), 0, 0, 0,
                         StopColour(240, 250, 200), 0});
    }
    // The file of the platform reader's way (Qt decodes the whole picture,
    // ToneImage, SavePng) against the pipeline's; or, when the platform reader
    // refuses the file, the pipeline's refusal with `reason`.
    void ExpectIdentical(const String &source, int shift, int32_t box = 0,
                         const char *reason = "") {
        int64_t image = LoadImageViaPlatform(source, box, box);
        Bytes whole;
        if (image) {
            EXPECT_EQ(ToneImage(image, shift), 1);
            EXPECT_EQ(SavePng(image, StringFromUtf8(out.path + "whole.png")), 1);
            ReleaseImage(image);
            whole = Take("whole.png");
        }
        ConversionOutcome outcome;
        // Profiles off: the platform reader's way reads every picture as sRGB.
        int status = ConvertOneFile(source, StringFromUtf8(out.path),
                                    {box, box, 95, OutputAsRead, false}, shift, 1, 0, {}, &outcome);
        EXPECT_EQ(status, image ? StatusDone : StatusError);
        EXPECT_EQ(outcome.Reason, reason);
        if (image) {
            Bytes streamed =
                Take(Utf8Of(FileNamePart(ApplyExtensionRule(outcome.Output, {u"png"}, u"png"))));
            EXPECT_GT(whole.size(), 1000u);
            EXPECT_TRUE(whole == streamed) << "sizes " << whole.size() << " / " << streamed.size();
        }
        EXPECT_EQ(out.FileCount(), 0);
    }
};

// RGBA and RGB, with the ancillary chunks photographs carry, odd sizes, shifts.
TEST_F(StreamPng, SameBytesAsWholeImagePath) {
    struct Case {
        int w, h, shift;
        PngMaking making;
    } cases[] = {
        {900, 700, 0, {}},
        {641, 517, 9, {PNG_COLOR_TYPE_RGB}},
        {700, 600, -20, {PNG_COLOR_TYPE_RGB_ALPHA, 8, PNG_INTERLACE_NONE, 0.45455, true, true}},
        {600, 900, 3, {PNG_COLOR_TYPE_RGB, 8, PNG_INTERLACE_NONE, 1.0, false, true}},
        {4000, 70, 0, {}}, // a few long rows per piece
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        ExpectIdentical(Put("case.png", MakePng(c.w, c.h, c.making)), c.shift);
    }
}

// What libpng does not read as stored goes to the platform reader, on the same
// open file: formats Qt converts on reading, pictures to shrink, files libpng
// complains about or cannot read to the end. The content decides, whatever the
// name.
TEST_F(StreamPng, SameOutcomeAsThePlatformReader) {
    // (A 16-bit PNG takes its luminance from all its bits: see Batch.SixteenBitRampKeepsItsSteps.)
    PngMaking interlaced, grey, keyed;
    interlaced.interlace = PNG_INTERLACE_ADAM7;
    grey.colour = PNG_COLOR_TYPE_GRAY;
    keyed.colour = PNG_COLOR_TYPE_RGB, keyed.transparentColour = true;
    Bytes good = MakePng(800, 600, {});
    // A damaged ancillary chunk (libpng warns and skips it), a damaged and a cut
    // image data chunk.
    Bytes text = MakePng(800, 600, {PNG_COLOR_TYPE_RGB_ALPHA, 8, 0, 0, false, true});
    text[ChunkAt(text, "tEXt") + 9] ^= 0x20;
    Bytes flipped = good;
    flipped[ChunkAt(good, "IDAT") + 5000] ^= 0x10;
    Bytes cut(good.begin(), good.begin() + long(good.size() / 2));
    struct {
        const char *name;
        Bytes bytes;
        int32_t box;
        const char *reason; // when nothing reads it
    } files[] = {
        {"interlaced.png", MakePng(800, 600, interlaced), 0, ""},
        {"grey.png", MakePng(1500, 1000, grey), 0, ""},
        {"keyed.png", MakePng(800, 600, keyed), 0, ""},
        {"small.png", MakePng(400, 300, {}), 0, ""},
        {"text.png", text, 0, ""},
        {"flipped.png", flipped, 0,
         "not a picture this program reads (libpng error: IDAT: CRC error)"},
        {"cut.png", cut, 0, "cut short after row 299 of 600"},
        {"notpng.png", Bytes(5000, 'x'), 0, "not a picture this program reads"},
        {"photo.data", good, 0, ""},
        {"photo", good, 0, ""},
        {"named.jpg", good, 0, ""},
        {"named.tif", good, 0, ""},
    };
    for (const auto &f : files) {
        SCOPED_TRACE(f.name);
        ExpectIdentical(Put(f.name, f.bytes), 0, f.box, f.reason);
    }
}

// Into the box a PNG is resized row by row as it is decoded, its colour weighed
// by alpha: the file is the one of the whole picture loaded and resized at once,
// at the size the platform reader gives, in either order of the resize's passes,
// and no colour of a transparent area bleeds into the edge beside it.
TEST_F(StreamPng, IntoTheBoxRowByRow) {
    Bytes halves(600 * 400 * 4, 0); // left half transparent black, right half opaque white
    for (size_t p = 0; p < 600 * 400; p++)
        if (p % 600 >= 300) std::fill_n(halves.begin() + long(p * 4), 4, 255);
    PngMaking edge;
    edge.pixels = &halves;
    struct {
        const char *name;
        Bytes bytes;
        int32_t box;
    } cases[] = {
        {"photo.png", MakePng(1500, 1100, {}), 700},
        {"rgb.png", MakePng(900, 700, {PNG_COLOR_TYPE_RGB}), 333},
        {"tall.png", MakePng(300, 2000, {}), 150},
        {"edge.png", MakePng(600, 400, edge), 90},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        String source = Put(c.name, c.bytes);
        int64_t platform = LoadImageViaPlatform(source, c.box, c.box);
        LoadedImage whole = LoadSourceImage(source, c.box, c.box);
        ASSERT_NE(whole.image, 0);
        EXPECT_EQ(ImagePixelWidth(whole.image), ImagePixelWidth(platform));
        EXPECT_EQ(ImagePixelHeight(whole.image), ImagePixelHeight(platform));
        ReleaseImage(platform);
        ASSERT_EQ(ToneImage(whole.image, 4), 1);
        EXPECT_EQ(SavePng(whole.image, StringFromUtf8(out.path + "whole.png")), 1);
        EXPECT_EQ(ConvertOneFile(source, StringFromUtf8(out.path), {c.box, c.box, 95}, 4, 1, 0, {}),
                  StatusDone);
        EXPECT_TRUE(Take("whole.png") == Take(c.name));
        if (std::string(c.name) == "edge.png") {
            const unsigned char *p = LookupImage(whole.image)->pixels;
            int64_t w = ImagePixelWidth(whole.image), count = w * ImagePixelHeight(whole.image);
            const unsigned char *white = p + (w - 1) * 4;
            int partial = 0;
            for (int64_t i = 0; i < count; i++, p += 4) {
                if (p[3] == 0) continue;
                partial += p[3] < 255;
                EXPECT_EQ(Bytes(p, p + 3), Bytes(white, white + 3)) << "pixel " << i;
            }
            EXPECT_GT(partial, 0); // the edge was resized, not cut
        }
        ReleaseImage(whole.image);
    }
}

// Through ConvertOneFile: the statuses of the whole-image path, its thumbnail,
// a stop at the thumbnail and a stop before the first band.
TEST_F(StreamPng, StatusesThumbnailAndStops) {
    String source = Put("photo.png", MakePng(700, 500, {}));
    int64_t image = LoadImageViaPlatform(source, 0, 0);
    ASSERT_EQ(ToneImage(image, 5), 1);
    ThumbnailRect r = ThumbnailCrop(700, 500);
    int64_t crop = CropImage(image, -1, r.x, r.y, r.width, r.height);
    ReleaseImage(image);
    ASSERT_NE(crop, 0);

    StatusRecorder recorder;
    ConversionOutcome outcome;
    EXPECT_EQ(
        ConvertOneFile(source, StringFromUtf8(out.path), {}, 5, 1, 0, recorder.Sink(), &outcome),
        StatusDone);
    EXPECT_EQ(recorder.statuses,
              (std::vector<int>{StatusLoading, StatusThumbnail, StatusSaving, StatusDone}));
    EXPECT_EQ(outcome.Pixels, 700 * 500);
    EXPECT_EQ(Utf8Of(outcome.Output), out.path + "photo.png");
    ASSERT_NE(recorder.thumbnail, 0);
    const unsigned char *a = LookupImage(recorder.thumbnail)->pixels;
    const unsigned char *b = LookupImage(crop)->pixels;
    EXPECT_EQ(Bytes(a, a + 256 * 96 * 4), Bytes(b, b + 256 * 96 * 4));
    ReleaseImage(crop);
    Take("photo.png");

    StatusRecorder stopping;
    stopping.stopAtThumbnail = true;
    EXPECT_EQ(ConvertOneFile(source, StringFromUtf8(out.path), {}, 0, 1, 0, stopping.Sink()),
              StatusCancelled);
    EXPECT_EQ(stopping.statuses,
              (std::vector<int>{StatusLoading, StatusThumbnail, StatusCancelled}));
    EXPECT_EQ(out.FileCount(), 0); // no output and no draft

    RequestStop();
    EXPECT_EQ(ConvertOneFile(source, StringFromUtf8(out.path), {}, 0, 1, 0, {}), StatusCancelled);
    EXPECT_EQ(out.FileCount(), 0);
}

// A write that fails part way (a file size limit): the whole-image path's
// outcome, and no file.
TEST_F(StreamPng, WriteFailureSameOutcomeAsWholeImagePath) {
    String source = Put("big.png", MakePng(800, 800, {}));
    int64_t image = LoadImageViaPlatform(source, 0, 0);
    ASSERT_EQ(ToneImage(image, 0), 1);
    FileSizeLimit limit(200000);
    ASSERT_TRUE(limit.set);
    errno = 0;
    int whole = SavePng(image, StringFromUtf8(out.path + "big.png"));
    int wholeErrno = errno;
    StatusRecorder recorder;
    ConversionOutcome outcome;
    int status =
        ConvertOneFile(source, StringFromUtf8(out.path), {}, 0, 1, 0, recorder.Sink(), &outcome);
    limit.Lift();
    ReleaseImage(image);
    EXPECT_EQ(whole, 0);
    EXPECT_EQ(status, StatusError);
    EXPECT_EQ(recorder.statuses,
              (std::vector<int>{StatusLoading, StatusThumbnail, StatusSaving, StatusError}));
    EXPECT_EQ(outcome.FailedStage, StageSave);
    EXPECT_EQ(outcome.SaveError, wholeErrno);
    EXPECT_NE(outcome.SaveError, 0);
    EXPECT_EQ(Utf8Of(outcome.Output), out.path + "big.png");
    EXPECT_EQ(out.FileCount(), 0);
}

} // namespace
