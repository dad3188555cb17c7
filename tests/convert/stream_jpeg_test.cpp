#include "convert/convert_file.h"

#include "convert/band_queue.h"
#include "convert/output_name.h"
#include "convert/save_jpeg.h"
#include "convert/stop_flag.h"
#include "convert/tone_image.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/dates.h"
#include "runtime/base/failure_reason.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/stream_conversion.h"
#include "tests/support/test_jpeg.h"
#include "tests/support/turbo_reference.h"
#include "tone/colour_table.h"
#include "tone/jpeg_handles.h"
#include "tone/load_jpeg.h"
#include "tone/luma_tables.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReadPath(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

class StreamJpeg : public StreamConversionTest {
  protected:
    static void SetUpTestSuite() {
        StartConverting({StopColour(20, 10, 60), 0, 0, StopColour(200, 90, 40), 0, 0, 0,
                         StopColour(250, 240, 180), 0});
    }
    // The file of the plain whole-image way (TurboJPEG, ToneImage, SaveJpeg)
    // against the pipeline's.
    void ExpectIdentical(const String &source, int quality, int shift, int32_t boxWidth = 0,
                         int32_t boxHeight = 0) {
        int orientation = 0;
        int64_t image = TurboJpegLoad(source, boxWidth, boxHeight, &orientation);
        ASSERT_NE(image, 0);
        EXPECT_EQ(ToneImage(image, shift), 1);
        EXPECT_EQ(SaveJpeg(image, StringFromUtf8(out.path + "whole.jpg"), quality, orientation), 1);
        ReleaseImage(image);
        Bytes whole = Take("whole.jpg");
        EXPECT_EQ(ConvertOneFile(source, StringFromUtf8(out.path), {boxWidth, boxHeight, quality},
                                 shift, 1, 0, {}),
                  StatusDone);
        Bytes streamed = Take(Utf8Of(FileNamePart(source)));
        EXPECT_GT(whole.size(), 100u);
        EXPECT_TRUE(whole == streamed) << "sizes " << whole.size() << " / " << streamed.size();
        EXPECT_EQ(out.FileCount(), 0);
    }
};

TEST_F(StreamJpeg, SameBytesAsWholeImagePath) {
    struct Case {
        int w, h, subsampling, quality, shift, orientation;
        bool restarts;
    } cases[] = {
        {640, 480, TJSAMP_420, 95, 0, 0, false},   {333, 217, TJSAMP_420, 80, 12, 0, false},
        {301, 199, TJSAMP_422, 90, -30, 0, false}, {250, 160, TJSAMP_444, 75, 5, 0, false},
        {257, 131, TJSAMP_GRAY, 95, 0, 0, false},  {200, 120, TJSAMP_440, 100, 0, 6, false},
        {320, 240, TJSAMP_420, 92, 3, 6, true},    {1, 1, TJSAMP_444, 95, 0, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " sampling " +
                     std::to_string(c.subsampling) + " quality " + std::to_string(c.quality));
        // Restart markers every MCU row, through TurboJPEG's own variable, which
        // must be gone again before the conversions.
        if (c.restarts) setenv("TJ_RESTART", "1", 1);
        Bytes jpeg = EncodeTestJpeg(PhotoPixels(c.w, c.h).data(), c.w, c.h, c.subsampling, 88);
        unsetenv("TJ_RESTART");
        ASSERT_FALSE(jpeg.empty());
        if (c.orientation) jpeg = WithSegment(jpeg, ExifSegment(false, {{0x0112, c.orientation}}));
        ExpectIdentical(Put("case.jpg", jpeg), c.quality, c.shift);
    }
}

