// tintwell-batch driven as a user drives it: the built executable on real files
// in temporary folders, its output lines, exit codes and the files it writes.
#include "batch/batch_tone.h"
#include "convert/convert_file.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "tests/batch/batch_harness.h"
#include "tests/support/byte_compare.h"
#include "tests/support/malformed_files.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_jpeg.h"
#include "tone/colour_table.h"
#include "tone/luma_tables.h"
#include "tone/presets.h"
#include "tone/stop_text.h"

#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The mixed folder of the tests: a JPEG turned by EXIF, a PNG with alpha, a TIFF,
// a text file, a hidden file and a sub-folder with one more picture.
void FillMixedFolder(const std::string &in) {
    WriteFile(in + "a.jpg", Jpeg(120, 80, 6));
    ASSERT_TRUE(Picture(64, 48, true).save(QString::fromStdString(in + "b.png")));
    ASSERT_TRUE(Picture(40, 30, false).save(QString::fromStdString(in + "c.tif"), "TIFF"));
    std::ofstream(in + "notes.txt") << "not a picture";
    std::ofstream(in + ".hidden") << "x";
    fs::create_directory(in + "sub");
    ASSERT_TRUE(Picture(30, 20, false).save(QString::fromStdString(in + "sub/d.png")));
}

void StartConversionLibraries() {
    StartBaseRuntime();
    StartImageRuntime();
    RegisterPngCodec();
    BuildLumaTables();
}

} // namespace

TEST(Batch, MixedFolderWithAndWithoutRecursion) {
    TempFolder in("tintwell-batch-in"), out("tintwell-batch-out"), data("tintwell-batch-data");
    FillMixedFolder(in.path);
    Result flat = RunBatchCommand("-o " + out.path + "flat " + in.path, data.path);
    EXPECT_EQ(flat.exit, 1) << flat.output; // notes.txt failed
    EXPECT_EQ(FileLines(flat.output),
              (std::vector<std::string>{
                  "[Done]  " + in.path + "a.jpg", "[Done]  " + in.path + "b.png",
                  "[Done]  " + in.path + "c.tif",
                  "[Error]  " + in.path + "notes.txt  not a picture this program reads"}));
    EXPECT_EQ(Lines(flat.output).back().substr(0, 38), "3 done, 1 failed, 0 cancelled in 00h 0");
    EXPECT_TRUE(fs::exists(out.path + "flat/a.jpg"));
    EXPECT_TRUE(fs::exists(out.path + "flat/b.png"));
    EXPECT_TRUE(fs::exists(out.path + "flat/c_tif.png"));
    EXPECT_EQ(FileCount(out.path + "flat"), 3);
    EXPECT_EQ(fs::status(out.path + "flat").permissions() & fs::perms::all, fs::perms::owner_all);

    // The EXIF turn is kept in the output's EXIF block: the pixels stay as stored.
    int w = 0, h = 0;
    EXPECT_FALSE(DecodeTestJpeg(ReadFileBytes(out.path + "flat/a.jpg"), &w, &h).empty());
    EXPECT_EQ(w, 120);
    EXPECT_EQ(h, 80);

    Result deep = RunBatchCommand("-r -o " + out.path + "deep " + in.path, data.path);
    EXPECT_EQ(deep.exit, 1);
    EXPECT_NE(deep.output.find("[Done]  " + in.path + "sub/d.png\n"), std::string::npos)
        << deep.output;
    EXPECT_TRUE(fs::exists(out.path + "deep/sub/d.png"));
    EXPECT_EQ(FileCount(out.path + "deep"), 4);

    // An output folder inside the input folder: what this run writes there is
    // not converted again, and a link that leads nowhere is an error line rather
    // than nothing.
    fs::create_symlink(in.path + "vanished.png", in.path + "dangling.png");
    Result inside = RunBatchCommand("-r -o " + in.path + "toned " + in.path, data.path);
    EXPECT_EQ(inside.exit, 1);
    EXPECT_NE(inside.output.find("[Error]  " + in.path +
                                 "dangling.png  cannot open: No such file or directory"),
              std::string::npos)
        << inside.output;
    EXPECT_EQ(inside.output.find("toned/"), std::string::npos) << inside.output;
    // A second run finds the first run's outputs there when it begins: inputs.
    Result twice = RunBatchCommand("-r -o " + in.path + "toned " + in.path, data.path);
    EXPECT_NE(twice.output.find("[Done]  " + in.path + "toned/sub/d.png"), std::string::npos)
        << twice.output;
    EXPECT_EQ(FileCount(in.path + "toned"), 12); // four pictures, twice, and the first four
    fs::remove(in.path + "dangling.png");

    // A missing file and an unreadable path are errors with their reasons.
    Result missing = RunBatchCommand("-o " + out.path + "flat " + in.path + "gone.jpg", data.path);
    EXPECT_EQ(missing.exit, 1);
    EXPECT_NE(missing.output.find("[Error]  gone.jpg  cannot open: No such file or directory"),
              std::string::npos)
        << missing.output;
}

