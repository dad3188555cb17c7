// End to end: files dropped on the real main window are converted by the real
// worker thread, and the log, the STOP button, the thumbnail and the output files
// show what the user would see.
#include "app/handlers.h"
#include "app/input_collection.h"
#include "app/job_status.h"
#include "app/worker_state.h"
#include "app_harness.h"
#include "convert/stop_flag.h"
#include "resources/pictures.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"
#include "tests/support/malformed_files.h"
#include "tests/support/test_jpeg.h"
#include "tone/colour_table.h"
#include "tone/kernels.h"

#include <QImage>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/stat.h>

namespace {

struct RunRecord {
    std::vector<String> captions; // the STOP button after each StatusRemaining
};

// Dispatches events until the run has ended (its StatusFinished handled).
RunRecord WaitForRun(int timeoutMs = 60000) {
    RunRecord record;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (ConversionActive && std::chrono::steady_clock::now() < end) {
        int code = WaitForEventFor(20);
        if (!code) continue;
        bool remaining = code == EventJobStatus && EventWindowNumber() == StatusRemaining;
        DispatchEvent(code);
        if (remaining) record.captions.push_back(GetGadgetText(GadgetStopButton));
    }
    return record;
}

std::vector<String> LogLines() {
    std::vector<String> lines;
    for (int i = 0; i < CountGadgetItems(GadgetLog); i++)
        lines.push_back(GetGadgetItemText(GadgetLog, i));
    return lines;
}

// Delivers the drop and handles that one event, as the loop would; the worker's
// statuses stay queued for WaitForRun.
void Drop(int64_t gadget, const std::string &paths) {
    PumpEvents(); // what the window raised before
    ASSERT_EQ(DeliverFileDrop(WindowMain, gadget, StringFromUtf8(paths), 5, 5), 1);
    for (int code; (code = PollEvent()) != 0;) {
        DispatchEvent(code);
        if (code == EventGadgetDrop) break;
    }
}

// A camera-like test picture: smooth gradients with some texture.
QImage TestPicture(int w, int h, bool alpha) {
    QImage image(w, h, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            image.setPixelColor(x, y,
                                QColor((x * 7 + y) & 255, (y * 5) & 255, (x ^ y) & 255,
                                       alpha ? (x * 3) & 255 : 255));
    return image;
}

void WriteJpeg(const std::string &path, int w, int h) {
    QImage rgb = TestPicture(w, h, false);
    std::vector<unsigned char> pixels;
    for (int y = 0; y < h; y++)
        pixels.insert(pixels.end(), rgb.constScanLine(y), rgb.constScanLine(y) + w * 3);
    std::vector<unsigned char> jpeg = EncodeTestJpeg(pixels.data(), w, h, TJSAMP_444, 90);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<char *>(jpeg.data()), jpeg.size());
}

// The output JPEG decodes to exactly what the source, decoded, toned through the
// colour table and saved at "High" (95, 4:4:4, accurate DCT), decodes to.
void ExpectJpegIsTonedSource(const std::vector<unsigned char> &source,
                             const std::vector<unsigned char> &output) {
    int w = 0, h = 0;
    std::vector<unsigned char> rgb = DecodeTestJpeg(source, &w, &h);
    ASSERT_FALSE(rgb.empty());
    std::vector<unsigned char> rgba(size_t(w) * h * 4);
    for (size_t i = 0; i < size_t(w) * h; i++) {
        rgba[i * 4] = rgb[i * 3], rgba[i * 4 + 1] = rgb[i * 3 + 1];
        rgba[i * 4 + 2] = rgb[i * 3 + 2], rgba[i * 4 + 3] = 255;
    }
    LuminanceAndTone(rgba.data(), w * 4, h, 0x20, int8_t(ToneShift));
    for (size_t i = 0; i < size_t(w) * h; i++)
        for (int c = 0; c < 3; c++) rgb[i * 3 + c] = rgba[i * 4 + c];
    int ew = 0, eh = 0, ow = 0, oh = 0;
    std::vector<unsigned char> expected = DecodeTestJpeg(
        EncodeTestJpeg(rgb.data(), w, h, TJSAMP_444, 95, TJFLAG_ACCURATEDCT), &ew, &eh);
    std::vector<unsigned char> actual = DecodeTestJpeg(output, &ow, &oh);
    ASSERT_EQ(ow, w);
    ASSERT_EQ(oh, h);
    ASSERT_EQ(actual.size(), expected.size());
    size_t first = 0;
    while (first < actual.size() && actual[first] == expected[first]) first++;
    EXPECT_EQ(first, actual.size()) << "first differing byte of the decoded pixels";
}

void PrepareWindow(const TempFolder &out) {
    EnsureMainWindow();
    ClearStopRequest();
    ClearRequesterAnswers();
    SetGadgetText(GadgetOutputFolder, StringFromUtf8(out.path));
    SetGadgetText(GadgetMaxWidth, u"8192");
    SetGadgetText(GadgetMaxHeight, u"8192");
}

} // namespace