// Into a box: decoded at an eighth-scale and resized, in either order of the
// passes, or decoded at an eighth that fits exactly and not resized at all.
TEST_F(StreamJpeg, ScaledIntoTheBoxSameBytesAsWholeImagePath) {
    struct Case {
        int w, h, subsampling, orientation;
        int32_t boxWidth, boxHeight;
    } cases[] = {
        {1200, 800, TJSAMP_420, 0, 409, 409},  // 3/8 decode, then the vertical pass first
        {1000, 750, TJSAMP_422, 0, 512, 512},  // 5/8 decode, the horizontal pass first
        {640, 480, TJSAMP_444, 0, 320, 2000},  // exactly 4/8: no resize
        {800, 600, TJSAMP_420, 6, 300, 500},   // upright box turned for the orientation
        {333, 217, TJSAMP_GRAY, 0, 100, 0},    // width limited only, odd sizes
        {2000, 90, TJSAMP_420, 0, 64, 64},     // long and thin: a few rows of result
        {96, 1500, TJSAMP_420, 0, 2000, 1000}, // tall: many source rows per band
        {5, 5, TJSAMP_420, 0, 4, 4},           // 7/8 and 8/8 both decode 5 x 5
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " into " +
                     std::to_string(c.boxWidth) + "x" + std::to_string(c.boxHeight));
        Bytes jpeg = EncodeTestJpeg(PhotoPixels(c.w, c.h).data(), c.w, c.h, c.subsampling, 88);
        ASSERT_FALSE(jpeg.empty());
        if (c.orientation) jpeg = WithSegment(jpeg, ExifSegment(false, {{0x0112, c.orientation}}));
        ExpectIdentical(Put("box.jpg", jpeg), 92, 4, c.boxWidth, c.boxHeight);
    }
}

// Every 8-bit JPEG of the shared test pictures; a 12-bit one is refused, and
// says why.
TEST_F(StreamJpeg, SharedTestPicturesSameBytes) {
    std::string folder = std::string(TINTWELL_TESTDATA) + "/jpeg";
    if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no " << folder;
    int compared = 0;
    for (auto &entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".jpg") continue;
        SCOPED_TRACE(entry.path().string());
        String source = StringFromUtf8(entry.path().string());
        int w = 0, h = 0, sub = 0, space = 0;
        Bytes file = ReadPath(entry.path().string());
        bool turbo = tjDecompressHeader3(JpegDecompressor(), file.data(), file.size(), &w, &h, &sub,
                                         &space) == 0;
        if (!turbo) {
            ReplaceJpegDecompressor();
            ConversionOutcome outcome;
            EXPECT_EQ(ConvertOneFile(source, StringFromUtf8(out.path), {}, 0, 1, 0, {}, &outcome),
                      StatusError);
            EXPECT_EQ(outcome.Reason, "12-bit JPEG is not supported");
            EXPECT_EQ(out.FileCount(), 0);
            continue;
        }
        ExpectIdentical(source, 95, 0);
        ExpectIdentical(source, 80, -7);
        ExpectIdentical(source, 90, 3, 61, 61); // every eighth-scale picture is resized too
        compared++;
    }
    EXPECT_GE(compared, 10);
    RecordProperty("compared", compared);
}

TEST_F(StreamJpeg, ThumbnailEqualsCropOfWholeImage) {
    String source =
        Put("thumb.jpg", EncodeTestJpeg(PhotoPixels(700, 300).data(), 700, 300, TJSAMP_420, 90));
    int64_t image = TurboJpegLoad(source, 0, 0);
    ASSERT_EQ(ToneImage(image, 9), 1);
    ThumbnailRect r = ThumbnailCrop(700, 300);
    int64_t crop = CropImage(image, -1, r.x, r.y, r.width, r.height);
    ASSERT_NE(crop, 0);

    StatusRecorder recorder;
    ConversionOutcome outcome;
    int status =
        ConvertOneFile(source, StringFromUtf8(out.path), {}, 9, 4, 0, recorder.Sink(), &outcome);
    EXPECT_EQ(status, StatusDone);
    EXPECT_EQ(recorder.statuses,
              (std::vector<int>{StatusLoading, StatusThumbnail, StatusSaving, StatusDone}));
    ASSERT_NE(recorder.thumbnail, 0);
    ASSERT_EQ(ImagePixelWidth(recorder.thumbnail), 256);
    ASSERT_EQ(ImagePixelHeight(recorder.thumbnail), 96);
    EXPECT_EQ(ImageBitDepth(recorder.thumbnail, -2), ImageBitDepth(crop, -2));
    const unsigned char *a = LookupImage(recorder.thumbnail)->pixels;
    const unsigned char *b = LookupImage(crop)->pixels;
    EXPECT_EQ(Bytes(a, a + 256 * 96 * 4), Bytes(b, b + 256 * 96 * 4));
    EXPECT_EQ(outcome.Pixels, 700 * 300);
    ReleaseImage(crop);
    ReleaseImage(image);
}

