// Faults on the way to disk, met by the real programs: tintwell-batch and the
// window (a separate process for the kill) killed in the middle of a save, a
// file size limit, an output folder that goes away during a run, and pictures
// too large for the memory the process may have.
#include "convert/convert_file.h"
#include "convert/save_png.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "tests/batch/batch_harness.h"
#include "tests/support/byte_compare.h"
#include "tests/support/temp_folder.h"
#include "tone/colour_table.h"
#include "tone/luma_tables.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/mount.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The files under their final names (not hidden) in a folder, with their bytes.
std::map<std::string, std::vector<unsigned char>> FinalFiles(const std::string &folder) {
    std::map<std::string, std::vector<unsigned char>> files;
    std::error_code error;
    for (auto &entry : fs::directory_iterator(folder, error)) {
        std::string name = entry.path().filename().string();
        if (name[0] != '.') files[name] = ReadFileBytes(entry.path().string());
    }
    return files;
}

// Runs the program to its end; answers its exit code (-1 when it did not exit).
int RunToEnd(const std::vector<std::string> &words, const std::string &log) {
    pid_t child = Spawn(words, log);
    int status = 0;
    if (!child || waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Starts the program and kills it (SIGKILL) as soon as the `nth` draft is seen
// in `folder`. Answers whether it was killed (else it ended first).
bool KillAtDraft(const std::vector<std::string> &words, const std::string &folder, int nth) {
    pid_t child = Spawn(words, folder + "../log.txt");
    if (!child) return false;
    std::vector<std::string> seen;
    bool killed = false;
    auto end = Clock::now() + std::chrono::seconds(90);
    while (!killed && Clock::now() < end) {
        std::error_code error;
        for (auto &entry : fs::directory_iterator(folder, error)) {
            std::string name = entry.path().filename().string();
            if (name.rfind(".tintwell-", 0) == 0 &&
                std::find(seen.begin(), seen.end(), name) == seen.end())
                seen.push_back(name);
        }
        if (int(seen.size()) >= nth) {
            kill(child, SIGKILL);
            killed = true;
        }
        if (!killed && waitpid(child, nullptr, WNOHANG) == child) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    if (!killed) kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return killed;
}

// Pictures that take long enough to save for a kill to land in the middle.
void FillLargePictures(const std::string &in) {
    WriteFile(in + "one.jpg", Jpeg(2400, 1600, 0));
    ASSERT_TRUE(Picture(1600, 1200, true).save(QString::fromStdString(in + "two.png")));
    WriteFile(in + "three.jpg", Jpeg(2000, 1500, 6));
}

// The program's command line: its head, the output folder, the pictures.
std::vector<std::string> Command(std::vector<std::string> head, const std::string &folder,
                                 const std::string &in) {
    head.push_back(folder);
    for (const char *name : {"one.jpg", "two.png", "three.jpg"}) head.push_back(in + name);
    return head;
}

// A PNG whose head declares width x height pixels, followed by a few bytes of
// pixel data and the end: tiny on disk, huge once decoded.
std::vector<unsigned char> DeclaredPng(uint32_t width, uint32_t height) {
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto chunk = [&](const char *type, std::vector<unsigned char> data) {
        uint32_t n = uint32_t(data.size());
        for (int s = 24; s >= 0; s -= 8) png.push_back((unsigned char)(n >> s));
        std::vector<unsigned char> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        png.insert(png.end(), body.begin(), body.end());
        uint32_t crc = uint32_t(crc32(0, body.data(), uInt(body.size())));
        for (int s = 24; s >= 0; s -= 8) png.push_back((unsigned char)(crc >> s));
    };
    std::vector<unsigned char> head;
    for (uint32_t v : {width, height})
        for (int s = 24; s >= 0; s -= 8) head.push_back((unsigned char)(v >> s));
    head.insert(head.end(), {8, 6, 0, 0, 0});
    chunk("IHDR", head);
    std::vector<unsigned char> zeros(4096, 0), packed(8192);
    uLongf length = uLongf(packed.size());
    compress(packed.data(), &length, zeros.data(), uLong(zeros.size()));
    packed.resize(length);
    chunk("IDAT", packed);
    chunk("IEND", {});
    return png;
}

bool UnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

} // namespace

TEST(WriteFaults, KillNineMidSaveNeverLeavesAPartialFileUnderAFinalName) {
    TempFolder in("tintwell-kill-in"), out("tintwell-kill-out"), data("tintwell-kill-data");
    FillLargePictures(in.path);
    setenv("XDG_DATA_HOME", data.path.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1); // the window needs no display
    struct Program {
        const char *name;
        std::vector<std::string> head; // the command up to the output folder
    };
    const Program programs[] = {
        {"batch", {TINTWELL_BATCH, "-j", "1", "-o"}},
        {"window", {TINTWELL_WINDOW_CHILD}},
    };
    for (const Program &program : programs) {
        std::string base = out.path + program.name + "/";
        fs::create_directories(base + "whole");
        ASSERT_EQ(RunToEnd(Command(program.head, base + "whole/", in.path), base + "whole.txt"), 0)
            << program.name;
        auto whole = FinalFiles(base + "whole/");
        ASSERT_EQ(whole.size(), 3u) << program.name;
        EXPECT_EQ(DraftCount(base + "whole/"), 0) << program.name;

        // Killed while the first, second and third file are being written (a
        // JPEG's draft lives for one write only, so the run may end first).
        bool anyDraftLeft = false;
        for (int nth = 1; nth <= 3; nth++) {
            std::string folder = base + "kill" + std::to_string(nth) + "/";
            fs::create_directories(folder);
            bool killed = KillAtDraft(Command(program.head, folder, in.path), folder, nth);
            auto files = FinalFiles(folder);
            if (killed) {
                EXPECT_LE(files.size(), size_t(nth)) << program.name << " " << nth;
            }
            for (auto &[name, bytes] : files) {
                ASSERT_TRUE(whole.count(name)) << program.name << ": unexpected " << name;
                EXPECT_TRUE(SameBytes(bytes, whole[name]))
                    << program.name << ": " << name << " is not the whole file";
            }
            anyDraftLeft = anyDraftLeft || DraftCount(folder) > 0;
        }
        // At least one kill came while a draft was being written: it is left
        // behind, hidden, and nothing under a final name is partial.
        EXPECT_TRUE(anyDraftLeft) << program.name;
    }
}

TEST(WriteFaults, AFileSizeLimitFailsTheFileAndTheNextOneConverts) {
    TempFolder in("tintwell-limit-in"), out("tintwell-limit-out"), data("tintwell-limit-data");
    WriteFile(in.path + "big.jpg", Jpeg(2000, 1500, 0));
    ASSERT_TRUE(Picture(1000, 800, true).save(QString::fromStdString(in.path + "big.png")));
    WriteFile(in.path + "small.jpg", Jpeg(120, 90, 0));
    ASSERT_TRUE(Picture(60, 40, true).save(QString::fromStdString(in.path + "small.png")));
    // 256 KiB per file: the large outputs pass it, the small ones do not.
    std::string list;
    for (const char *name : {"big.jpg", "small.jpg", "big.png", "small.png"})
        list += " " + in.path + name;
    Result run =
        RunBatchCommand("-j 1 -o " + out.path + "batch/" + list, data.path, "", "ulimit -f 256; ");
    EXPECT_EQ(run.exit, 1) << run.output;
    for (const char *name : {"big.jpg", "big.png"})
        EXPECT_NE(run.output.find("[Error]  " + std::string(name) + "  cannot write " + out.path +
                                  "batch/" + name + ": File too large\n"),
                  std::string::npos)
            << run.output;
    EXPECT_NE(run.output.find("[Done]  small.jpg\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("[Done]  small.png\n"), std::string::npos) << run.output;
    EXPECT_EQ(FileCount(out.path + "batch"), 2) << "no draft and no partial file left";

    // The window's step in this process, under the same limit.
    StartBaseRuntime();
    StartImageRuntime();
    BuildLumaTables();
    BuildColourTable(nullptr); // black to white: outputs as large as the pictures'
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit limit = before;
    limit.rlim_cur = 256 * 1024;
    fs::create_directory(out.path + "window");
    String folder = StringFromUtf8(out.path + "window/");
    ConversionSettings settings{0, 0, 95};
    for (const char *name : {"big.jpg", "big.png", "small.jpg", "small.png"}) {
        bool big = name[0] == 'b';
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        ConversionOutcome outcome;
        int status = ConvertOneFile(StringFromUtf8(in.path + name), folder, settings, 0, 1, 0,
                                    StatusSink{}, &outcome);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);
        EXPECT_EQ(status, big ? StatusError : StatusDone) << name;
        if (big) {
            EXPECT_EQ(outcome.SaveError, EFBIG) << name;
        }
    }
    EXPECT_EQ(FileCount(out.path + "window"), 2);
    EXPECT_FALSE(QImage(QString::fromStdString(out.path + "window/small.png")).isNull());
}

TEST(WriteFaults, AFullDiskFailsTheFileAndTheNextOneConverts) {
    TempFolder in("tintwell-full-in"), disk("tintwell-full-disk"), data("tintwell-full-data");
    // A small disk of its own: a 384 KiB memory file system (root only).
    if (mount("tmpfs", disk.path.c_str(), "tmpfs", 0, "size=384k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk.path};
    WriteFile(in.path + "big.jpg", Jpeg(2000, 1500, 0));
    QImage noise(700, 500, QImage::Format_RGBA8888); // barely compresses
    uint32_t seed = 7;
    for (int y = 0; y < noise.height(); y++)
        for (int x = 0; x < noise.width() * 4; x++)
            noise.scanLine(y)[x] = (unsigned char)((seed = seed * 1664525u + 1013904223u) >> 24);
    ASSERT_TRUE(noise.save(QString::fromStdString(in.path + "big.png")));
    WriteFile(in.path + "small.jpg", Jpeg(120, 90, 0));
    ASSERT_TRUE(Picture(60, 40, true).save(QString::fromStdString(in.path + "small.png")));
    std::string list;
    for (const char *name : {"big.jpg", "small.jpg", "big.png", "small.png"})
        list += " " + in.path + name;
    Result run = RunBatchCommand("-j 1 -o " + disk.path + list, data.path);
    EXPECT_EQ(run.exit, 1) << run.output;
    for (const char *name : {"big.jpg", "big.png"})
        EXPECT_NE(run.output.find("[Error]  " + std::string(name) + "  cannot write " + disk.path +
                                  name + ": No space left on device\n"),
                  std::string::npos)
            << run.output;
    // Each small file fits once the large draft before it is gone.
    EXPECT_NE(run.output.find("[Done]  small.jpg\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("[Done]  small.png\n"), std::string::npos) << run.output;
    EXPECT_EQ(FileCount(disk.path), 2) << "no draft and no partial file left";
    int w = 0, h = 0;
    EXPECT_FALSE(DecodeTestJpeg(ReadFileBytes(disk.path + "small.jpg"), &w, &h).empty());
    EXPECT_EQ(w, 120);
}

TEST(WriteFaults, AnOutputFolderThatGoesAwayFailsTheRestAndTheRunEnds) {
    TempFolder in("tintwell-gone-in"), out("tintwell-gone-out"), data("tintwell-gone-data");
    std::vector<unsigned char> jpeg = Jpeg(1600, 1200, 0);
    std::vector<std::string> words = {TINTWELL_BATCH, "-j", "1", "-o", out.path + "gone/"};
    for (int n = 0; n < 12; n++) {
        std::string name = in.path + "p" + std::to_string(10 + n) + ".jpg";
        WriteFile(name, jpeg);
        words.push_back(name);
    }
    setenv("XDG_DATA_HOME", data.path.c_str(), 1);
    std::string log = out.path + "log.txt";
    pid_t child = Spawn(words, log);
    ASSERT_NE(child, 0);
    // Once the first file is in place, the folder goes.
    auto end = Clock::now() + std::chrono::seconds(60);
    while (!fs::exists(out.path + "gone/p10.jpg") && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The run may put its next draft there while the folder is being emptied:
    // then it is emptied again.
    std::error_code notEmpty;
    for (int tries = 0; tries < 100 && (fs::remove_all(out.path + "gone", notEmpty), notEmpty);
         tries++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(notEmpty) << notEmpty.message();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::vector<unsigned char> bytes = ReadFileBytes(log);
    std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("[Done]  p10.jpg\n"), std::string::npos) << text;
    // The file being converted when the folder went may still have been placed
    // (into nothing) or failed; every later one fails with the reason.
    for (int n = 12; n < 22; n++) {
        std::string name = "p" + std::to_string(n) + ".jpg";
        EXPECT_NE(text.find("[Error]  " + name + "  cannot write " + out.path + "gone/" + name +
                            ": No such file or directory\n"),
                  std::string::npos)
            << text;
    }
    EXPECT_NE(text.find(" failed, 0 cancelled in "), std::string::npos) << text;
    EXPECT_FALSE(fs::exists(out.path + "gone")) << "a removed folder is not made again";

    // The same with a folder that turns read-only: for root, whom permissions do
    // not stop, an immutable folder (where the file system has the attribute).
    bool root = geteuid() == 0;
    words[4] = out.path + "locked/";
    fs::create_directory(words[4]);
    child = Spawn(words, log);
    ASSERT_NE(child, 0);
    end = Clock::now() + std::chrono::seconds(60);
    while (!fs::exists(words[4] + "p10.jpg") && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::string lock =
        root ? "chattr +i '" + words[4] + "' 2>/dev/null" : "chmod 555 '" + words[4] + "'";
    bool locked = std::system(lock.c_str()) == 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    // Unlocked again, or the folder could not be removed after the test.
    if (root) {
        EXPECT_EQ(std::system(("chattr -i '" + words[4] + "'").c_str()), 0);
    }
    if (!locked) GTEST_SKIP() << "this file system cannot make a folder read-only for root";
    bytes = ReadFileBytes(log);
    text.assign(bytes.begin(), bytes.end());
    EXPECT_EQ(WEXITSTATUS(status), 1) << text;
    for (int n = 12; n < 22; n++) {
        std::string name = "p" + std::to_string(n) + ".jpg";
        EXPECT_NE(text.find("[Error]  " + name + "  cannot write " + words[4] + name + ": " +
                            (root ? "Operation not permitted" : "Permission denied") + "\n"),
                  std::string::npos)
            << text;
    }
    int done = 0;
    for (size_t at = 0; (at = text.find("[Done]  ", at)) != std::string::npos; at++) done++;
    // The draft being written when the folder locked cannot be removed from it.
    EXPECT_EQ(int(FinalFiles(words[4]).size()), done) << "only the files placed before the lock";
}

TEST(WriteFaults, PicturesTooLargeForTheMemoryFailCleanly) {
    TempFolder in("tintwell-memory-in"), out("tintwell-memory-out"), data("tintwell-memory-data");
    WriteFile(in.path + "declared.png", DeclaredPng(32767, 32767));
    WriteFile(in.path + "after.jpg", Jpeg(120, 90, 0));
    auto start = Clock::now();
    Result run = RunBatchCommand("-j 1 -o " + out.path + "a/ " + in.path + "declared.png " +
                                     in.path + "after.jpg",
                                 data.path);
    EXPECT_EQ(run.exit, 1) << run.output;
    EXPECT_NE(run.output.find("[Error]  declared.png  "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("[Done]  after.jpg\n"), std::string::npos) << run.output;
    EXPECT_EQ(FileCount(out.path + "a"), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(60));

    // A real 100-megapixel picture under a 350 MB address space limit: its
    // decoded pixels alone need 400 MB. (A PNG: a JPEG at its own size is
    // converted in bands and needs far less.)
    if (UnderAddressSanitizer()) GTEST_SKIP() << "the sanitizer reserves the address space";
    StartBaseRuntime();
    StartImageRuntime();
    int64_t huge = NewImage(-1, 10000, 10000, 32, 0x3060A0);
    ASSERT_NE(huge, 0);
    ASSERT_GT(WritePngRgba(huge, StringFromUtf8(in.path + "huge.png")), 0);
    ReleaseImage(huge);
    run = RunBatchCommand("-j 1 -m 0x0 -o " + out.path + "b/ " + in.path + "huge.png " + in.path +
                              "after.jpg",
                          data.path, "", "ulimit -v 350000; ");
    EXPECT_EQ(run.exit, 1) << run.output;
    EXPECT_NE(run.output.find("[Error]  huge.png  "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("[Done]  after.jpg\n"), std::string::npos) << run.output;
    EXPECT_EQ(FileCount(out.path + "b"), 1);
}