TEST(Conversion, ThreeFilesGiveSevenLinesCountsAndTonedFiles) {
    TempFolder in("tintwell-in"), out("tintwell-out");
    PrepareWindow(out);
    WriteJpeg(in.path + "a.jpg", 300, 50);
    // Opaque: colour under partial transparency is not yet kept exactly by the
    // platform reader.
    QImage png = TestPicture(64, 40, false);
    ASSERT_TRUE(png.save(QString::fromStdString(in.path + "b.png"), "PNG"));
    ASSERT_TRUE(TestPicture(40, 30, false).save(QString::fromStdString(in.path + "c.tif"), "TIFF"));

    Drop(GadgetLog, in.path + "a.jpg\n" + in.path + "b.png\n" + in.path + "c.tif");
    EXPECT_EQ(IsGadgetHidden(GadgetDropBanner), 1);
    EXPECT_EQ(IsGadgetHidden(GadgetStopButton), 0);
    EXPECT_EQ(IsGadgetHidden(GadgetPresetList), 1);
    RunRecord run = WaitForRun();
    ASSERT_EQ(ConversionActive, 0);

    std::vector<String> lines = LogLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], u"Processing ...");
    EXPECT_EQ(lines[1], u"");
    EXPECT_EQ(lines[2], u"[Done]  a.jpg");
    EXPECT_EQ(lines[3], u"[Done]  b.png");
    EXPECT_EQ(lines[4], u"[Done]  c.tif");
    EXPECT_EQ(lines[5], u"");
    EXPECT_EQ(lines[6], u"Total time : 00h 00m 00s");
    ASSERT_EQ(run.captions.size(), 3u);
    EXPECT_EQ(run.captions[0], u"STOP CONVERSION [2]");
    EXPECT_EQ(run.captions[1], u"STOP CONVERSION [1]");
    EXPECT_EQ(run.captions[2], u"STOP CONVERSION [0]");
    EXPECT_EQ(IsGadgetHidden(GadgetStopButton), 1);
    EXPECT_EQ(IsGadgetHidden(GadgetPresetList), 0);

    // The outputs under the saver's names; the PNG is the source toned exactly.
    ExpectJpegIsTonedSource(in.Read("a.jpg"), out.Read("a.jpg"));
    EXPECT_TRUE(std::filesystem::exists(out.path + "c_tif.png"));
    QImage toned(QString::fromStdString(out.path + "b.png"));
    ASSERT_EQ(toned.width(), 64);
    toned = toned.convertToFormat(QImage::Format_RGBA8888);
    QImage source = png.convertToFormat(QImage::Format_RGBA8888);
    std::vector<unsigned char> expected(source.constBits(), source.constBits() + 64 * 40 * 4);
    LuminanceAndTone(expected.data(), 64 * 4, 40, 0x20, int8_t(ToneShift));
    size_t differing = 0;
    for (size_t i = 0; i < expected.size(); i++) differing += expected[i] != toned.constBits()[i];
    EXPECT_EQ(differing, 0u);
}