// Requests the stop from a second thread once the first band is handed on, and
// holds the decoder until it is set.
void StopFromOtherThread(void *context, int64_t rows) {
    auto *count = static_cast<int64_t *>(context);
    if ((*count)++ != 0) return;
    EXPECT_EQ(rows, StreamBandRows);
    std::thread([] { RequestStop(); }).join();
}

TEST_F(StreamJpeg, StopAfterFirstBandCancelsAndLeavesNoFile) {
    String source =
        Put("stop.jpg", EncodeTestJpeg(PhotoPixels(400, 400).data(), 400, 400, TJSAMP_420, 90));
    // At full size, and resized into a box (the decoding thread is stopped too).
    for (int32_t box : {0, 140}) {
        SCOPED_TRACE(box);
        ClearStopRequest();
        int64_t bands = 0;
        BandObserver observer{StopFromOtherThread, &bands};
        ConversionOutcome outcome;
        EXPECT_EQ(ConvertOneFile(source, StringFromUtf8(out.path), {box, box, 95}, 0, 1, 0, {},
                                 &outcome, &observer),
                  StatusCancelled);
        EXPECT_EQ(bands, 1); // no band after the stop
        EXPECT_EQ(outcome.FailedStage, StageNone);
        EXPECT_EQ(outcome.Pixels, box ? 140 * 140 : 400 * 400);
        EXPECT_EQ(out.FileCount(), 0); // no output and no draft
    }
}

TEST_F(StreamJpeg, StopFromSinkAfterDecodingCancels) {
    String source =
        Put("late.jpg", EncodeTestJpeg(PhotoPixels(300, 200).data(), 300, 200, TJSAMP_444, 90));
    StatusRecorder recorder;
    recorder.stopAtThumbnail = true;
    EXPECT_EQ(ConvertOneFile(source, StringFromUtf8(out.path), {}, 0, 1, 0, recorder.Sink()),
              StatusCancelled);
    EXPECT_EQ(recorder.statuses,
              (std::vector<int>{StatusLoading, StatusThumbnail, StatusCancelled}));
    EXPECT_EQ(out.FileCount(), 0);
}

// A file cut short decodes with a warning (the rest filled in), like the loader
// takes it: the same file either way.
// Where the n-th start-of-scan marker (FF DA) is; entropy data never holds one.
size_t ScanStart(const Bytes &jpeg, int n) {
    for (size_t i = 2; i + 1 < jpeg.size(); i++)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA && --n == 0) return i;
    return 0;
}

