// LoadSettings on any contents of the settings file, with the real main window
// built once (offscreen, its data folder in a fresh memory-backed folder through
// XDG_DATA_HOME). Before each input the window goes back to a known state; after
// it, what must hold: a file without the magic changes nothing; one with it sets
// each size field it holds whole, the quality when it is 0 or 1, and exactly the
// whole preset records it holds (a record cut short changes nothing).
#include "app/settings.h"
#include "app/startup.h"
#include "app/window_numbers.h"
#include "runtime/base/numbers.h"
#include "runtime/base/text.h"
#include "runtime/ui/gadgets.h"
#include "tests/fuzz/fuzz_support.h"
#include "tone/presets.h"
#include "tone/settings_file.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string FilePath;
constexpr size_t RecordBytes = sizeof(TonePreset);
// The size fields hold five digits; longer numbers are not shown as written.
constexpr int32_t LargestShownNumber = 99999;

unsigned char *UserPresetBlock() {
    return reinterpret_cast<unsigned char *>(&PresetTable.rows[FirstUserPresetRow]);
}

int32_t Le32(const uint8_t *p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                   uint32_t(p[3]) << 24);
}

// The window as a first start leaves it; the user presets get a pattern, so an
// untouched record can be told from one the file wrote.
void ResetWindow() {
    SetGadgetText(GadgetMaxWidth, u"8192");
    SetGadgetText(GadgetMaxHeight, u"8192");
    SetGadgetState(GadgetQuality, 1);
    unsigned char *block = UserPresetBlock();
    for (size_t i = 0; i < RecordBytes * UserPresetCount; i++) block[i] = (unsigned char)(i * 7);
}

void CheckSizeField(int64_t gadget, const uint8_t *data, size_t fields, size_t index) {
    const bool held = fields > index;
    const String text = GetGadgetText(gadget);
    if (!held) {
        FUZZ_CHECK(text == u"8192");
        return;
    }
    const int32_t value = Le32(data + 4 + 4 * index);
    if (value >= 0 && value <= LargestShownNumber) FUZZ_CHECK(text == FormatInteger(value));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    std::string home = FuzzScratchFolder();
    home.pop_back(); // no trailing "/"
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    FUZZ_CHECK(BuildMainWindow(0, nullptr) == 1);
    FUZZ_CHECK(!DataFolder.empty());
    FilePath = Utf8Of(DataFolder) + "Tintwell.dat";
    // The runtime ends as the program ends it, while Qt is still whole, so the
    // leak check at exit sees only real leaks.
    std::atexit(EndRuntime);
    // The first paint of the shown window happens here, before the runs: what
    // the font library keeps from it is allocated once, not during an input.
    QCoreApplication::processEvents();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ResetWindow();
    unsigned char before[RecordBytes * UserPresetCount];
    std::memcpy(before, UserPresetBlock(), sizeof before);
    WriteWholeFile(FilePath, data, size);
    LoadSettings();

    const bool magic = size >= 4 && Le32(data) == SettingsMagic;
    const size_t fields = magic ? std::min<size_t>(3, (size - 4) / 4) : 0;
    CheckSizeField(GadgetMaxWidth, data, fields, 0);
    CheckSizeField(GadgetMaxHeight, data, fields, 1);
    const int32_t quality = fields > 2 ? Le32(data + 12) : -1;
    FUZZ_CHECK(GetGadgetState(GadgetQuality) == (quality == 0 || quality == 1 ? quality : 1));

    const size_t records =
        fields == 3 ? std::min<size_t>(UserPresetCount, (size - 16) / RecordBytes) : 0;
    if (records > 0)
        FUZZ_CHECK(std::memcmp(UserPresetBlock(), data + 16, records * RecordBytes) == 0);
    FUZZ_CHECK(std::memcmp(UserPresetBlock() + records * RecordBytes,
                           before + records * RecordBytes,
                           (UserPresetCount - records) * RecordBytes) == 0);
    return 0;
}
