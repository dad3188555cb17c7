// tintwell-batch over whole libraries, as the built executable: a run stopped and
// resumed, four shards at once, the report's lines, and the hot folder.
#include "tests/batch/batch_harness.h"
#include "tests/support/temp_folder.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Polls `ready` every few milliseconds for at most `seconds`.
bool WaitFor(const std::function<bool()> &ready, int seconds = 60) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool StartsWith(const std::string &text, const std::string &start) {
    return text.rfind(start, 0) == 0;
}

int Wait(pid_t child) {
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

int Stop(pid_t child, int signal) {
    kill(child, signal);
    return Wait(child);
}

// The visible files below `folder`, as paths relative to it.
std::set<std::string> VisibleFiles(const std::string &folder) {
    std::set<std::string> files;
    std::error_code error;
    for (auto &entry : fs::recursive_directory_iterator(folder, error))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
            files.insert(fs::relative(entry.path(), folder).string());
    return files;
}

// The names of the lines that start with `prefix`, without the argument's path.
std::vector<std::string> Named(const std::string &log, const std::string &prefix,
                               const std::string &argument) {
    std::vector<std::string> names;
    for (const std::string &line : Lines(log))
        if (line.rfind(prefix + argument, 0) == 0)
            names.push_back(line.substr(prefix.size() + argument.size()));
    return names;
}

// A picture of each kind written once and copied, so hundreds cost no drawing.
void CopyPictures(const std::string &in, const std::vector<std::string> &names, int w, int h) {
    std::vector<unsigned char> jpeg = Jpeg(w, h, 0);
    std::string png = in + ".template.png";
    ASSERT_TRUE(Picture(w, h, true).save(QString::fromStdString(png)));
    for (const std::string &name : names) {
        fs::create_directories(fs::path(in + name).parent_path());
        if (name.ends_with(".jpg"))
            WriteFile(in + name, jpeg);
        else
            fs::copy_file(png, in + name);
    }
    fs::remove(png);
}

// The shard of a path as the manual gives it: FNV-1a of 64 bits, modulo N, plus 1.
int ShardOf(const std::string &key, int count) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char byte : key) hash = (hash ^ byte) * 1099511628211ull;
    return int(hash % uint64_t(count)) + 1;
}

void Backdate(const std::string &path, int seconds) {
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(seconds));
}

} // namespace

TEST(Scale, ResumedAfterAnInterruptEveryFileIsConvertedOnce) {
    TempFolder in("tintwell-scale-in"), out("tintwell-scale-out"), data("tintwell-scale-data");
    std::vector<std::string> names;
    for (int n = 0; n < 90; n++)
        names.push_back("f" + std::to_string(n % 3) + "/p" + std::to_string(n) +
                        (n % 2 ? ".png" : ".jpg"));
    CopyPictures(in.path, names, 900, 600);
    // Drafts in the output folder: only the first is a killed run's, old enough.
    std::string toned = out.path + "toned/";
    fs::create_directory(toned);
    const std::string gone = ".tintwell-99999999-1.part", fresh = ".tintwell-99999998-1.part",
                      alive = ".tintwell-" + std::to_string(getpid()) + "-1.part",
                      other = ".tintwell-notes.part";
    for (const std::string &draft : {gone, fresh, alive, other}) {
        std::ofstream(toned + draft) << "partial";
        if (draft != fresh) Backdate(toned + draft, 300);
    }

    std::string log = out.path + "first.log";
    setenv("XDG_DATA_HOME", data.path.c_str(), 1);
    pid_t child = Spawn({TINTWELL_BATCH, "-r", "-j", "2", "-o", toned, in.path}, log);
    ASSERT_NE(child, 0);
    ASSERT_TRUE(WaitFor([&] { return VisibleFiles(toned).size() >= 6; }));
    ASSERT_EQ(Stop(child, SIGINT), 130);
    std::string first = ReadText(log);
    int done = -1, cancelled = -1, notStarted = -1;
    for (const std::string &line : Lines(first))
        std::sscanf(line.c_str(), "%d done, 0 failed, %d cancelled, %d not started in ", &done,
                    &cancelled, &notStarted);
    ASSERT_GE(notStarted, 0) << first;
    EXPECT_EQ(done + cancelled + notStarted, 90) << first;
    EXPECT_GT(notStarted, 0) << first;
    std::vector<std::string> doneFirst = Named(first, "[Done]  ", in.path);
    EXPECT_EQ(int(doneFirst.size()), done);
    EXPECT_FALSE(fs::exists(toned + gone));
    for (const std::string &kept : {fresh, alive, other})
        EXPECT_TRUE(fs::exists(toned + kept)) << kept;

    Result second =
        RunBatchCommand("-r -j 2 --skip-existing -o " + toned + " " + in.path, data.path);
    EXPECT_EQ(second.exit, 0) << second.output;
    std::vector<std::string> skipped = Named(second.output, "[Skipped]  ", in.path);
    std::vector<std::string> doneSecond = Named(second.output, "[Done]  ", in.path);
    EXPECT_EQ(std::set<std::string>(skipped.begin(), skipped.end()),
              std::set<std::string>(doneFirst.begin(), doneFirst.end()));
    EXPECT_EQ(int(doneSecond.size()), 90 - done);
    EXPECT_PRED2(StartsWith, Lines(second.output).back(),
                 std::to_string(90 - done) + " done, 0 failed, 0 cancelled, " +
                     std::to_string(done) + " skipped in 00h ");
    // Each input once, under its own name: no second copy with a date stamp.
    EXPECT_EQ(VisibleFiles(toned), std::set<std::string>(names.begin(), names.end()));
}