// Fifty runs of two jobs over a JPEG, a PNG, a TIFF, a WebP, a GIF and a text
// file: each ends with status 1 (the text file failed, see the manual page) and
// the same five files. Qt's image plug-ins once corrupted the heap at exit
// ("corrupted double-linked list", status 134) in a run or two of fifty.
TEST(Batch, EveryRunOfTwoJobsEndsWithTheSameStatusAndFiles) {
    TempFolder in("tintwell-batch-in"), out("tintwell-batch-out"), data("tintwell-batch-data");
    WriteFile(in.path + "a.jpg", Jpeg(48, 32, 0));
    ASSERT_TRUE(Picture(48, 32, true).save(QString::fromStdString(in.path + "b.png")));
    ASSERT_TRUE(Picture(48, 32, false).save(QString::fromStdString(in.path + "c.tif"), "TIFF"));
    ASSERT_TRUE(Picture(48, 32, false).save(QString::fromStdString(in.path + "d.webp"), "WEBP"));
    // Qt writes no GIF: a 1 x 1 one by hand.
    WriteFile(in.path + "e.gif",
              {'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0xff, 0xff, 0xff, 0,   0,
               0,   0x2c, 0,   0,   0,   0,   1, 0, 1, 0, 0,    2, 2, 0x44, 1,    0,    0x3b});
    std::ofstream(in.path + "notes.txt") << "not a picture";

    std::map<std::string, std::vector<unsigned char>> first;
    for (int run = 0; run < 50; run++) {
        std::string folder = out.path + std::to_string(run);
        Result result = RunBatchCommand("-j 2 -o " + folder + " " + in.path, data.path);
        ASSERT_EQ(result.exit, 1) << "run " << run << ":\n" << result.output;
        std::map<std::string, std::vector<unsigned char>> files;
        for (auto &entry : fs::directory_iterator(folder))
            files[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
        if (run == 0) first = files;
        ASSERT_TRUE(files == first) << "run " << run << " wrote other files:\n" << result.output;
    }
    std::vector<std::string> names;
    for (auto &[name, bytes] : first) names.push_back(name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"a.jpg", "b.png", "c_tif.png", "d_webp.png", "e_gif.png"}));
}

