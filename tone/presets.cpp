#include "tone/presets.h"

namespace {

// A listed stop colour written as 0xRRGGBB, opaque.
constexpr GradientStop Rgb(uint32_t rrggbb) {
    return OpaqueBlack | ((rrggbb & 0xFF) << 16) | (rrggbb & 0xFF00) | ((rrggbb >> 16) & 0xFF);
}
constexpr GradientStop None = 0; // an unset stop

constexpr TonePreset Preset(const char *name, GradientStop s0, GradientStop s1, GradientStop s2,
                            GradientStop s3, GradientStop s4, GradientStop s5, GradientStop s6,
                            GradientStop s7, GradientStop s8) {
    TonePreset preset = {};
    int i = 0;
    for (; i < PresetNameBytes && name[i]; i++) preset.name[i] = name[i];
    for (; i < PresetNameBytes; i++) preset.name[i] = ' ';
    const GradientStop stops[StopCount] = {s0, s1, s2, s3, s4, s5, s6, s7, s8};
    for (int k = 0; k < StopCount; k++) preset.stops[k] = stops[k];
    return preset;
}

constexpr TonePreset Separator() {
    return Preset("-", None, None, None, None, None, None, None, None, None);
}

constexpr TonePreset UserSlot(char digit) {
    const char name[] = {'U', 's', 'e', 'r', ' ', 'p', 'r', 'e', 's', 'e', 't', ' ', digit, 0};
    return Preset(name, None, None, None, None, None, None, None, None, None);
}

} // namespace

PresetRows PresetTable = {
    {
        // clang-format off
    Preset("Gray",                 Rgb(0x000000), None, None, None, None, None, None, None, Rgb(0xFFFFFF)),
    Separator(),
    Preset("Autumn",               Rgb(0x000000), None, Rgb(0x990000), None, Rgb(0x998D00), None, Rgb(0xFFC655), None, Rgb(0xFFFFFF)),
    Preset("Black & white",        Rgb(0x000000), None, None, Rgb(0x000000), None, Rgb(0xFFFFFF), None, None, Rgb(0xFFFFFF)),
    Preset("Blue",                 Rgb(0x000000), None, None, None, Rgb(0x6090FF), None, None, Rgb(0x80FFFF), Rgb(0xFFFFFF)),
    Preset("Blue magenta",         Rgb(0x000080), None, None, None, Rgb(0xFF80FF), None, None, None, Rgb(0xFFFFFF)),
    Preset("Deep green",           Rgb(0x000000), None, None, None, Rgb(0x008D00), None, None, None, Rgb(0xFFFFFF)),
    Preset("Earth tones",          Rgb(0x000000), Rgb(0x002820), None, None, None, Rgb(0xA08C78), None, None, Rgb(0xFFFFFF)),
    Preset("Faded red",            Rgb(0x000000), None, None, None, Rgb(0xB46478), None, None, None, Rgb(0xFFFFFF)),
    Preset("Gray (high contrast)", Rgb(0x000000), Rgb(0x101010), Rgb(0x202020), Rgb(0x404040), None, Rgb(0xC0C0C0), Rgb(0xE0E0E0), Rgb(0xF0F0F0), Rgb(0xFFFFFF)),
    Preset("Gray (low contrast)",  Rgb(0x000000), Rgb(0x404040), None, None, None, None, None, Rgb(0xC0C0C0), Rgb(0xFFFFFF)),
    Preset("Heat camera",          Rgb(0x000000), Rgb(0x0000FF), Rgb(0x0080E0), Rgb(0x00FF00), Rgb(0xFFFF00), Rgb(0xFFD000), None, Rgb(0xFF0000), Rgb(0xFFFFFF)),
    Preset("Ice",                  Rgb(0x000000), None, None, None, Rgb(0x66C6FF), None, Rgb(0xCCFFFF), None, Rgb(0xFFFFFF)),
    Preset("Inverted gray",        Rgb(0xFFFFFF), None, None, None, None, None, None, None, Rgb(0x000000)),
    Preset("Lavender",             Rgb(0x330000), None, Rgb(0x81096B), None, Rgb(0x9971FF), None, None, Rgb(0xF8DFC9), Rgb(0xFFFFFF)),
    Preset("Mystery",              Rgb(0x000000), None, None, Rgb(0x9900AA), None, None, Rgb(0x66E2AA), None, Rgb(0xFFFFFF)),
    Preset("Ocean",                Rgb(0x000000), None, Rgb(0x115211), None, Rgb(0x1E8FAD), None, Rgb(0x99CBD6), None, Rgb(0xFFFFFF)),
    Preset("Sepia old",            Rgb(0x704214), Rgb(0x704214), None, None, None, None, None, Rgb(0xFFFCF0), Rgb(0xFFFCF0)),
    Preset("Sepia modern",         Rgb(0x000000), None, Rgb(0x704214), None, None, None, None, None, Rgb(0xFFFFFF)),
    Preset("Sepia silver",         Rgb(0x000000), None, Rgb(0x704214), None, None, None, Rgb(0xB8C8C8), None, Rgb(0xFFFFFF)),
    Preset("Summer",               Rgb(0x330000), None, Rgb(0x995500), None, Rgb(0xFF8D55), None, None, Rgb(0xFFFFAA), Rgb(0xFFFFFF)),
    Preset("Touch of pink",        Rgb(0x000000), None, None, Rgb(0x67636E), None, None, Rgb(0xEAADB9), None, Rgb(0xFFFFFF)),
    Preset("Warm brown",           Rgb(0x000000), None, Rgb(0x660000), None, None, None, Rgb(0xFFC655), None, Rgb(0xFFFFFF)),
    Preset("Warm gray",            Rgb(0x000000), Rgb(0x321E09), None, None, None, None, None, None, Rgb(0xFFFFFF)),
    Separator(),
    UserSlot('1'), UserSlot('2'), UserSlot('3'), UserSlot('4'),
    UserSlot('5'), UserSlot('6'), UserSlot('7'), UserSlot('8'),
        // clang-format on
    },
    {0, 0, 0, 0}};

// A run starts with "Gray"; start-up chooses row 0 again once the list is filled.
GradientStop CurrentStops[StopCount] = {OpaqueBlack, 0, 0, 0, 0, 0, 0, 0, OpaqueWhite};
int SelectedStop = 0;

String PresetName(int row) {
    if (row < 0 || row >= PresetRowCount) return String();
    const char *name = PresetTable.rows[row].name;
    String text(PresetNameBytes, u' ');
    for (int i = 0; i < PresetNameBytes; i++) text[i] = char16_t(uint8_t(name[i]));
    return text;
}

int ChoosePreset(int row) {
    if (row < 0 || row >= PresetRowCount) return 0;
    for (int k = 0; k < StopCount; k++) CurrentStops[k] = PresetTable.rows[row].stops[k];
    BuildColourTable(CurrentStops);
    return 1;
}

int StoreUserPreset(int n) {
    if (n < 1 || n > UserPresetCount) return 0;
    TonePreset &preset = PresetTable.rows[FirstUserPresetRow + n - 1];
    for (int k = 0; k < StopCount; k++) preset.stops[k] = CurrentStops[k];
    return 1;
}