TEST(Scale, FourShardsAtOnceConvertEveryInputOnce) {
    TempFolder in("tintwell-scale-in"), out("tintwell-scale-out"), data("tintwell-scale-data");
    std::vector<std::string> names;
    for (int n = 0; n < 64; n++)
        names.push_back(std::string(n % 4 ? "a/" : "") + (n % 3 ? "b/" : "c/") + "IMG_" +
                        std::to_string(1000 + n) + (n % 5 ? ".jpg" : ".png"));
    CopyPictures(in.path, names, 48, 32);
    setenv("XDG_DATA_HOME", data.path.c_str(), 1);
    std::vector<pid_t> children;
    for (int k = 1; k <= 4; k++)
        children.push_back(Spawn({TINTWELL_BATCH, "-r", "-j", "1", "--shard",
                                  std::to_string(k) + "/4", "-o", out.path + "toned", in.path},
                                 out.path + std::to_string(k) + ".log"));
    std::multiset<std::string> converted;
    for (int k = 1; k <= 4; k++) {
        ASSERT_NE(children[k - 1], 0);
        EXPECT_EQ(Wait(children[k - 1]), 0);
        std::string log = ReadText(out.path + std::to_string(k) + ".log");
        std::vector<std::string> done = Named(log, "[Done]  ", in.path);
        EXPECT_FALSE(done.empty()) << "shard " << k;
        // The shard each file went to is the documented hash's.
        for (const std::string &name : done) EXPECT_EQ(ShardOf(name, 4), k) << name;
        EXPECT_PRED2(StartsWith, Lines(log).back(),
                     std::to_string(done.size()) + " done, 0 failed, 0 cancelled in ");
        converted.insert(done.begin(), done.end());
    }
    EXPECT_EQ(converted, std::multiset<std::string>(names.begin(), names.end()));
    EXPECT_EQ(VisibleFiles(out.path + "toned"), std::set<std::string>(names.begin(), names.end()));
}