TEST(Conversion, ErrorsRefusalsFoldersAndTheThumbnail) {
    TempFolder in("tintwell-in"), out("tintwell-out");
    PrepareWindow(out);
    std::ofstream(in.path + "notes.txt") << "not a picture";
    WriteJpeg(in.path + "wide.jpg", 300, 50);
    ASSERT_EQ(mkfifo((in.path + "pipe.png").c_str(), 0600), 0);
    std::filesystem::create_directory(in.path + "sub");

    // A text file, a named pipe and a folder given with a trailing "/" each end
    // as an error line; the picture after them converts.
    Drop(GadgetLog, in.path + "notes.txt\n" + in.path + "pipe.png\n" + in.path + "sub/\n" +
                        in.path + "wide.jpg");
    WaitForRun(20000);
    std::vector<String> lines = LogLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[2], u"[Error]  notes.txt");
    EXPECT_EQ(lines[3], u"[Error]  pipe.png");
    EXPECT_EQ(lines[4], u"[Error]  sub");
    EXPECT_EQ(lines[5], u"[Done]  wide.jpg");
    // 300 x 50: a 256 x 50 crop from x = 22, drawn at (0, 23) on the background.
    EXPECT_EQ(CanvasPixel(GadgetThumbnail, 0, 0), 0xF2F2F2);
    EXPECT_EQ(CanvasPixel(GadgetThumbnail, 0, 22), 0xF2F2F2);
    EXPECT_NE(CanvasPixel(GadgetThumbnail, 0, 23), 0xF2F2F2);
    EXPECT_EQ(CanvasPixel(GadgetThumbnail, 0, 73), 0xF2F2F2);

    // An empty line in the list is skipped, and later entries keep their own lines.
    Drop(GadgetLog, in.path + "notes.txt\n\n" + in.path + "wide.jpg");
    WaitForRun(20000);
    lines = LogLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2], u"[Error]  notes.txt");
    EXPECT_EQ(lines[3], u"[Done]  wide.jpg");

    // A single folder: its regular, visible files only, in byte order of their
    // names (capitals first).
    TempFolder tree("tintwell-tree");
    WriteJpeg(tree.path + "b.jpg", 20, 20);
    TestPicture(10, 10, true).save(QString::fromStdString(tree.path + "a.png"), "PNG");
    WriteJpeg(tree.path + "C.jpg", 20, 20);
    std::ofstream(tree.path + ".hidden") << "x";
    std::filesystem::create_directory(tree.path + "inner");
    Drop(GadgetLog, tree.path.substr(0, tree.path.size() - 1));
    WaitForRun(20000);
    lines = LogLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[2], u"[Done]  C.jpg");
    EXPECT_EQ(lines[3], u"[Done]  a.png");
    EXPECT_EQ(lines[4], u"[Done]  b.jpg");

    // An empty folder: the message, no run; the next drop works.
    TempFolder empty("tintwell-empty");
    Drop(GadgetLog, empty.path);
    EXPECT_EQ(ConversionActive, 0);
    lines = LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], u"The folder you dropped doesn't contain any files.");
    EXPECT_EQ(IsGadgetHidden(GadgetStopButton), 1);

    // No output folder: the message, and the log stays as it was.
    SetGadgetText(GadgetOutputFolder, u"");
    QueueRequesterAnswer(0, u"");
    Drop(GadgetLog, in.path + "wide.jpg");
    EXPECT_EQ(LastRequesterTitle(), u"Output folder");
    EXPECT_EQ(LastRequesterText(), u"Please select an output folder!");
    EXPECT_EQ(LogLines(), lines);
    EXPECT_EQ(ConversionActive, 0);

    // Thread creation fails: the editing look comes back, the log keeps its two lines.
    SetGadgetText(GadgetOutputFolder, StringFromUtf8(out.path));
    SpawnWorkerThread = [](ThreadProcedure, int64_t) -> int64_t { return 0; };
    Drop(GadgetLog, in.path + "wide.jpg");
    SpawnWorkerThread = SpawnThread;
    EXPECT_EQ(ConversionActive, 0);
    EXPECT_EQ(IsConversionRunning(), 0);
    EXPECT_EQ(IsGadgetHidden(GadgetStopButton), 1);
    EXPECT_EQ(LogLines().size(), 2u);
}

