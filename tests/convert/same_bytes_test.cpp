// ConvertOneFile (the band pipeline) against the whole-image way spelled out
// step by step, on every picture of the shared test data and a few large made
// ones: the same outcome and, when written, the same bytes.
#include "convert/convert_file.h"
#include "convert/save_jpeg.h"
#include "convert/save_png.h"
#include "convert/tone_image.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/failure_reason.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "tests/support/byte_compare.h"
#include "tests/support/stream_conversion.h"
#include "tests/support/test_jpeg.h"
#include "tests/support/turbo_reference.h"
#include "tone/colour_table.h"
#include "tone/jpeg_handles.h"
#include "tone/load_jpeg.h"
#include "tone/load_source.h"
#include "tone/luma_tables.h"
#include "tone/picture_source.h"

#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

const fs::path TestData = TINTWELL_TESTDATA;

// Extensions of the pictures in the test data (the rest are licences and notes)
// that the JPEG, PNG and platform readers read; the HEIF, JPEG XL and RAW readers
// hand their pictures to the platform reader's rows, and the formats test has them.
const std::set<std::string> PictureExtensions = {".jpg", ".png", ".ppm", ".tiff"};

std::string LowerExtension(const fs::path &path) {
    std::string e = path.extension().string();
    std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return std::tolower(c); });
    return e;
}