TEST(Scale, ReportHasOneLinePerFileInByteOrderAndASummary) {
    TempFolder in("tintwell-scale-in"), out("tintwell-scale-out"), data("tintwell-scale-data");
    WriteFile(in.path + "a.jpg", Jpeg(120, 80, 6));
    WriteFile(in.path + "a2.jpg", Jpeg(120, 80, 0));
    ASSERT_TRUE(Picture(64, 48, true).save(QString::fromStdString(in.path + "B.png")));
    ASSERT_TRUE(Picture(40, 30, false).save(QString::fromStdString(in.path + "a10.png")));
    fs::create_directory(in.path + "m");
    ASSERT_TRUE(Picture(30, 20, false).save(QString::fromStdString(in.path + "m/c.png")));
    ASSERT_TRUE(Picture(30, 20, false).save(QString::fromStdString(in.path + "\xC3\xA9.png")));
    std::ofstream(in.path + "notes.txt") << "not a picture";
    std::string toned = out.path + "toned/";
    fs::create_directory(toned);
    std::ofstream(toned + "a2.jpg") << "converted before";

    struct Expected {
        std::string name, status, output, reason;
        int sourceWidth, sourceHeight, outputWidth, outputHeight;
    };
    // Byte order: capitals before small letters, "10" before "2", the
    // sub-folder in its place, UTF-8 last. Scaled into 60 x 60; the JPEG keeps
    // its EXIF turn, so its stored pixels are as wide as they were.
    const Expected table[] = {
        {"B.png", "done", "B.png", "", 64, 48, 60, 45},
        {"a.jpg", "done", "a.jpg", "", 120, 80, 60, 40},
        {"a10.png", "done", "a10.png", "", 40, 30, 40, 30},
        {"a2.jpg", "skipped", "a2.jpg", "", 0, 0, 0, 0},
        {"m/c.png", "done", "m/c.png", "", 30, 20, 30, 20},
        {"notes.txt", "failed", "", "not a picture this program reads", 0, 0, 0, 0},
        {"\xC3\xA9.png", "done", "\xC3\xA9.png", "", 30, 20, 30, 20},
    };
    Result run = RunBatchCommand("-r -j 2 --skip-existing -m 60x60 --report " + out.path +
                                     "r.jsonl -o " + toned + " " + in.path,
                                 data.path);
    EXPECT_EQ(run.exit, 1) << run.output;
    std::vector<std::string> lines = Lines(run.output),
                             report = Lines(ReadText(out.path + "r.jsonl"));
    ASSERT_EQ(lines.size(), std::size(table) + 1) << run.output;
    ASSERT_EQ(report.size(), std::size(table) + 1);
    const std::map<std::string, std::string> prefixes = {
        {"done", "[Done]  "}, {"skipped", "[Skipped]  "}, {"failed", "[Error]  "}};
    for (size_t i = 0; i < std::size(table); i++) {
        const Expected &e = table[i];
        std::string line = prefixes.at(e.status) + in.path + e.name;
        if (!e.reason.empty()) line += "  " + e.reason;
        EXPECT_EQ(lines[i], line);
        QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(report[i])).object();
        EXPECT_GE(o.take("ms").toInteger(-1), 0) << report[i];
        auto text = [](const std::string &t, const std::string &v) {
            return t.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(v));
        };
        const int64_t bytes = e.status == "done" ? int64_t(fs::file_size(toned + e.output)) : 0;
        const QJsonObject expected = {{"type", "file"},
                                      {"input", QString::fromStdString(in.path + e.name)},
                                      {"output", text(e.output, toned + e.output)},
                                      {"status", QString::fromStdString(e.status)},
                                      {"reason", text(e.reason, e.reason)},
                                      {"source_width", e.sourceWidth},
                                      {"source_height", e.sourceHeight},
                                      {"output_width", e.outputWidth},
                                      {"output_height", e.outputHeight},
                                      {"bytes", qint64(bytes)}};
        EXPECT_EQ(o, expected) << report[i];
    }
    EXPECT_PRED2(StartsWith, lines.back(), "5 done, 1 failed, 0 cancelled, 1 skipped in 00h ");
    QJsonObject summary =
        QJsonDocument::fromJson(QByteArray::fromStdString(report.back())).object();
    EXPECT_EQ(summary["type"].toString().toStdString(), "summary");
    const std::pair<const char *, int> counts[] = {
        {"done", 5}, {"failed", 1}, {"cancelled", 0}, {"skipped", 1}, {"not_started", 0}};
    for (const auto &[field, count] : counts) EXPECT_EQ(summary[field].toInt(-1), count) << field;
}