TEST(Batch, SameBytesAsTheWindowStepForAnyJobCount) {
    TempFolder in("tintwell-batch-in"), out("tintwell-batch-out"), data("tintwell-batch-data");
    FillMixedFolder(in.path);
    WriteFile(in.path + "e.jpg", Jpeg(300, 200, 0));
    ASSERT_EQ(
        RunBatchCommand("-j 1 -p \"Sepia old\" -s 20 -m 100x100 -o " + out.path + "one " + in.path,
                        data.path)
            .exit,
        1);
    ASSERT_EQ(RunBatchCommand(
                  "-j2 -p 17 --shift=20 --max 100x100 -o " + out.path + "two " + in.path, data.path)
                  .exit,
              1);

    // The window's step with the same settings, in this process.
    StartConversionLibraries();
    ASSERT_TRUE(ChoosePreset(17));
    ConversionSettings settings{100, 100, 95};
    fs::create_directory(out.path + "window");
    for (const char *name : {"a.jpg", "b.png", "c.tif", "e.jpg"})
        ConvertOneFile(StringFromUtf8(in.path + name), StringFromUtf8(out.path + "window/"),
                       settings, 20, 1, 0, StatusSink{});
    for (const char *name : {"a.jpg", "b.png", "c_tif.png", "e.jpg"}) {
        std::vector<unsigned char> window = ReadFileBytes(out.path + "window/" + name);
        ASSERT_FALSE(window.empty()) << name;
        EXPECT_TRUE(SameBytes(ReadFileBytes(out.path + "one/" + name), window))
            << name << " with --jobs 1";
        EXPECT_TRUE(SameBytes(ReadFileBytes(out.path + "two/" + name), window))
            << name << " with --jobs 2";
    }

    // A name already taken in the output folder: the stamped name, the old file kept.
    Result again = RunBatchCommand(
        "-p 17 -s 20 -m 100x100 -o " + out.path + "one " + in.path + "e.jpg", data.path);
    EXPECT_EQ(again.exit, 0) << again.output;
    int stamped = 0;
    for (auto &entry : fs::directory_iterator(out.path + "one")) {
        std::string name = entry.path().filename().string();
        if (name.size() == 20 && name.rfind("e_", 0) == 0 && name.substr(16) == ".jpg") stamped++;
    }
    EXPECT_EQ(stamped, 1);
    EXPECT_TRUE(
        SameBytes(ReadFileBytes(out.path + "one/e.jpg"), ReadFileBytes(out.path + "window/e.jpg")));
}

// --format: every output as JPEG or every output as PNG, named by its format. A
// JPEG written as PNG stands upright; one written as JPEG keeps its orientation
// (stored 60 x 40, turned by EXIF 6); a PNG written as JPEG loses its alpha. A
// dry run names the same files.
TEST(Batch, FormatWritesEveryOutputAsAsked) {
    TempFolder in("tintwell-batch-in"), out("tintwell-batch-out"), data("tintwell-batch-data");
    WriteFile(in.path + "turned.jpg", Jpeg(60, 40, 6));
    ASSERT_TRUE(Picture(50, 30, true).save(QString::fromStdString(in.path + "clear.png")));
    struct {
        std::string format, turned, clear; // the option's value, the two outputs
        const char *turnedFormat, *clearFormat;
        QSize turnedSize;
    } cases[] = {
        {"auto", "turned.jpg", "clear.png", "jpeg", "png", {60, 40}},
        {"jpeg", "turned.jpg", "clear_png.jpg", "jpeg", "jpeg", {60, 40}},
        {"png", "turned_jpg.png", "clear.png", "png", "png", {40, 60}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.format);
        std::string folder = out.path + c.format + "/";
        Result dry =
            RunBatchCommand("-n --format " + c.format + " -o " + folder + " " + in.path, data.path);
        EXPECT_NE(dry.output.find("-> " + folder + c.turned + "\n"), std::string::npos)
            << dry.output;
        EXPECT_NE(dry.output.find("-> " + folder + c.clear + "\n"), std::string::npos)
            << dry.output;
        Result run =
            RunBatchCommand("--format=" + c.format + " -o " + folder + " " + in.path, data.path);
        EXPECT_EQ(run.exit, 0) << run.output;
        EXPECT_EQ(FileCount(folder), 2);
        QImageReader turned(QString::fromStdString(folder + c.turned));
        EXPECT_EQ(turned.format().toStdString(), c.turnedFormat);
        EXPECT_EQ(turned.size(), c.turnedSize);
        EXPECT_EQ(turned.transformation() == QImageIOHandler::TransformationRotate90,
                  c.format != "png");
        QImageReader clear(QString::fromStdString(folder + c.clear));
        EXPECT_EQ(clear.format().toStdString(), c.clearFormat);
        EXPECT_EQ(clear.read().hasAlphaChannel(), c.format != "jpeg");
    }
    Result wrong = RunBatchCommand("--format gif -o " + out.path + "x " + in.path, data.path);
    EXPECT_EQ(wrong.exit, 2);
    EXPECT_NE(wrong.output.find("--format must be auto, jpeg or png, not \"gif\""),
              std::string::npos)
        << wrong.output;
}

