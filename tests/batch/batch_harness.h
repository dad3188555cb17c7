// What the tests of tintwell-batch share: running the built executable as a
// user does, splitting its output, and the pictures they convert.
#pragma once

#include "tests/support/test_jpeg.h"

#include <QColor>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char **environ;

struct Result {
    int exit = -1;
    std::string output; // standard output and standard error together
};

// Runs a shell command line with the settings folder in `data`; `prefix` comes
// first on the line (a ulimit, say).
inline Result RunBatchCommand(const std::string &arguments, const std::string &data,
                              const std::string &input = "", const std::string &prefix = "") {
    std::string command = prefix + "XDG_DATA_HOME='" + data + "' ";
    if (!input.empty()) command = "printf '" + input + "' | " + command;
    command += std::string(TINTWELL_BATCH) + " " + arguments + " 2>&1";
    Result result;
    std::FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.output.append(buffer, n);
    int status = pclose(pipe);
    result.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

// The per-file lines, sorted (files of one folder come in the file system's order).
inline std::vector<std::string> FileLines(const std::string &text) {
    std::vector<std::string> lines;
    for (const std::string &line : Lines(text))
        if (line.rfind("[", 0) == 0) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

inline void WriteFile(const std::string &path, const std::vector<unsigned char> &bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// A camera-like picture: gradients, texture, and a partly transparent band.
inline QImage Picture(int w, int h, bool alpha) {
    QImage image(w, h, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            image.setPixelColor(x, y,
                                QColor((x * 7 + y) & 255, (y * 5 + x / 3) & 255, (x ^ y) & 255,
                                       alpha && y < h / 3 ? 128 : 255));
    return image;
}

inline std::vector<unsigned char> Jpeg(int w, int h, int orientation) {
    QImage rgb = Picture(w, h, false);
    std::vector<unsigned char> pixels;
    for (int y = 0; y < h; y++)
        pixels.insert(pixels.end(), rgb.constScanLine(y), rgb.constScanLine(y) + w * 3);
    std::vector<unsigned char> jpeg = EncodeTestJpeg(pixels.data(), w, h, TJSAMP_420, 90);
    return orientation ? WithSegment(jpeg, ExifSegment(true, {{0x0112, orientation}})) : jpeg;
}

inline int FileCount(const std::string &folder) {
    int n = 0;
    for (auto &entry : std::filesystem::recursive_directory_iterator(folder))
        n += entry.is_regular_file();
    return n;
}

// The saver's drafts in a folder (hidden, ".tintwell-...part").
inline int DraftCount(const std::string &folder) {
    int n = 0;
    std::error_code error;
    for (auto &entry : std::filesystem::directory_iterator(folder, error)) {
        std::string name = entry.path().filename().string();
        n += name.rfind(".tintwell-", 0) == 0 && name.size() > 15 &&
             name.substr(name.size() - 5) == ".part";
    }
    return n;
}

// Starts a program with `words` as its arguments, its output and
// errors into `log`; 0 when it cannot be started.
inline pid_t Spawn(std::vector<std::string> words, const std::string &log) {
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t child = 0;
    if (posix_spawn(&child, words[0].c_str(), &actions, nullptr, argv.data(), environ) != 0)
        child = 0;
    posix_spawn_file_actions_destroy(&actions);
    return child;
}
