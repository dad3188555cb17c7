// The real tintwell executable, started as a terminal or a desktop session
// starts it: --help and --version answer and exit; SIGTERM (log-out), SIGINT
// and SIGHUP end it through its quit sequence, so the settings are saved.
#include "resources/version.h"
#include "tests/support/temp_folder.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Starts the program offscreen, its data folder and standard output in `home`,
// with the quit signals at their default handling (a test run may ignore some).
pid_t Start(std::vector<std::string> words, const TempFolder &home) {
    words.insert(words.begin(), TINTWELL_PROGRAM);
    std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "XDG_DATA_HOME=" + home.path,
                                    "HOME=" + home.path, "XDG_RUNTIME_DIR=" + home.path};
    std::vector<char *> argv, envp;
    for (std::string &w : words) argv.push_back(w.data());
    for (std::string &e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (home.path + "stdout").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, none;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&defaults, s);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data()) != 0) pid = 0;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The wait status once the program has ended; after 20 seconds it is killed.
int WaitForEnd(pid_t pid) {
    auto end = Clock::now() + std::chrono::seconds(20);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "still running after 20 seconds";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status;
}

// Waits until the running program handles `signal` itself (the kernel's list of
// caught signals), as it does once its window is being built.
bool WaitUntilCaught(pid_t pid, int signal) {
    for (auto end = Clock::now() + std::chrono::seconds(20); Clock::now() < end;) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("SigCgt:", 0) == 0 &&
                (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1)
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::string ReadAll(const std::string &path) {
    std::stringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// A settings file of a former run, 600 bytes with the right magic: max size
// 1200 x 900 (B0 04, 84 03), quality "Medium", user preset 2 holding stops.
std::string FormerSettings() {
    std::string bytes(600, '\xEE');
    bytes.replace(0, 16, std::string("GT10\xB0\x04\0\0\x84\x03\0\0\0\0\0\0", 16));
    for (int preset = 0; preset < 8; preset++) {
        std::string name = "User preset " + std::to_string(preset + 1);
        name.resize(24, ' ');
        name.resize(60, preset == 1 ? '\x7F' : '\0');
        bytes.replace(16 + size_t(preset) * 60, 60, name);
    }
    return bytes;
}

} // namespace

TEST(Program, HelpAndVersionPrintAndExit) {
    std::pair<const char *, std::string> cases[] = {
        {"--version", std::string("Tintwell ") + TintwellVersion + "\n"},
        {"--help", "Usage: tintwell [--help | --version]\n"
                   "Re-colours photographs by luminance with a gradient tone.\n"
                   "Started without options it opens its window: drop pictures or a folder\n"
                   "on it. For folders from the command line, see tintwell-batch(1).\n"
                   "\n"
                   "  --help     show this text and exit\n"
                   "  --version  show the version and exit\n"},
    };
    for (const auto &[option, output] : cases) {
        TempFolder home("tintwell-program");
        pid_t pid = Start({option}, home);
        ASSERT_NE(pid, 0);
        int status = WaitForEnd(pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << option;
        EXPECT_EQ(ReadAll(home.path + "stdout"), output) << option;
        EXPECT_FALSE(std::filesystem::exists(home.path + "Quillcraft")) << "no window was built";
    }
}

TEST(Program, QuitSignalsSaveTheSettingsAndEndNormally) {
    struct {
        int signal;
        std::vector<std::string> arguments; // other arguments still open the window
    } cases[] = {{SIGTERM, {}},
                 {SIGINT, {}},
                 {SIGHUP, {}},
                 {SIGTERM, {"--frobnicate"}},
                 {SIGHUP, {"--help", "x"}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "signal " << c.signal << ", " << c.arguments.size() << " arguments");
        TempFolder home("tintwell-program");
        const std::string settings = home.path + "Quillcraft/Tintwell/Tintwell.dat";
        std::filesystem::create_directories(home.path + "Quillcraft/Tintwell");
        std::ofstream(settings, std::ios::binary) << FormerSettings();
        pid_t pid = Start(c.arguments, home);
        ASSERT_NE(pid, 0);
        if (!WaitUntilCaught(pid, c.signal)) {
            kill(pid, SIGKILL);
            WaitForEnd(pid);
            FAIL() << "the program never caught the signal";
        }
        kill(pid, c.signal);
        int status = WaitForEnd(pid);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0);
        // Read back into the window and written again by its quit: cut to 496 bytes.
        EXPECT_EQ(ReadAll(settings), FormerSettings().substr(0, 496));
    }
}
