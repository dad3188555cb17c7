#include "app/settings.h"

#include "app/startup.h"
#include "app/window_numbers.h"
#include "convert/jpeg_quality.h"
#include "runtime/base/bin_file.h"
#include "runtime/base/numbers.h"
#include "runtime/base/paths.h"
#include "runtime/ui/toolkit.h"
#include "tone/presets.h"
#include "tone/settings_file.h"

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace {

constexpr size_t PresetRecordBytes = sizeof(TonePreset);
constexpr size_t UserPresetBytes = PresetRecordBytes * UserPresetCount; // 480

String SettingsPath() {
    return DataFolder + u"Tintwell.dat";
}

// The file is written beside the old one under a name of this process's own (so
// two windows saving at once cannot rename each other's drafts), then renamed
// over it.
String SettingsDraftPath() {
    return DataFolder + u"Tintwell.dat." + FormatInteger(int64_t(getpid())) + u".new";
}

unsigned char *UserPresetBlock() {
    return reinterpret_cast<unsigned char *>(&PresetTable.rows[FirstUserPresetRow]);
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
    StoredSettings stored;
    return size == 0 || ReadSettingsFile(SettingsPath(), &stored);
}

} // namespace

void LoadSettings() {
    StoredSettings stored;
    if (!ReadSettingsFile(SettingsPath(), &stored)) return;
    // A file cut short keeps the start-up values for whatever lies past its end;
    // only whole preset records are taken, so none is left half old, half new.
    if (stored.Fields > 0) SetGadgetText(GadgetMaxWidth, FormatInteger(stored.MaxWidth));
    if (stored.Fields > 1) SetGadgetText(GadgetMaxHeight, FormatInteger(stored.MaxHeight));
    if (stored.Fields > 2 && IsJpegQualityChoice(stored.Quality))
        SetGadgetState(GadgetQuality, stored.Quality);
    std::memcpy(UserPresetBlock(), stored.UserPresets,
                size_t(stored.PresetRecords) * PresetRecordBytes);
}

void SaveSettings() {
    if (DataFolder.empty() || !MayReplaceSettingsFile()) return;
    // The new contents go to a draft file that is synced to disk and then renamed
    // over the old file in one step: a crash, a full disk or a kill part-way
    // leaves the old file as it was, never a torn one.
    String draft = SettingsDraftPath();
    RemoveFile(draft); // left by an earlier run under the same process number
    int64_t file = CreateBinFileExclusive(-1, draft);
    if (!file) return;
    bool ok = WriteInt32(file, SettingsMagic) == 4 &&
              WriteInt32(file, FieldNumber(GadgetMaxWidth)) == 4 &&
              WriteInt32(file, FieldNumber(GadgetMaxHeight)) == 4 &&
              WriteInt32(file, GetGadgetState(GadgetQuality)) == 4 &&
              WriteAllBytes(file, UserPresetBlock(), UserPresetBytes) && SyncBinFile(file);
    if (!CloseBinFile(file)) ok = false;
    if (!ok || !RenameFile(draft, SettingsPath())) {
        RemoveFile(draft);
        return;
    }
    SyncFolder(DataFolder); // the rename itself reaches the disk
}