TEST(Conversion, StopWhileTheSecondOfFiveLoadsCancelsItAndShowsNoMore) {
    TempFolder in("tintwell-in"), out("tintwell-out");
    PrepareWindow(out);
    // The second file is large enough that it is still loading, toning or being
    // written (PNG writing stops too) when the stop arrives.
    WriteJpeg(in.path + "a.jpg", 40, 30);
    ASSERT_TRUE(TestPicture(3000, 2000, false).save(QString::fromStdString(in.path + "b.png")));
    for (const char *name : {"c.jpg", "d.jpg", "e.jpg"}) WriteJpeg(in.path + name, 40, 30);
    std::string list;
    for (const char *name : {"a.jpg", "b.png", "c.jpg", "d.jpg", "e.jpg"})
        list += (list.empty() ? "" : "\n") + in.path + name;
    Drop(GadgetLog, list);

    // Dispatch as the loop does; press STOP when the second entry starts loading.
    String lastCaption;
    int disabledAfterLastCount = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ConversionActive && std::chrono::steady_clock::now() < end) {
        int code = WaitForEventFor(20);
        if (!code) continue;
        bool status = code == EventJobStatus;
        int kind = status ? int(EventWindowNumber()) : 0;
        int64_t ordinal = status ? EventObject() : 0;
        DispatchEvent(code);
        if (status && kind == StatusLoading && ordinal == 2)
            QTest::mouseClick(WidgetOf(GadgetStopButton), Qt::LeftButton);
        if (status && kind == StatusRemaining) {
            lastCaption = GetGadgetText(GadgetStopButton);
            disabledAfterLastCount = !WidgetOf(GadgetStopButton)->isEnabled();
        }
    }
    ASSERT_EQ(ConversionActive, 0);
    std::vector<String> lines = LogLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2], u"[Done]  a.jpg");
    EXPECT_EQ(lines[3], u"[Cancelled]  b.png");
    EXPECT_EQ(lines[4], u"");
    EXPECT_EQ(lines[5].substr(0, 13), u"Total time : ");
    EXPECT_EQ(lastCaption, u"STOP CONVERSION [3]");
    EXPECT_EQ(disabledAfterLastCount, 1);
    EXPECT_EQ(IsGadgetHidden(GadgetStopButton), 1);
    EXPECT_EQ(IsGadgetHidden(GadgetPresetList), 0);
    EXPECT_EQ(StopRequested(), 0);
    // Only the first file was written: no partial b.png, nothing for c to e.
    EXPECT_EQ(out.FileCount(), 1);
    EXPECT_TRUE(std::filesystem::exists(out.path + "a.jpg"));
}

