#include "tone/settings_file.h"

#include "runtime/base/bin_file.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"

#include <cstdlib>
#include <cstring>

namespace {

// 1 when the next four bytes were there; *value is then their little-endian value.
int ReadFullInt32(int64_t file, int32_t *value) {
    unsigned char bytes[4];
    if (ReadBytes(file, bytes, 4) != 4) return 0;
    *value = int32_t(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                     uint32_t(bytes[3]) << 24);
    return 1;
}

} // namespace

String SettingsFolderPath() {
    String base;
    const char *xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') {
        base = StringFromUtf8(xdg);
        if (base.back() != u'/') base += u'/';
    } else {
        String home = HomeFolder();
        if (home.empty()) return String();
        base = home + u".local/share/";
    }
    return base + u"Quillcraft/Tintwell/";
}

int ReadSettingsFile(const String &path, StoredSettings *settings) {
    int64_t file = OpenBinFileForReading(-1, path);
    if (!file) return 0;
    int32_t magic = 0;
    if (!ReadFullInt32(file, &magic) || magic != SettingsMagic) {
        CloseBinFile(file);
        return 0;
    }
    *settings = StoredSettings{};
    int32_t *fields[] = {&settings->MaxWidth, &settings->MaxHeight, &settings->Quality};
    while (settings->Fields < 3 && ReadFullInt32(file, fields[settings->Fields]))
        settings->Fields++;
    if (settings->Fields == 3) {
        int64_t got = ReadBytes(file, settings->UserPresets, sizeof settings->UserPresets);
        settings->PresetRecords = int(got > 0 ? got / int64_t(sizeof(TonePreset)) : 0);
    }
    CloseBinFile(file);
    return 1;
}
