#include "app/settings.h"

#include "app/startup.h"
#include "app/window_numbers.h"
#include "runtime/base/bin_file.h"
#include "runtime/base/numbers.h"
#include "runtime/base/paths.h"
#include "runtime/ui/toolkit.h"
#include "tone/presets.h"

#include <algorithm>
#include <cstring>

namespace {

// "GT10" read as a little-endian 32-bit value.
constexpr int32_t SettingsMagic = 0x30315447;
constexpr size_t PresetRecordBytes = sizeof(TonePreset);
constexpr size_t UserPresetBytes = PresetRecordBytes * UserPresetCount; // 480

String SettingsPath() {
    return DataFolder + u"Tintwell.dat";
}

// The file is written beside the old one under this name, then renamed over it.
String SettingsDraftPath() {
    return DataFolder + u"Tintwell.dat.new";
}

unsigned char *UserPresetBlock() {
    return reinterpret_cast<unsigned char *>(&PresetTable.rows[FirstUserPresetRow]);
}

// 1 when the next four bytes were there; *value is then their little-endian value.
int ReadFullInt32(int64_t file, int32_t *value) {
    unsigned char bytes[4];
    if (ReadBytes(file, bytes, 4) != 4) return 0;
    *value = int32_t(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                     uint32_t(bytes[3]) << 24);
    return 1;
}

// A size field's number as the file stores it: 32 bits, so a longer number is
// held at the nearest value that fits rather than wrapped.
int32_t FieldNumber(int64_t gadget) {
    return int32_t(std::clamp<int64_t>(ParseInteger(GetGadgetText(gadget)), INT32_MIN, INT32_MAX));
}

// 1 when the file at the settings path may be replaced: there is none, or it is
// empty, or it starts with the magic. A file of another kind, a folder, or a file
// that cannot be read (so its kind is unknown) is left alone.
int MayReplaceSettingsFile() {
    int64_t size = PathSize(SettingsPath());
    if (size == PathMissing) return 1;
    if (size < 0) return 0;
    int64_t file = OpenBinFileForReading(-1, SettingsPath());
    if (!file) return 0;
    int32_t magic = 0;
    int ours = size == 0 || (ReadFullInt32(file, &magic) && magic == SettingsMagic);
    CloseBinFile(file);
    return ours;
}

} // namespace

void LoadSettings() {
    int64_t file = OpenBinFileForReading(-1, SettingsPath());
    if (!file) return;
    int32_t value = 0;
    if (!ReadFullInt32(file, &value) || value != SettingsMagic) {
        CloseBinFile(file);
        return;
    }
    // A file cut short keeps the start-up values for whatever lies past its end.
    if (ReadFullInt32(file, &value)) SetGadgetText(GadgetMaxWidth, FormatInteger(value));
    if (ReadFullInt32(file, &value)) SetGadgetText(GadgetMaxHeight, FormatInteger(value));
    if (ReadFullInt32(file, &value) && (value == 0 || value == 1))
        SetGadgetState(GadgetQuality, value);
    // Only whole records are taken, so no preset is left half old, half new.
    unsigned char block[UserPresetBytes];
    int64_t got = ReadBytes(file, block, int64_t(UserPresetBytes));
    size_t whole = size_t(std::max<int64_t>(got, 0)) / PresetRecordBytes * PresetRecordBytes;
    std::memcpy(UserPresetBlock(), block, whole);
    CloseBinFile(file);
}

void SaveSettings() {
    if (DataFolder.empty() || !MayReplaceSettingsFile()) return;
    // The new contents go to a draft file that is synced to disk and then renamed
    // over the old file in one step: a crash, a full disk or a kill part-way
    // leaves the old file as it was, never a torn one.
    String draft = SettingsDraftPath();
    RemoveFile(draft); // left over from a run that ended during a save
    int64_t file = CreateBinFileExclusive(-1, draft);
    if (!file) return;
    bool ok = WriteInt32(file, SettingsMagic) == 4 &&
              WriteInt32(file, FieldNumber(GadgetMaxWidth)) == 4 &&
              WriteInt32(file, FieldNumber(GadgetMaxHeight)) == 4 &&
              WriteInt32(file, GetGadgetState(GadgetQuality)) == 4 &&
              WriteAllBytes(file, UserPresetBlock(), UserPresetBytes) && SyncBinFile(file);
    if (!CloseBinFile(file)) ok = false;
    if (!ok || !RenameFile(draft, SettingsPath())) RemoveFile(draft);
}