TEST(Batch, UsageErrorsNameTheProblem) {
    TempFolder data("tintwell-batch-data");
    struct Case {
        std::string arguments, message;
    } cases[] = {
        {"--frobnicate -o /tmp x.jpg", "unknown option --frobnicate"},
        {"-x -o /tmp x.jpg", "unknown option -x"},
        {"x.jpg", "--out is required"},
        {"-o /tmp", "nothing to convert"},
        {"-o /tmp -s 117 x.jpg", "--shift must be a whole number from -116 to 116"},
        {"-o /tmp -s 1.5 x.jpg", "--shift must be"},
        {"-o /tmp -m 100 x.jpg", "--max must be WIDTHxHEIGHT"},
        {"-o /tmp -m 40000x10 x.jpg", "--max must be"},
        {"-o /tmp -j 0 x.jpg", "--jobs must be a whole number from 1 to 64"},
        {"-o /tmp -q ultra x.jpg", "--quality must be medium or high"},
        {"-o /tmp --stops 0x1,0x2 x.jpg", "--stops must hold nine stops"},
        {"-o /tmp -p Nosuch x.jpg", "no preset \"Nosuch\""},
        {"-o /tmp -p 1 x.jpg", "no preset \"1\""}, // a separator row
        {"-o", "--out needs a value"},
        {"--dry-run=yes -o /tmp x.jpg", "--dry-run takes no value"},
    };
    for (const Case &c : cases) {
        Result r = RunBatchCommand(c.arguments, data.path);
        EXPECT_EQ(r.exit, 2) << c.arguments;
        EXPECT_NE(r.output.find("tintwell-batch: " + c.message), std::string::npos)
            << c.arguments << " gave: " << r.output;
    }
    Result help = RunBatchCommand("--help", data.path);
    EXPECT_EQ(help.exit, 0);
    EXPECT_EQ(help.output.rfind("usage: tintwell-batch [options] FILE|FOLDER...", 0), 0u);
}