// A JPEG the decoder gives up on goes on to the platform reader on the same open
// file; one whose data ends early is refused at once, with the reason. Either
// way, resized or not, nothing is reported but the final status and nothing is
// left behind.
TEST_F(StreamJpeg, RefusesWithTheReason) {
    Bytes jpeg = EncodeTestJpeg(PhotoPixels(300, 200).data(), 300, 200, TJSAMP_420, 90);
    Bytes broken = jpeg;
    broken.resize(400); // ends inside the headers: TurboJPEG fails outright
    // A progressive file whose third scan header is damaged: the decoder fails
    // while it takes in the scans, before the first row.
    Bytes progressive =
        EncodeTestJpeg(PhotoPixels(300, 200).data(), 300, 200, TJSAMP_420, 90, TJFLAG_PROGRESSIVE);
    size_t third = ScanStart(progressive, 3);
    ASSERT_GT(third, 0u);
    progressive[third + 4 + 1 + 2 * progressive[third + 4]] = 70; // first coefficient past 63
    // Data that ends early, and a second frame header in the middle of the scan:
    // the decoder fills the rest of the rows with grey and only warns, but the
    // picture is not whole. The loader says why; the stream, resized or not, declines.
    Bytes cut = EncodeTestJpeg(PhotoPixels(900, 700).data(), 900, 700, TJSAMP_420, 90);
    cut.resize(cut.size() / 2);
    Bytes frame = EncodeTestJpeg(PhotoPixels(200, 200).data(), 200, 200, TJSAMP_420, 90);
    const Bytes header = {0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x10,
                          0x00, 0x10, 0x01, 0x01, 0x11, 0x00};
    size_t scan = ScanStart(frame, 1);
    ASSERT_GT(scan, 0u);
    frame.insert(frame.begin() + long(scan + (frame.size() - scan) / 2), header.begin(),
                 header.end());
    struct {
        const char *name;
        const Bytes &bytes;
        int32_t box;
        const char *reason;
    } files[] = {{"broken.jpg", broken, 0,
                  "not a picture this program reads (qt.gui.imageio.jpeg: Bogus Huffman table "
                  "definition)"},
                 {"scans.jpg", progressive, 0,
                  "not a picture this program reads (qt.gui.imageio.jpeg: Invalid progressive "
                  "parameters Ss=70 Se=63 Ah=0 Al=1)"},
                 {"scans.jpg", progressive, 100,
                  "not a picture this program reads (qt.gui.imageio.jpeg: Invalid progressive "
                  "parameters Ss=70 Se=63 Ah=0 Al=1)"},
                 {"cut.jpg", cut, 0, "cut short after row 336 of 700"},
                 {"cut.jpg", cut, 300, "cut short after row 336 of 700"},
                 {"frame.jpg", frame, 0, "cut short after row 96 of 200"},
                 {"frame.jpg", frame, 150, "cut short after row 96 of 200"}};
    for (const auto &f : files) {
        SCOPED_TRACE(std::string(f.name) + " box " + std::to_string(f.box));
        StatusRecorder recorder;
        ConversionOutcome outcome;
        EXPECT_EQ(ConvertOneFile(Put(f.name, f.bytes), StringFromUtf8(out.path), {f.box, f.box, 95},
                                 0, 1, 0, recorder.Sink(), &outcome),
                  StatusError);
        EXPECT_EQ(recorder.statuses, (std::vector<int>{StatusLoading, StatusError}));
        EXPECT_EQ(outcome.FailedStage, StageLoad);
        EXPECT_EQ(outcome.Reason, f.reason);
        EXPECT_EQ(out.FileCount(), 0);
    }
    // TurboJPEG's encoder follows this variable, which the stream cannot: the
    // picture is saved whole by TurboJPEG, and the file is the plain way's.
    setenv("TJ_OPTIMIZE", "1", 1);
    ExpectIdentical(Put("fine.jpg", jpeg), 95, 0);
    unsetenv("TJ_OPTIMIZE");
}

// A write that fails part way (a file size limit): the outcome of the
// whole-image path, and no file.
TEST_F(StreamJpeg, WriteFailureSameOutcomeAsWholeImagePath) {
    String source =
        Put("full.jpg", EncodeTestJpeg(PhotoPixels(500, 400).data(), 500, 400, TJSAMP_420, 90));
    int64_t image = TurboJpegLoad(source, 0, 0);
    ASSERT_EQ(ToneImage(image, 0), 1);
    FileSizeLimit limit(20000);
    ASSERT_TRUE(limit.set);
    errno = 0;
    int whole = SaveJpeg(image, StringFromUtf8(out.path + "full.jpg"), 95, 0);
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
    EXPECT_EQ(Utf8Of(outcome.Output), out.path + "full.jpg");
    EXPECT_EQ(out.FileCount(), 0);
}

} // namespace
