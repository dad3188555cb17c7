// A developer tool, not part of the program: builds the main window exactly as
// start-up does, optionally chooses a preset by name, lets the window settle and
// saves the window's own rendering as a PNG. With --conversion it converts a few
// pictures made from the built-in sample photograph and saves the window twice:
// during the run (STOP button, thumbnail, log lines) and after it (total time);
// --help-window and --preview save those windows instead.
// scripts/screenshot runs it on a virtual X display.
#include "app/about_window.h"
#include "app/event_loop.h"
#include "app/handlers.h"
#include "app/help_window.h"
#include "app/job_status.h"
#include "app/preview_window.h"
#include "app/startup.h"
#include "app/window_numbers.h"
#include "app/worker_state.h"
#include "convert/conversion_status.h"
#include "resources/pictures.h"
#include "runtime/base/text.h"
#include "runtime/ui/drops.h"
#include "runtime/ui/toolkit.h"
#include "tone/presets.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <string>

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

bool SaveWindow(const QString &output, int64_t number = WindowMain) {
    auto *window = reinterpret_cast<QWidget *>(WindowPlatformHandle(number));
    return window && window->grab().toImage().save(output, "PNG");
}

bool ShootAbout(const QString &output) {
    OpenAboutWindow();
    SettleFor(500);
    return SaveWindow(output, WindowAbout);
}

bool ShootHelp(const QString &output) {
    OpenHelpWindow();
    ResizeAppWindow(WindowHelp, 560, 520);
    SettleFor(500);
    return SaveWindow(output, WindowHelp);
}

// The sample photograph at twice its size, dropped on the preview window.
bool ShootPreview(const QString &output) {
    QTemporaryDir in;
    EmbeddedData sample = PictureData(1);
    QImage photo = QImage::fromData(sample.bytes, int(sample.size));
    if (!in.isValid() || photo.isNull()) return false;
    // Without the grey ramp along its bottom, which belongs to the sample canvas.
    photo = photo.copy(0, 0, 256, 172)
                .scaled(640, 430, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QString path = QDir(in.path()).filePath("photograph.jpg");
    if (!photo.save(path, nullptr, 92)) return false;
    OpenPreview();
    ResizeAppWindow(WindowPreview, 560, 380);
    if (!DeliverFileDrop(WindowPreview, -1, path.toStdU16String(), 20, 20)) return false;
    SettleFor(500);
    return SaveWindow(output, WindowPreview);
}

// Six pictures of 1024 x 768 made from the sample photograph, converted into a
// temporary folder; the window is saved once the third is done and once the run
// has ended.
bool ShootConversion(const QString &during, const QString &after) {
    QTemporaryDir in, out;
    EmbeddedData sample = PictureData(1);
    QImage photo = QImage::fromData(sample.bytes, int(sample.size));
    if (!in.isValid() || !out.isValid() || photo.isNull()) return false;
    photo = photo.scaled(1024, 768, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QString list;
    const char *names[] = {"harbour.jpg", "market.jpg", "bridge.png",
                           "garden.jpg",  "street.jpg", "shore.jpg"};
    for (const char *name : names) {
        QString path = QDir(in.path()).filePath(name);
        if (!photo.save(path, nullptr, 92)) return false;
        list += (list.isEmpty() ? "" : "\n") + path;
    }
    SetGadgetText(GadgetOutputFolder, StringFromUtf8((out.path() + "/").toStdString()));
    if (!DeliverFileDrop(WindowMain, GadgetLog, list.toStdU16String(), 20, 20)) return false;
    bool shotDuring = false;
    int done = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    do {
        int code = WaitForEventFor(20);
        if (!code) continue;
        bool finished = code == EventJobStatus && EventWindowNumber() == StatusDone;
        DispatchEvent(code);
        if (finished && ++done == 3) shotDuring = SaveWindow(during);
    } while ((ConversionActive || !shotDuring) && std::chrono::steady_clock::now() < end);
    SettleFor(300);
    return shotDuring && !ConversionActive && SaveWindow(after);
}

} // namespace

int main(int argc, char **argv) {
    // Modes and how many output files each takes: the main window (one), a
    // conversion (during and after), the help window, the preview with a photograph.
    std::string mode = argc > 1 && argv[1][0] == '-' ? argv[1] : "";
    int outputs = mode == "--conversion" ? 2 : 1;
    int first = mode.empty() ? 1 : 2;
    bool known = mode.empty() || mode == "--conversion" || mode == "--help-window" ||
                 mode == "--about-window" || mode == "--preview";
    if (!known || argc < first + outputs) {
        std::fprintf(stderr, "usage: %s output.png [preset name]\n", argv[0]);
        std::fprintf(stderr, "       %s --conversion during.png after.png [preset name]\n",
                     argv[0]);
        std::fprintf(stderr, "       %s --help-window output.png\n", argv[0]);
        std::fprintf(stderr, "       %s --about-window output.png\n", argv[0]);
        std::fprintf(stderr, "       %s --preview output.png [preset name]\n", argv[0]);
        return 2;
    }
    // Start-up moves into the program's folder, so the output paths are fixed first.
    QString output = QFileInfo(QString::fromLocal8Bit(argv[first])).absoluteFilePath();
    QString after = outputs > 1
                        ? QFileInfo(QString::fromLocal8Bit(argv[first + 1])).absoluteFilePath()
                        : QString();
    int presetArgument = first + outputs;
    if (!BuildMainWindow(argc, argv)) return 1;
    if (argc > presetArgument) {
        int row = RowNamed(StringFromUtf8(argv[presetArgument]));
        if (row < 0) {
            std::fprintf(stderr, "no preset named %s\n", argv[presetArgument]);
            EndRuntime();
            return 2;
        }
        SetGadgetState(GadgetPresetList, row);
        PresetListHandler();
    }
    SettleFor(700);
    bool saved = mode == "--conversion"     ? ShootConversion(output, after)
                 : mode == "--help-window"  ? ShootHelp(output)
                 : mode == "--about-window" ? ShootAbout(output)
                 : mode == "--preview"      ? ShootPreview(output)
                                            : SaveWindow(output);
    EndRuntime();
    if (!saved) {
        std::fprintf(stderr, "could not take the picture(s)\n");
        return 1;
    }
    return 0;
}
