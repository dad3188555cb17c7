// The real tintwell executable, started as a terminal or a desktop session
// starts it: --help and --version answer and exit; SIGTERM (log-out), SIGINT
// and SIGHUP end it through its quit sequence, so the settings are saved.
#include "resources/version.h"
#include "tests/support/temp_folder.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char **environ;

namespace {

struct Program {
    pid_t pid = 0;
    std::string output; // the file its standard output goes to
};

// Starts the program offscreen with `dataHome` as its data folder's root and the
// three quit signals at their default handling (a test run may ignore some).
Program Start(const std::vector<std::string> &arguments, const TempFolder &dataHome) {
    Program program;
    program.output = dataHome.path + "stdout";
    std::vector<std::string> words = {TINTWELL_PROGRAM};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    std::vector<std::string> settings = {
        "QT_QPA_PLATFORM=offscreen", "XDG_DATA_HOME=" + dataHome.path + "data",
        "HOME=" + dataHome.path, "XDG_RUNTIME_DIR=" + dataHome.path};
    std::vector<char *> env;
    for (std::string &s : settings) env.push_back(s.data());
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, program.output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&defaults, s);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    if (posix_spawn(&program.pid, argv[0], &actions, &attributes, argv.data(), env.data()) != 0)
        program.pid = 0;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return program;
}

// The wait status of the program once it has ended; it is killed after 20 seconds.
int WaitForEnd(const Program &program) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int status = 0;
    while (waitpid(program.pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(program.pid, SIGKILL);
            waitpid(program.pid, &status, 0);
            ADD_FAILURE() << "still running after 20 seconds";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status;
}

// Whether the running program has a handler of its own for `signal` (the
// kernel's list of caught signals), which it installs as its window is built.
bool Catches(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

bool WaitUntilCaught(pid_t pid, int signal) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!Catches(pid, signal)) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void Put32(std::string *bytes, size_t offset, uint32_t value) {
    for (int n = 0; n < 4; n++) (*bytes)[offset + size_t(n)] = char((value >> (8 * n)) & 0xFF);
}

// A settings file of a former run, 600 bytes with its magic: max size 1200 x 900,
// quality "Medium", user preset 2 holding stops, and 104 bytes of tail.
std::string FormerSettings() {
    std::string bytes(600, '\xEE');
    bytes.replace(0, 4, "GT10");
    Put32(&bytes, 4, 1200);
    Put32(&bytes, 8, 900);
    Put32(&bytes, 12, 0);
    for (int preset = 0; preset < 8; preset++) {
        std::string name = "User preset " + std::to_string(preset + 1);
        name.resize(24, ' ');
        bytes.replace(16 + size_t(preset) * 60, 24, name);
        for (int stop = 0; stop < 9; stop++)
            Put32(&bytes, 16 + size_t(preset) * 60 + 24 + size_t(stop) * 4,
                  preset == 1 ? 0xFF000000u | uint32_t(stop * 0x1C0A03) : 0);
    }
    return bytes;
}

// What a first quit writes: the start-up values.
std::string FirstRunSettings() {
    std::string bytes = FormerSettings().substr(0, 496);
    Put32(&bytes, 4, 8192);
    Put32(&bytes, 8, 8192);
    Put32(&bytes, 12, 1);
    for (int stop = 0; stop < 9; stop++) Put32(&bytes, 100 + size_t(stop) * 4, 0);
    return bytes;
}

} // namespace

TEST(Program, HelpAndVersionPrintAndExit) {
    struct {
        const char *option;
        std::string output;
    } cases[] = {
        {"--version", std::string("Tintwell ") + TintwellVersion + "\n"},
        {"--help", "Usage: tintwell [--help | --version]\n"
                   "Re-colours photographs by luminance with a gradient tone.\n"
                   "Started without options it opens its window: drop pictures or a folder\n"
                   "on it. For folders from the command line, see tintwell-batch(1).\n"
                   "\n"
                   "  --help     show this text and exit\n"
                   "  --version  show the version and exit\n"},
    };
    for (const auto &c : cases) {
        TempFolder home("tintwell-program");
        Program program = Start({c.option}, home);
        ASSERT_NE(program.pid, 0);
        int status = WaitForEnd(program);
        ASSERT_TRUE(WIFEXITED(status)) << c.option;
        EXPECT_EQ(WEXITSTATUS(status), 0) << c.option;
        EXPECT_EQ(ReadAll(program.output), c.output) << c.option;
        EXPECT_FALSE(std::filesystem::exists(home.path + "data")) << "no window was built";
    }
}

TEST(Program, QuitSignalsSaveTheSettingsAndEndNormally) {
    const std::string settings = "data/Quillcraft/Tintwell/Tintwell.dat";
    struct {
        int signal;
        bool formerFile;
        std::vector<std::string> arguments; // other arguments still open the window
    } cases[] = {
        {SIGTERM, true, {}},
        {SIGINT, true, {}},
        {SIGHUP, true, {}},
        {SIGTERM, false, {}},
        {SIGHUP, false, {"--frobnicate"}},
        {SIGINT, false, {"--help", "x"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "signal " << c.signal << ", former file " << c.formerFile << ", "
                     << c.arguments.size() << " arguments");
        TempFolder home("tintwell-program");
        if (c.formerFile) {
            std::filesystem::create_directories(home.path + "data/Quillcraft/Tintwell");
            std::ofstream(home.path + settings, std::ios::binary) << FormerSettings();
        }
        Program program = Start(c.arguments, home);
        ASSERT_NE(program.pid, 0);
        if (!WaitUntilCaught(program.pid, c.signal)) {
            kill(program.pid, SIGKILL);
            WaitForEnd(program);
            FAIL() << "the program never caught the signal";
        }
        kill(program.pid, c.signal);
        int status = WaitForEnd(program);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0);
        // Read back by the window and written again by its quit: cut to 496 bytes.
        std::string expected = c.formerFile ? FormerSettings().substr(0, 496) : FirstRunSettings();
        EXPECT_EQ(ReadAll(home.path + settings), expected);
    }
}
