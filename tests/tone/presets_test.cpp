#include "tone/presets.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace {

// The built-in rows as listed for users: name, then stops 0..8 as RRGGBB, "-" unset.
struct ListedRow {
    const char *name;
    const char *stops[9];
};

const ListedRow Listed[25] = {
    {"Gray", {"000000", "-", "-", "-", "-", "-", "-", "-", "FFFFFF"}},
    {"-", {"-", "-", "-", "-", "-", "-", "-", "-", "-"}},
    {"Autumn", {"000000", "-", "990000", "-", "998D00", "-", "FFC655", "-", "FFFFFF"}},
    {"Black & white", {"000000", "-", "-", "000000", "-", "FFFFFF", "-", "-", "FFFFFF"}},
    {"Blue", {"000000", "-", "-", "-", "6090FF", "-", "-", "80FFFF", "FFFFFF"}},
    {"Blue magenta", {"000080", "-", "-", "-", "FF80FF", "-", "-", "-", "FFFFFF"}},
    {"Deep green", {"000000", "-", "-", "-", "008D00", "-", "-", "-", "FFFFFF"}},
    {"Earth tones", {"000000", "002820", "-", "-", "-", "A08C78", "-", "-", "FFFFFF"}},
    {"Faded red", {"000000", "-", "-", "-", "B46478", "-", "-", "-", "FFFFFF"}},
    {"Gray (high contrast)",
     {"000000", "101010", "202020", "404040", "-", "C0C0C0", "E0E0E0", "F0F0F0", "FFFFFF"}},
    {"Gray (low contrast)", {"000000", "404040", "-", "-", "-", "-", "-", "C0C0C0", "FFFFFF"}},
    {"Heat camera",
     {"000000", "0000FF", "0080E0", "00FF00", "FFFF00", "FFD000", "-", "FF0000", "FFFFFF"}},
    {"Ice", {"000000", "-", "-", "-", "66C6FF", "-", "CCFFFF", "-", "FFFFFF"}},
    {"Inverted gray", {"FFFFFF", "-", "-", "-", "-", "-", "-", "-", "000000"}},
    {"Lavender", {"330000", "-", "81096B", "-", "9971FF", "-", "-", "F8DFC9", "FFFFFF"}},
    {"Mystery", {"000000", "-", "-", "9900AA", "-", "-", "66E2AA", "-", "FFFFFF"}},
    {"Ocean", {"000000", "-", "115211", "-", "1E8FAD", "-", "99CBD6", "-", "FFFFFF"}},
    {"Sepia old", {"704214", "704214", "-", "-", "-", "-", "-", "FFFCF0", "FFFCF0"}},
    {"Sepia modern", {"000000", "-", "704214", "-", "-", "-", "-", "-", "FFFFFF"}},
    {"Sepia silver", {"000000", "-", "704214", "-", "-", "-", "B8C8C8", "-", "FFFFFF"}},
    {"Summer", {"330000", "-", "995500", "-", "FF8D55", "-", "-", "FFFFAA", "FFFFFF"}},
    {"Touch of pink", {"000000", "-", "-", "67636E", "-", "-", "EAADB9", "-", "FFFFFF"}},
    {"Warm brown", {"000000", "-", "660000", "-", "-", "-", "FFC655", "-", "FFFFFF"}},
    {"Warm gray", {"000000", "321E09", "-", "-", "-", "-", "-", "-", "FFFFFF"}},
    {"-", {"-", "-", "-", "-", "-", "-", "-", "-", "-"}},
};

// The four record bytes R, G, B, A of a listed stop.
void ListedBytes(const char *listed, unsigned char bytes[4]) {
    if (listed[0] == '-') {
        std::memset(bytes, 0, 4);
        return;
    }
    const unsigned long rrggbb = std::stoul(listed, nullptr, 16);
    bytes[0] = (unsigned char)(rrggbb >> 16);
    bytes[1] = (unsigned char)(rrggbb >> 8);
    bytes[2] = (unsigned char)rrggbb;
    bytes[3] = 0xFF;
}

std::string Padded(const std::string &name) {
    return name + std::string(24 - name.size(), ' ');
}

std::string Ascii(const String &text) {
    return std::string(text.begin(), text.end());
}

const unsigned char *RecordBytes(int row) {
    return reinterpret_cast<const unsigned char *>(&PresetTable) + 60 * row;
}

} // namespace