TEST(Conversion, SampleDropOfAnOrientationSixJpegShowsItUpright) {
    EnsureMainWindow();
    ClearRequesterAnswers();
    TempFolder in("tintwell-in");
    // Stored 60 x 30 with a white band in its top ten rows; upright it is 30 x 60
    // with the band on the right.
    std::vector<unsigned char> jpeg = TurnedBandJpeg(60, 30, 10);
    std::ofstream(in.path + "turned.jpg", std::ios::binary)
        .write(reinterpret_cast<char *>(jpeg.data()), std::streamsize(jpeg.size()));
    SetGadgetState(GadgetPresetList, 0); // "Gray": black to white
    PresetListHandler();
    Drop(GadgetSample, in.path + "turned.jpg");

    // Upright it covers x 113..142 and y 56..115 around (128, 86); a picture left
    // as stored would cover x 98..157 and y 71..100 only.
    auto red = [](int x, int y) { return int(CanvasPixel(GadgetSample, x, y) & 0xFF); };
    EXPECT_GT(red(138, 60), red(118, 60) + 100);
    EXPECT_GT(red(138, 110), red(118, 110) + 100);
    EXPECT_GT(red(138, 86), red(118, 86) + 100);
    // Around it lies the neutral background picture, not the built-in sample
    // photograph: toned black to white, each pixel keeps its grey.
    EmbeddedData data = PictureData(PictureSampleBackground);
    QImage background = QImage::fromData(data.bytes, int(data.size));
    ASSERT_EQ(background.size(), QSize(256, 192));
    for (QPoint p :
         {QPoint(4, 4), QPoint(250, 30), QPoint(8, 180), QPoint(128, 186), QPoint(250, 186)})
        EXPECT_NEAR(red(p.x(), p.y()), qRed(background.pixel(p)), 2) << p.x() << ", " << p.y();
}

TEST(Conversion, MalformedFilesInADroppedFolderAreErrorsAndTheGoodOneConverts) {
    TempFolder in("tintwell-in"), out("tintwell-out");
    PrepareWindow(out);
    WriteJpeg(out.path + "good.jpg", 64, 48);
    ASSERT_TRUE(TestPicture(40, 30, true).save(QString::fromStdString(out.path + "good.png")));
    MalformedSet set = FillMalformedFolder(in.path, ReadFileBytes(out.path + "good.jpg"),
                                           ReadFileBytes(out.path + "good.png"), TINTWELL_TESTDATA);
    std::filesystem::remove(out.path + "good.jpg");
    std::filesystem::remove(out.path + "good.png");
    ASSERT_EQ(mkfifo((in.path + "pipe.jpg").c_str(), 0600), 0);
    set.bad.push_back("pipe.jpg");
    // Links that cannot be converted are errors like any other entry.
    std::filesystem::create_symlink(in.path + "loop.jpg", in.path + "loop.jpg");
    std::filesystem::create_symlink(in.path + "gone.jpg", in.path + "dangling.jpg");
    std::filesystem::create_directory(in.path + ".hidden-folder");
    std::filesystem::create_directory_symlink(in.path + ".hidden-folder", in.path + "folder-link");
    set.bad.insert(set.bad.end(), {"loop.jpg", "dangling.jpg", "folder-link"});
    Drop(GadgetLog, in.path.substr(0, in.path.size() - 1));
    WaitForRun(100000);
    std::vector<String> lines = LogLines();
    std::set<String> logged(lines.begin() + 2, lines.end() - 2);
    EXPECT_EQ(logged.size(), set.bad.size() + set.damaged.size() + set.good.size());
    for (const std::string &name : set.bad)
        EXPECT_TRUE(logged.count(u"[Error]  " + StringFromUtf8(name))) << name;
    for (const std::string &name : set.good) {
        EXPECT_TRUE(logged.count(u"[Done]  " + StringFromUtf8(name))) << name;
        EXPECT_FALSE(QImage(QString::fromStdString(out.path + name)).isNull()) << name;
    }
    int converted = 0;
    for (const std::string &name : set.damaged) {
        bool done = logged.count(u"[Done]  " + StringFromUtf8(name)) == 1;
        EXPECT_NE(done, logged.count(u"[Error]  " + StringFromUtf8(name)) == 1) << name;
        EXPECT_EQ(std::filesystem::exists(out.path + name), done) << name;
        converted += done;
    }
    EXPECT_EQ(out.FileCount(), int(set.good.size()) + converted) << "no draft, nothing else";
    // Dropped on its own, the link loop is an error too.
    Drop(GadgetLog, in.path + "loop.jpg");
    WaitForRun(20000);
    lines = LogLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2], u"[Error]  loop.jpg");
}