// The picture as an 8-bit RGBA or RGB PNG, written by Qt.
Bytes PhotoPng(int w, int h, bool alpha) {
    Bytes pixels = PhotoPixels(w, h, alpha ? 4 : 3);
    QImage image(pixels.data(), w, h, w * (alpha ? 4 : 3),
                 alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return {};
    return Bytes(png.begin(), png.end());
}

// The picture as a 4:2:0 JPEG carrying EXIF orientation 6.
Bytes TurnedPhotoJpeg(int w, int h) {
    Bytes jpeg = EncodeTestJpeg(PhotoPixels(w, h).data(), w, h, TJSAMP_420, 90);
    return jpeg.empty() ? jpeg : WithSegment(jpeg, ExifSegment(true, {{0x0112, 6}}));
}

struct Setting {
    int32_t boxWidth, boxHeight;
    int quality, shift;
};
// No box and boxes that shrink the PNG suite (32 x 32) and the JPEGs (227 x 149)
// alike, both qualities (fast and accurate DCT), shifts of both signs and none.
const Setting Settings[] = {
    {0, 0, 95, 0},
    {0, 0, 80, -9},
    {20, 20, 95, 7},
    {100, 60, 80, 0},
};

std::string Describe(const Setting &s) {
    return "box " + std::to_string(s.boxWidth) + "x" + std::to_string(s.boxHeight) + " quality " +
           std::to_string(s.quality) + " shift " + std::to_string(s.shift);
}

// Every file of a folder by name, read and then removed.
std::map<std::string, Bytes> TakeAll(const TempFolder &folder) {
    std::map<std::string, Bytes> files;
    for (auto &entry : fs::directory_iterator(folder.path))
        files[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
    for (auto &[name, bytes] : files) fs::remove(folder.path + name);
    return files;
}

// What one path made of a file: the stage it failed at, why, and what it wrote.
struct Result {
    int stage = StageNone;
    std::string reason;
    std::map<std::string, Bytes> files;
};

// The whole-image way: a JPEG decoded whole by TurboJPEG, anything else (and
// a JPEG it refuses) loaded whole by LoadSourceImage and resized at once; toned
// whole; saved by SaveJpeg or SavePng. Colour profiles are not read.
Result WholeImageChain(const String &path, const TempFolder &folder, const Setting &s) {
    Result result;
    int orientation = 0;
    bool fromJpeg = true;
    int64_t image = TurboJpegLoad(path, s.boxWidth, s.boxHeight, &orientation);
    if (!image) {
        LoadedImage loaded = LoadSourceImage(path, s.boxWidth, s.boxHeight, false);
        image = loaded.image, fromJpeg = loaded.fromJpeg, orientation = loaded.orientation;
    }
    std::string reason = TakeFailureReason();
    if (!image) result.stage = StageLoad, result.reason = reason;
    if (image) {
        EXPECT_EQ(ToneImage(image, s.shift), 1);
        String output = StringFromUtf8(folder.path) + FileNamePart(path);
        int saved =
            fromJpeg ? SaveJpeg(image, output, s.quality, orientation) : SavePng(image, output);
        if (!saved) result.stage = StageSave;
    }
    if (image) ReleaseImage(image);
    result.files = TakeAll(folder);
    return result;
}

// With colour profiles off, as the whole-image chain reads every picture.
Result Converted(const String &path, const TempFolder &folder, const Setting &s) {
    ConversionOutcome outcome;
    ConvertOneFile(path, StringFromUtf8(folder.path),
                   {s.boxWidth, s.boxHeight, s.quality, OutputAsRead, false}, s.shift, 1, 0, {},
                   &outcome);
    return {outcome.FailedStage, outcome.Reason, TakeAll(folder)};
}

// How the two results differ, empty when they do not.
std::string Difference(const Result &converted, const Result &whole) {
    if (converted.stage != whole.stage || converted.reason != whole.reason)
        return "outcome: stage " + std::to_string(converted.stage) + " \"" + converted.reason +
               "\" against stage " + std::to_string(whole.stage) + " \"" + whole.reason + "\"";
    if (converted.files.size() != whole.files.size())
        return "files: " + std::to_string(converted.files.size()) + " against " +
               std::to_string(whole.files.size());
    for (auto &[name, bytes] : converted.files) {
        auto other = whole.files.find(name);
        if (other == whole.files.end()) return "no whole-image file named " + name;
        ::testing::AssertionResult same = SameBytes(bytes, other->second);
        if (!same) return name + ": " + same.message();
    }
    return {};
}

class ConvertOneFileBytes : public StreamConversionTest {
  protected:
    static void SetUpTestSuite() {
        StartConverting({StopColour(30, 20, 80), 0, 0, 0, StopColour(190, 100, 60), 0, 0,
                         StopColour(245, 235, 190), 0});
    }
    TempFolder whole{"tintwell-same-whole"};
};

TEST_F(ConvertOneFileBytes, ConvertOneFileWritesWhatTheWholeImageChainWrites) {
    ASSERT_FALSE(whole.path.empty());
    // Large pictures the streams take at their own size, and copies whose names
    // say another format than their content.
    Bytes rgba = PhotoPng(1500, 1100, true), rgb = PhotoPng(1500, 1100, false);
    Bytes turned = TurnedPhotoJpeg(2000, 1500);
    ASSERT_FALSE(rgba.empty() || rgb.empty() || turned.empty());
    struct Made {
        const char *name;
        const Bytes &bytes;
    } made[] = {
        {"large-rgba.png", rgba},   {"large-rgb.png", rgb},     {"large-turned.jpg", turned},
        {"rgb-png-named.jpg", rgb}, {"jpeg-named.png", turned},
    };
    std::vector<String> sources;
    for (const Made &m : made) sources.push_back(Put(m.name, m.bytes));
    bool haveTestData = fs::is_directory(TestData / "jpeg");
    if (haveTestData) {
        std::vector<fs::path> found;
        for (auto &entry : fs::recursive_directory_iterator(TestData))
            if (entry.is_regular_file() && PictureExtensions.count(LowerExtension(entry.path())))
                found.push_back(entry.path());
        std::sort(found.begin(), found.end());
        for (const fs::path &p : found) sources.push_back(StringFromUtf8(p.string()));
        sources.push_back(Put("testorig-named.png", ReadFileBytes(TestData / "jpeg/testorig.jpg")));
        sources.push_back(
            Put("basn6a08-named.jpg", ReadFileBytes(TestData / "pngsuite/basn6a08.png")));
        EXPECT_GE(found.size(), 380u);
    }

    std::vector<std::string> failures;
    int written = 0, failed = 0;
    for (const String &source : sources) {
        std::string name = Utf8Of(source);
        // A picture of more than 8 bits a channel takes its luminance from all
        // of them, which the whole-image chain does not (see the formats test).
        PictureSource probe;
        probe.LuminanceWanted = true;
        if (OpenPictureSource(probe, source, 64, 64) && probe.RowsHoldLuminance) continue;
        for (const Setting &s : Settings) {
            Result converted = Converted(source, out, s);
            Result chain = WholeImageChain(source, whole, s);
            std::string difference = Difference(converted, chain);
            if (!difference.empty())
                failures.push_back(name + " (" + Describe(s) + "): " + difference);
            if (chain.files.empty())
                failed++;
            else
                written++;
        }
    }
    std::string report;
    for (const std::string &f : failures) report += "\n  " + f;
    EXPECT_TRUE(failures.empty()) << failures.size() << " differences:" << report;
    RecordProperty("written", written);
    RecordProperty("failed", failed);
    std::printf("%d conversions written, %d failed, %zu differences\n", written, failed,
                failures.size());
    if (!haveTestData)
        GTEST_SKIP() << "no test data at " << TestData << ": only the made pictures were compared";
}

} // namespace
