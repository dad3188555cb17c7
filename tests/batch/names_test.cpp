// tintwell-batch on file names that are not UTF-8 and with its standard
// descriptors closed: the built executable, spawned without a shell so every
// byte of every name reaches it as written here.
#include "tests/batch/batch_harness.h"
#include "tests/support/byte_compare.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_jpeg.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace {

namespace fs = std::filesystem;

const std::string Latin1Name = "photo\xFF.jpg";              // not UTF-8
const std::string ReplacementName = "photo\xEF\xBF\xBD.jpg"; // U+FFFD, what the other shows as

// Runs tintwell-batch with `input` as its standard input (closed when empty),
// its standard output closed or into `log` with its errors; the exit status.
int RunBatch(std::vector<std::string> words, const std::string &input, bool closeOutput,
             const std::string &log) {
    words.insert(words.begin(), TINTWELL_BATCH);
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input.empty())
        posix_spawn_file_actions_addclose(&actions, 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (closeOutput)
        posix_spawn_file_actions_addclose(&actions, 1);
    else
        posix_spawn_file_actions_adddup2(&actions, 2, 1);
    pid_t child = 0;
    int status = 0;
    bool started = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!started || waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(BatchNames, EveryNameReachesTheFileSystemByteForByte) {
    TempFolder in("tintwell-names-in"), out("tintwell-names-out"), data("tintwell-names-data");
    setenv("XDG_DATA_HOME", data.path.c_str(), 1);
    // Widths tell the outputs apart: each must come from its own input.
    WriteFile(in.path + Latin1Name, Jpeg(40, 24, 0));
    WriteFile(in.path + ReplacementName, Jpeg(56, 24, 0));
    // Enough files that some status line is printed while an output is open.
    std::map<std::string, int> all = {{Latin1Name, 40}, {ReplacementName, 56}};
    fs::create_directory(in.path + "many");
    for (int i = 1; i <= 20; ++i) {
        WriteFile(in.path + "many/p" + std::to_string(i) + ".jpg", Jpeg(224, 160, 0));
        all["many/p" + std::to_string(i) + ".jpg"] = 224;
    }
    std::ofstream(data.path + "list") << in.path + Latin1Name << "\n"
                                      << in.path + ReplacementName << "\n";
    // The folder a lossy conversion of "dest\xFF" would name.
    fs::create_directories(out.path + "dest/dest\xEF\xBF\xBD");

    struct Case {
        std::vector<std::string> words; // "OUT/" stands for the case's output folder
        std::string input;
        bool closeOutput;
        std::map<std::string, int> expected; // every file under the case's folder: width
    };
    const std::map<std::string, int> both = {{Latin1Name, 40}, {ReplacementName, 56}};
    const std::vector<std::pair<std::string, Case>> cases = {
        {"folder", {{"-o", "OUT/", in.path}, "/dev/null", false, both}},
        {"dest",
         {{"-o", "OUT/dest\xFF", in.path + Latin1Name},
          "/dev/null",
          false,
          {{"dest\xFF/" + Latin1Name, 40}}}},
        {"list", {{"--files-from", "-", "-o", "OUT/"}, data.path + "list", false, both}},
        // As a service manager may start it: input and output closed.
        {"closed", {{"-r", "-j", "4", "-o", "OUT/", in.path}, "", true, all}},
    };
    for (const auto &[label, c] : cases) {
        SCOPED_TRACE(label);
        std::string folder = out.path + label + "/";
        std::vector<std::string> words = c.words;
        for (std::string &w : words)
            if (w.rfind("OUT/", 0) == 0) w = folder + w.substr(4);
        std::string log = data.path + label + ".log";
        EXPECT_EQ(RunBatch(words, c.input, c.closeOutput, log), 0);
        std::vector<unsigned char> logged = ReadFileBytes(log);
        std::string lines(logged.begin(), logged.end());
        if (!c.closeOutput) {
            EXPECT_EQ(FileLines(lines).size(), c.expected.size()) << lines;
        }

        std::map<std::string, int> found;
        std::error_code missing;
        for (auto &entry : fs::recursive_directory_iterator(folder, missing)) {
            if (!entry.is_regular_file()) continue;
            std::vector<unsigned char> bytes = ReadFileBytes(entry.path().native());
            std::string text(bytes.begin(), bytes.end());
            EXPECT_EQ(text.find("[Done]"), std::string::npos) << entry.path().native();
            int w = 0, h = 0;
            EXPECT_FALSE(DecodeTestJpeg(bytes, &w, &h).empty()) << entry.path().native();
            found[entry.path().native().substr(folder.size())] = w;
        }
        EXPECT_EQ(found, c.expected);
    }
}