TEST(Conversion, NoSecondRunBeforeTheFirstHasFinished) {
    TempFolder in("tintwell-in"), out("tintwell-out");
    PrepareWindow(out);
    WriteJpeg(in.path + "a.jpg", 40, 30);
    Drop(GadgetLog, in.path + "a.jpg");
    // The worker ends and clears WorkerThread; its final status is not yet handled.
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((WorkerThread.load() != 0 || ThreadAlive(LastWorkerThread.load())) &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(WorkerThread.load(), 0);
    // Its statuses are all queued, none handled: the run still counts as running,
    // and a drop handled now is refused.
    EXPECT_EQ(IsConversionRunning(), 1);
    QueueRequesterAnswer(0, u"");
    StartConversion();
    EXPECT_EQ(LastRequesterTitle(), u"Processing");
    WaitForRun(5000);
    EXPECT_EQ(ConversionActive, 0);
    EXPECT_EQ(IsConversionRunning(), 0);
    std::vector<String> lines = LogLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2], u"[Done]  a.jpg");
    EXPECT_EQ(lines[4].substr(0, 13), u"Total time : ");
}

TEST(Conversion, ChooseOutputFolderStartsAtHomeAndCancelKeepsTheField) {
    EnsureMainWindow();
    ClearRequesterAnswers();
    SetGadgetText(GadgetOutputFolder, u"");
    QueueRequesterAnswer(0, u"");
    ChooseOutputFolder();
    EXPECT_EQ(LastRequesterText(), HomeFolder());
    EXPECT_EQ(GetGadgetText(GadgetOutputFolder), u"");
    QueueRequesterAnswer(0, u"/tmp");
    ChooseOutputFolder();
    EXPECT_EQ(GetGadgetText(GadgetOutputFolder), u"/tmp/");
}

// A phone's, a camera's and an editor's pictures dropped together on the log:
// each read by its content, written as PNG upright (the irot of the AVIF and the
// orientation 7 of the JPEG XL turn them), the camera's developed whole.
TEST(Conversion, DroppedHeicAvifJpegXlAndRawConvertUpright) {
    const std::string formats = std::string(TINTWELL_TESTDATA) + "/formats/";
    if (!std::filesystem::is_directory(formats)) GTEST_SKIP() << "no " << formats;
    TempFolder out("tintwell-out");
    PrepareWindow(out);
    Drop(GadgetLog, formats + "heic/RGBA_8__128x128.heif\n" + formats +
                        "avif/abc_color_irot_alpha_irot.avif\n" + formats +
                        "jxl/sunset_logo.jxl\n" + formats + "raw/RAW_KODAK_DC50.KDC");
    WaitForRun();
    std::vector<String> lines = LogLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[2], u"[Done]  RGBA_8__128x128.heif");
    EXPECT_EQ(lines[3], u"[Done]  abc_color_irot_alpha_irot.avif");
    EXPECT_EQ(lines[4], u"[Done]  sunset_logo.jxl");
    EXPECT_EQ(lines[5], u"[Done]  RAW_KODAK_DC50.KDC");
    struct {
        const char *name;
        QSize size;
    } outputs[] = {{"RGBA_8__128x128_heif.png", {128, 128}},
                   {"abc_color_irot_alpha_irot_avif.png", {256, 512}},
                   {"sunset_logo_jxl.png", {924, 1386}},
                   {"RAW_KODAK_DC50_KDC.png", {768, 512}}};
    for (const auto &o : outputs)
        EXPECT_EQ(QImage(QString::fromStdString(out.path + o.name)).size(), o.size) << o.name;
}
