// A developer tool, not part of the program: builds the main window exactly as
// start-up does, optionally chooses a preset by name, lets the window settle and
// saves the window's own rendering as a PNG. scripts/screenshot runs it on a
// virtual X display.
#include "app/event_loop.h"
#include "app/handlers.h"
#include "app/startup.h"
#include "app/window_numbers.h"
#include "runtime/base/text.h"
#include "runtime/ui/toolkit.h"
#include "tone/presets.h"

#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <chrono>
#include <cstdio>

namespace {

void SettleFor(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        int code = WaitForEventFor(20);
        if (code) DispatchEvent(code);
    }
}

int RowNamed(const String &name) {
    for (int row = 0; row < PresetRowCount; row++) {
        String text = PresetName(row);
        size_t end = text.find_last_not_of(u' ');
        if (end != String::npos && text.substr(0, end + 1) == name) return row;
    }
    return -1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s output.png [preset name]\n", argv[0]);
        return 2;
    }
    // Start-up moves into the program's folder, so the output path is fixed first.
    QString output = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    if (!BuildMainWindow(argc, argv)) return 1;
    if (argc > 2) {
        int row = RowNamed(StringFromUtf8(argv[2]));
        if (row < 0) {
            std::fprintf(stderr, "no preset named %s\n", argv[2]);
            EndRuntime();
            return 2;
        }
        SetGadgetState(GadgetPresetList, row);
        PresetListHandler();
    }
    SettleFor(700);
    auto *window = reinterpret_cast<QWidget *>(WindowPlatformHandle(WindowMain));
    bool saved = window->grab().toImage().save(output, "PNG");
    EndRuntime();
    if (!saved) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
