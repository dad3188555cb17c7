#include "app/startup.h"

#include "app/colour_panel.h"
#include "app/commands.h"
#include "app/event_loop.h"
#include "app/handlers.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/window_numbers.h"
#include "convert/jpeg_quality.h"
#include "resources/pictures.h"
#include "resources/version.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"
#include "runtime/image/codecs.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "runtime/ui/toolkit.h"
#include "tone/colour_table.h"
#include "tone/jpeg_handles.h"
#include "tone/luma_tables.h"
#include "tone/settings_file.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string_view>

String DataFolder;

int CatchInterfaceImage(int number) {
    EmbeddedData data = PictureData(number);
    if (!data.bytes) return 0;
    return DecodeImageFromMemory(number, data.bytes, int64_t(data.size)) != 0;
}

void PrepareDataFolder() {
    // Empty when no home is known: a relative data folder would land in the
    // program's own folder.
    DataFolder = SettingsFolderPath();
    if (DataFolder.empty()) return;
    // Each missing folder on the way is made on its own, so a fresh account
    // without ".local/share" still gets its data folder.
    for (size_t slash = DataFolder.find(u'/', 1); slash != String::npos;
         slash = DataFolder.find(u'/', slash + 1)) {
        String folder = DataFolder.substr(0, slash);
        if (PathSize(folder) == PathMissing) MakeFolder(folder);
    }
}

int BuildMainWindow(int argc, char **argv) {
    // A file size limit fails the one save that passes it (an error in the log)
    // instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // Runtime libraries: locale and strings, then windows, gadgets, events and
    // menus, then images, decoders and drawing. The program's folder becomes
    // the working directory.
    StartBaseRuntime();
    StartToolkit(argc, argv);
    EnterProgramFolder();
    StartImageRuntime();
    BuildLumaTables();

    // A black-to-white tone exists before any window does.
    BuildColourTable(nullptr);

    RegisterPngCodec();
    StartJpegHandles();

    for (int number = 0; number < InterfaceImageCount; number++) CatchInterfaceImage(number);
    // Before the first window: the X11 platform reads the name when it makes one.
    SetProgramIdentity(ProgramName, DesktopEntryId, ImagePlatformHandle(ImageAppIcon));
    CatchQuitSignals();
    std::fill(std::begin(SampleLuminance), std::end(SampleLuminance), uint16_t(0));
    PrepareDataFolder();

    // When the window cannot be opened, the gadget calls below act on nothing.
    OpenMainWindow();
    SetBusyMode(0);
    LayoutMainWindow();

    CreateWindowMenu(0, WindowPlatformHandle(WindowMain));
    AddMenuEntry(MenuItemAbout, u"About Tintwell");

    // Drops on the help and About buttons fall through to nothing.
    StopControlDrops(GadgetHelpButton);
    StopControlDrops(GadgetAboutButton);

    DrawColourField();
    FillPresetList();

    SetGadgetState(GadgetQuality, JpegChoiceHigh);
    SetGadgetState(GadgetPresetList, 0);
    PresetListHandler();

    AcceptControlDrops(GadgetSample, DropTypeFiles, DropActionCopy);
    AcceptControlDrops(GadgetLog, DropTypeFiles, DropActionCopy);
    AcceptControlDrops(GadgetDropBanner, DropTypeFiles, DropActionCopy);

    AddMainShortcuts();
    BindMainWindowHandlers();
    LoadSettings();
    BindWindowEvent(EventSizeWindow, LayoutMainWindow, WindowMain);

    SetWindowHidden(WindowMain, 0);
    ActivateWindow(WindowMain);
    // The colour panel takes the keyboard focus, so no text field starts with it.
    FocusControl(GadgetColourPanel);
    return WindowExists(WindowMain) ? 1 : 0;
}

void EndRuntime() {
    EndToolkit();
    EndJpegHandles();
    EndImageRuntime();
    EndBaseRuntime();
}

int AnswerCommandLine(int argc, char **argv, FILE *out) {
    if (argc != 2) return -1;
    std::string_view option = argv[1];
    if (option == "--version") {
        std::fprintf(out, "Tintwell %s\n", TintwellVersion);
    } else if (option == "--help") {
        std::fprintf(out, "Usage: tintwell [--help | --version]\n"
                          "Re-colours photographs by luminance with a gradient tone.\n"
                          "Started without options it opens its window: drop pictures or a folder\n"
                          "on it. For folders from the command line, see tintwell-batch(1).\n"
                          "\n"
                          "  --help     show this text and exit\n"
                          "  --version  show the version and exit\n");
    } else {
        return -1;
    }
    return std::fflush(out) == 0 && !std::ferror(out) ? 0 : 1;
}

int StartUp(int argc, char **argv) {
    int answered = AnswerCommandLine(argc, argv, stdout);
    if (answered >= 0) return answered;
    // Taken before the toolkit sees the arguments.
    const char *convertInto = std::getenv("TINTWELL_CONVERT_AND_QUIT");
    String pictures;
    for (int n = 1; convertInto && n < argc; n++)
        pictures += (n > 1 ? u"\n" : u"") + StringFromUtf8(argv[n]);
    // Without a main window there is nothing to wait for.
    if (!BuildMainWindow(argc, argv)) {
        EndRuntime();
        return 1;
    }
    if (convertInto && convertInto[0])
        ConvertDropAndQuit(StringFromUtf8(convertInto), pictures);
    else
        RunEventLoop();
    EndRuntime();
    return 0;
}