TEST(Scale, WatchTakesAFileWrittenSlowlyAndOneMovedInButNotItsOwnOutputs) {
    TempFolder in("tintwell-scale-in"), staging("tintwell-scale-stage"),
        data("tintwell-scale-data");
    WriteFile(in.path + "first.jpg", Jpeg(64, 48, 0));
    std::string slowPng = staging.path + "slow.png";
    ASSERT_TRUE(Picture(200, 150, true).save(QString::fromStdString(slowPng)));
    std::string slow = ReadText(slowPng);
    WriteFile(staging.path + "moved.jpg", Jpeg(80, 60, 0));
    std::string log = staging.path + "watch.log";
    // Half of a file is there when the run starts (its writer not handing the
    // open file to the run); the rest comes later.
    const int early = open((in.path + "early.png").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(early, 0);
    ASSERT_EQ(write(early, slow.data(), slow.size() / 2), ssize_t(slow.size() / 2));

    // The outputs go into the watched folder itself (under stamped names, the
    // sources' names being taken), where they must not be taken as new files.
    setenv("XDG_DATA_HOME", data.path.c_str(), 1);
    pid_t child = Spawn({TINTWELL_BATCH, "--watch", "-j", "2", "-o", in.path, in.path}, log);
    ASSERT_NE(child, 0);
    auto shown = [&](const std::string &name) {
        return ReadText(log).find("[Done]  " + in.path + name + "\n") != std::string::npos;
    };
    ASSERT_TRUE(WaitFor([&] { return shown("first.jpg"); })) << ReadText(log);
    EXPECT_EQ(ReadText(log).find("early.png"), std::string::npos) << ReadText(log);
    const size_t rest = slow.size() - slow.size() / 2;
    EXPECT_EQ(write(early, slow.data() + slow.size() / 2, rest), ssize_t(rest));
    close(early);

    // Half the file, a pause, then the rest: nothing is read until it is closed.
    {
        std::ofstream writing(in.path + "slow.png", std::ios::binary);
        writing.write(slow.data(), std::streamsize(slow.size() / 2)).flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_EQ(ReadText(log).find("slow.png"), std::string::npos) << ReadText(log);
        writing.write(slow.data() + slow.size() / 2,
                      std::streamsize(slow.size() - slow.size() / 2));
    }
    fs::rename(staging.path + "moved.jpg", in.path + "moved.jpg");
    EXPECT_TRUE(WaitFor([&] {
        return shown("slow.png") && shown("moved.jpg") && shown("early.png");
    })) << ReadText(log);
    // Time for the outputs' own events to come round, were they taken.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(Stop(child, SIGINT), 130);

    std::vector<std::string> lines = Lines(ReadText(log));
    ASSERT_EQ(lines.size(), 5u) << ReadText(log);
    EXPECT_PRED2(StartsWith, lines[4], "4 done, 0 failed, 0 cancelled in ");
    std::set<std::string> files = VisibleFiles(in.path);
    ASSERT_EQ(files.size(), 8u);
    // Each source and its one output under a stamped name (name_yyyymmddhhmmss.ext).
    std::vector<std::string> sorted(files.begin(), files.end());
    const char *sources[] = {"early.png", "first.jpg", "moved.jpg", "slow.png"};
    for (size_t i = 0; i < 4; i++) {
        const std::string source = sources[i], stem = source.substr(0, source.size() - 4);
        EXPECT_EQ(sorted[i * 2], source);
        const std::string &output = sorted[i * 2 + 1];
        EXPECT_TRUE(output.size() == source.size() + 15 && output.rfind(stem + "_", 0) == 0 &&
                    output.ends_with(source.substr(stem.size())) &&
                    output.find_first_not_of("0123456789", stem.size() + 1) == stem.size() + 15)
            << output;
    }
    // The slow file was read whole: the output has every row.
    std::string slowOutput = *std::prev(files.end());
    EXPECT_EQ(QImage(QString::fromStdString(in.path + slowOutput)).size(), QSize(200, 150));
}

TEST(Scale, MessagesNameTheCause) {
    TempFolder in("tintwell-scale-in"), out("tintwell-scale-out"), data("tintwell-scale-data");
    std::ofstream(out.path + "taken") << "a file";
    // A PNG whose first data chunk fails its check: libpng's own message does
    // not reach standard error on its own (not even its line end); it is the
    // file's reason.
    ASSERT_TRUE(Picture(40, 30, false).save(QString::fromStdString(in.path + "crc.png")));
    std::string png = ReadText(in.path + "crc.png");
    png[png.find("IDAT") + 6] ^= 0x55;
    std::ofstream(in.path + "crc.png", std::ios::binary) << png;
    struct Case {
        std::string arguments;
        int exit;
        std::string output; // the whole output, up to the summary's time
    };
    const std::string taken = out.path + "taken";
    const Case cases[] = {
        {"-o " + taken + " " + in.path, 1,
         "tintwell-batch: cannot make the output folder " + taken + ": is a file\n"},
        {"-o " + taken + "/toned " + in.path, 1,
         "tintwell-batch: cannot make the output folder " + taken + "/toned: " + taken +
             " is a file\n"},
        {"-o " + out.path + "toned " + in.path + "gone/", 1,
         "[Error]  gone  cannot open: No such file or directory\n0 done, 1 failed, 0 cancelled "
         "in "},
        {"-o " + out.path + "toned " + in.path + "crc.png", 1,
         "[Error]  crc.png  not a picture this program reads (libpng error: IDAT: invalid "
         "stored block lengths)\n0 done, 1 failed, 0 cancelled in "},
        {"--shard 5/4 -o " + out.path + "toned " + in.path, 2,
         "tintwell-batch: --shard must be K/N with 1 <= K <= N (N up to 1000000), not \"5/4\"\n"},
        {"--watch -n -o " + out.path + "toned " + in.path, 2,
         "tintwell-batch: --watch converts what appears; it cannot go with --dry-run\n"},
        {"--watch -o " + out.path + "toned " + in.path + "crc.png", 2,
         "tintwell-batch: --watch needs a folder to watch among the inputs\n"},
    };
    for (const Case &c : cases) {
        Result r = RunBatchCommand(c.arguments, data.path);
        EXPECT_EQ(r.exit, c.exit) << c.arguments;
        EXPECT_EQ(r.output.substr(0, c.output.size()), c.output) << c.arguments;
    }
}