TEST(Presets, TableIsOnePackedBlock) {
    EXPECT_EQ(sizeof(PresetTable), 1984u);
    EXPECT_EQ(offsetof(TonePreset, stops), 24u);
    const unsigned char *end = reinterpret_cast<const unsigned char *>(&PresetTable) + 33 * 60;
    for (int i = 0; i < 4; i++) EXPECT_EQ(end[i], 0) << "end byte " << i;
    // Listing stops at the first record whose name starts with 0: after all 33 rows.
    int listed = 0;
    while (RecordBytes(listed)[0] != 0) listed++;
    EXPECT_EQ(listed, 33);
}

TEST(Presets, BuiltInRowsByteForByte) {
    for (int row = 0; row < 25; row++) {
        const unsigned char *record = RecordBytes(row);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(record), 24), Padded(Listed[row].name))
            << "row " << row;
        for (int k = 0; k < 9; k++) {
            unsigned char expected[4];
            ListedBytes(Listed[row].stops[k], expected);
            EXPECT_EQ(std::memcmp(record + 24 + 4 * k, expected, 4), 0)
                << "row " << row << " stop " << k;
        }
    }
    EXPECT_EQ(PresetTable.rows[4].stops[4], 0xFFFF9060u); // "Blue" 6090FF as R + G*256 + ...
}

TEST(Presets, UserRowsAreNamedAndUnset) {
    for (int n = 1; n <= 8; n++) {
        const int row = 24 + n;
        EXPECT_EQ(Ascii(PresetName(row)), Padded("User preset " + std::to_string(n)));
        for (int k = 0; k < 9; k++) EXPECT_EQ(PresetTable.rows[row].stops[k], 0u) << row << k;
    }
}

TEST(Presets, NamesKeepTheirPadding) {
    EXPECT_EQ(Ascii(PresetName(0)), "Gray                    ");
    EXPECT_EQ(Ascii(PresetName(9)), "Gray (high contrast)    ");
    EXPECT_EQ(PresetName(24).size(), 24u);
    EXPECT_EQ(PresetName(33), String());
    EXPECT_EQ(PresetName(-1), String());
}

TEST(Presets, ChoosePresetCopiesStopsAndBuildsTheTable) {
    EXPECT_EQ(ChoosePreset(17), 1); // "Sepia old"
    for (int k = 0; k < 9; k++) EXPECT_EQ(CurrentStops[k], PresetTable.rows[17].stops[k]);
    EXPECT_EQ(ToneColourTable[100], 0x144270u);

    EXPECT_EQ(ChoosePreset(24), 1); // a separator: black to white
    for (int k = 0; k < 9; k++) EXPECT_EQ(CurrentStops[k], 0u);
    EXPECT_EQ(ToneColourTable[1024], 0x808080u);

    EXPECT_EQ(ChoosePreset(33), 0);
    EXPECT_EQ(ChoosePreset(-1), 0);
    EXPECT_EQ(ToneColourTable[1024], 0x808080u);
}

TEST(Presets, StoreUserPresetRoundTrip) {
    const TonePreset saved = PresetTable.rows[27];
    ChoosePreset(14); // "Lavender"
    CurrentStops[5] = 0xFF010203;
    GradientStop edited[9];
    std::memcpy(edited, CurrentStops, sizeof edited);

    EXPECT_EQ(StoreUserPreset(3), 1);
    EXPECT_EQ(std::memcmp(PresetTable.rows[27].stops, edited, sizeof edited), 0);
    EXPECT_EQ(Ascii(PresetName(27)), Padded("User preset 3"));
    EXPECT_EQ(PresetTable.rows[26].stops[0], 0u); // neighbours untouched
    EXPECT_EQ(PresetTable.rows[28].stops[0], 0u);

    ChoosePreset(0);
    EXPECT_EQ(ChoosePreset(27), 1);
    EXPECT_EQ(std::memcmp(CurrentStops, edited, sizeof edited), 0);

    const PresetRows before = PresetTable;
    EXPECT_EQ(StoreUserPreset(0), 0);
    EXPECT_EQ(StoreUserPreset(9), 0);
    EXPECT_EQ(std::memcmp(&before, &PresetTable, sizeof before), 0);
    PresetTable.rows[27] = saved;
}