TEST(Batch, InterruptDuringALargePngLeavesNoFile) {
    TempFolder in("tintwell-batch-in"), out("tintwell-batch-out"), data("tintwell-batch-data");
    ASSERT_TRUE(Picture(4000, 3000, true).save(QString::fromStdString(in.path + "big.png")));
    ASSERT_TRUE(Picture(40, 30, false).save(QString::fromStdString(in.path + "later.png")));
    std::string log = out.path + "log.txt", target = out.path + "out/";
    pid_t child = Spawn(
        {TINTWELL_BATCH, "-j", "1", "-o", target, in.path + "big.png", in.path + "later.png"}, log);
    ASSERT_NE(child, 0);

    // Interrupt once the PNG is being written (its draft exists).
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool writing = false;
    while (!writing && std::chrono::steady_clock::now() < end) {
        writing = DraftCount(target) > 0;
        if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(writing);
    kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    std::ifstream logged(log);
    std::string text((std::istreambuf_iterator<char>(logged)), {});
    EXPECT_NE(text.find("[Cancelled]  big.png\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("later.png"), std::string::npos) << "nothing new starts";
    EXPECT_NE(text.find("0 done, 0 failed, 1 cancelled, 1 not started in "), std::string::npos)
        << text;
    EXPECT_EQ(FileCount(target), 0);
}

TEST(Batch, ListsExportsDryRunsAndReadsUserPresets) {
    TempFolder in("tintwell-batch-in"), out("tintwell-batch-out"), data("tintwell-batch-data");
    StartConversionLibraries();

    // A settings file as the window writes it, with stops in user preset 3.
    GradientStop stops[StopCount] = {0xFF102030, 0, 0, 0, 0xFF0080FF, 0, 0, 0, 0xFFF0F0F0};
    std::vector<unsigned char> file(496, 0);
    std::memcpy(file.data(), "GT10", 4);
    file[4] = 0x00, file[5] = 0x01; // 256
    file[8] = 0x00, file[9] = 0x01;
    file[12] = 1;
    for (int n = 0; n < 8; n++) {
        std::string name = "User preset " + std::to_string(n + 1);
        name.resize(24, ' ');
        std::memcpy(file.data() + 16 + n * 60, name.data(), 24);
    }
    std::memcpy(file.data() + 16 + 2 * 60 + 24, stops, sizeof stops);
    fs::create_directories(data.path + "Quillcraft/Tintwell");
    WriteFile(data.path + "Quillcraft/Tintwell/Tintwell.dat", file);

    Result list = RunBatchCommand("--list-presets", data.path);
    EXPECT_EQ(list.exit, 0);
    std::vector<std::string> rows = Lines(list.output);
    ASSERT_EQ(rows.size(), 31u) << list.output;
    EXPECT_EQ(rows[0].substr(0, 8), " 0  Gray");
    std::memcpy(CurrentStops, stops, sizeof stops);
    std::string copied = Utf8Of(CopyStopsAsText());
    std::string name = "User preset 3";
    name.resize(24, ' ');
    EXPECT_NE(list.output.find("27  " + name + " " + copied + "\n"), std::string::npos)
        << list.output;

    // "User preset 3" converts as the same stops given with --stops, in the
    // settings file's box (256 x 256).
    WriteFile(in.path + "p.jpg", Jpeg(400, 300, 0));
    EXPECT_EQ(RunBatchCommand("-p \"user preset 3\" -o " + out.path + "user " + in.path + "p.jpg",
                              data.path)
                  .exit,
              0);
    EXPECT_EQ(
        RunBatchCommand("--stops '" + copied + "' -o " + out.path + "stops " + in.path + "p.jpg",
                        data.path)
            .exit,
        0);
    std::vector<unsigned char> user = ReadFileBytes(out.path + "user/p.jpg");
    EXPECT_TRUE(SameBytes(user, ReadFileBytes(out.path + "stops/p.jpg")));
    int w = 0, h = 0;
    DecodeTestJpeg(user, &w, &h);
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 192);

    // The exported table is the colour table of the tone, shift applied.
    EXPECT_EQ(
        RunBatchCommand("-p \"Heat camera\" -s -30 --export-lut " + out.path + "lut.png", data.path)
            .exit,
        0);
    QImage lut(QString::fromStdString(out.path + "lut.png"));
    ASSERT_EQ(lut.width(), 2048);
    ASSERT_EQ(lut.height(), 1);
    ASSERT_TRUE(ChoosePreset(FindPresetRow("heat camera")));
    int differing = 0;
    for (int l = 0; l < 2048; l++) {
        uint32_t c = ToneColourTable[l - 8 * 30];
        differing += lut.pixelColor(l, 0) != QColor(c & 255, (c >> 8) & 255, (c >> 16) & 255);
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(RunBatchCommand("--export-lut " + out.path + "lut.png", data.path).exit, 1)
        << "never replaced";

    // Paths from standard input; a dry run names the outputs and writes nothing.
    Result piped = RunBatchCommand("--files-from - -o " + out.path + "piped", data.path,
                                   in.path + "p.jpg\\n\\n" + in.path + "p.jpg\\n");
    EXPECT_EQ(piped.exit, 0) << piped.output;
    EXPECT_EQ(FileLines(piped.output),
              (std::vector<std::string>{"[Done]  p.jpg", "[Done]  p.jpg"}));
    EXPECT_EQ(FileCount(out.path + "piped"), 2); // the second under the stamped name
    Result dry = RunBatchCommand("-n -o " + out.path + "user " + in.path + "p.jpg", data.path);
    EXPECT_EQ(dry.exit, 0);
    EXPECT_EQ(dry.output.substr(0, dry.output.find(" -> ")), in.path + "p.jpg");
    EXPECT_NE(dry.output.find(" -> " + out.path + "user/p_"), std::string::npos) << dry.output;
    EXPECT_EQ(FileCount(out.path + "user"), 1);
}

TEST(Batch, MalformedInputsAreErrorsAndTheGoodOnesBetweenThemConvert) {
    TempFolder in("tintwell-batch-in"), out("tintwell-batch-out"), data("tintwell-batch-data");
    ASSERT_TRUE(Picture(50, 40, true).save(QString::fromStdString(out.path + "good.png")));
    MalformedSet set = FillMalformedFolder(in.path, Jpeg(160, 120, 0),
                                           ReadFileBytes(out.path + "good.png"), TINTWELL_TESTDATA);
    fs::remove(out.path + "good.png");
    // What only a folder walk meets: a named pipe, a link loop, a line feed in a
    // name, and a folder named like a picture (a folder, so not walked into).
    ASSERT_EQ(mkfifo((in.path + "pipe.png").c_str(), 0600), 0);
    set.bad.push_back("pipe.png");
    fs::create_symlink(in.path + "loop.jpg", in.path + "loop.jpg");
    set.bad.push_back("loop.jpg");
    WriteFile(in.path + "new\nline.jpg", Jpeg(160, 120, 0));
    fs::create_directory(in.path + "folder.jpg");
    WriteFile(in.path + "folder.jpg/inside.jpg", Jpeg(16, 16, 0));

    Result run = RunBatchCommand("-j 2 -o " + out.path + "out " + in.path, data.path);
    EXPECT_EQ(run.exit, 1);
    std::vector<std::string> lines = FileLines(run.output);
    EXPECT_EQ(lines.size(), set.bad.size() + set.damaged.size() + set.good.size() + 1);
    for (const std::string &name : set.bad)
        EXPECT_NE(run.output.find("[Error]  " + in.path + name + "  "), std::string::npos) << name;
    set.good.push_back("new\nline.jpg");
    for (const std::string &name : set.good) {
        std::string line = "[Done]  " + in.path + name + "\n";
        std::replace(line.begin() + 8, line.end() - 1, '\n', '?');
        EXPECT_NE(run.output.find(line), std::string::npos) << name;
        EXPECT_FALSE(QImage(QString::fromStdString(out.path + "out/" + name)).isNull()) << name;
    }
    // A damaged copy either converts whole or leaves nothing.
    int converted = 0;
    for (const std::string &name : set.damaged) {
        bool done = run.output.find("[Done]  " + in.path + name + "\n") != std::string::npos;
        bool failed = run.output.find("[Error]  " + in.path + name + "  ") != std::string::npos;
        EXPECT_NE(done, failed) << name;
        EXPECT_EQ(fs::exists(out.path + "out/" + name), done) << name;
        if (done) {
            converted++;
            EXPECT_FALSE(QImage(QString::fromStdString(out.path + "out/" + name)).isNull()) << name;
        }
    }
    EXPECT_EQ(FileCount(out.path + "out"), int(set.good.size()) + converted)
        << "no draft, nothing else";
    EXPECT_FALSE(fs::exists(out.path + "out/inside.jpg"));
    int w = 0, h = 0;
    EXPECT_FALSE(DecodeTestJpeg(ReadFileBytes(out.path + "out/good.jpg"), &w, &h).empty());
    EXPECT_EQ(w, 160);
}
