// The settings file through the real main window: what quitting writes, what
// start-up reads back, and that the user's file survives every kind of failure.
#include "app/settings.h"

#include "app/handlers.h"
#include "app_harness.h"
#include "runtime/base/text.h"
#include "runtime/ui/requesters.h"
#include "tone/presets.h"

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>

namespace {

using Bytes = std::vector<unsigned char>;

std::string SettingsFile() {
    return Utf8Of(DataFolder) + "Tintwell.dat";
}

Bytes ReadSettings() {
    std::ifstream in(SettingsFile(), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteSettings(const Bytes &bytes) {
    std::ofstream(SettingsFile(), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

uint32_t Le32(const Bytes &b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

// The window as a first start leaves it, with no settings file.
void FreshStart() {
    EnsureMainWindow();
    std::filesystem::remove(SettingsFile());
    SetGadgetText(GadgetMaxWidth, u"8192");
    SetGadgetText(GadgetMaxHeight, u"8192");
    SetGadgetState(GadgetQuality, 1);
    for (int row = FirstUserPresetRow; row < FirstUserPresetRow + UserPresetCount; row++)
        std::memset(PresetTable.rows[row].stops, 0, sizeof PresetTable.rows[row].stops);
}

// The position of the first differing byte, or the shorter length when one is a
// prefix of the other, or -1 when both are equal.
long FirstDifference(const Bytes &a, const Bytes &b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; i++)
        if (a[i] != b[i]) return long(i);
    return a.size() == b.size() ? -1 : long(n);
}

// Draft files of this process's saves still in the data folder.
int DraftsLeft() {
    int drafts = 0;
    for (auto &entry : std::filesystem::directory_iterator(Utf8Of(DataFolder))) {
        std::string name = entry.path().filename().string();
        drafts += name.rfind("Tintwell.dat.", 0) == 0 && name != "Tintwell.dat.new";
    }
    return drafts;
}

} // namespace

TEST(Settings, FirstQuitWritesTheDefaults) {
    FreshStart();
    SaveSettings();
    Bytes file = ReadSettings();
    ASSERT_EQ(file.size(), 496u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "GT10");
    EXPECT_EQ(Le32(file, 4), 8192u);
    EXPECT_EQ(Le32(file, 8), 8192u);
    EXPECT_EQ(Le32(file, 12), 1u);
    for (int n = 0; n < 8; n++) {
        size_t record = 16 + size_t(n) * 60;
        std::string name(file.begin() + long(record), file.begin() + long(record) + 24);
        EXPECT_EQ(name, "User preset " + std::to_string(n + 1) + std::string(11, ' '));
        for (size_t i = record + 24; i < record + 60; i++) ASSERT_EQ(file[i], 0) << "byte " << i;
    }
    EXPECT_EQ(DraftsLeft(), 0);
}

TEST(Settings, StoredUserPresetIsOnDiskAtOnceAndComesBackAtStart) {
    FreshStart();
    SetGadgetText(GadgetMaxWidth, u"1200");
    SetGadgetState(GadgetQuality, 0);
    SetGadgetState(GadgetPresetList, 17); // a built-in tone with several stops
    PresetListHandler();
    GradientStop stored[StopCount];
    std::memcpy(stored, CurrentStops, sizeof stored);
    ClearRequesterAnswers();
    QueueRequesterAnswer(AnswerYes, u"");
    PressControlKey(Qt::Key_2);
    ASSERT_EQ(QueuedRequesterAnswers(), 0);

    // No quit has happened: the file holds the preset already.
    Bytes file = ReadSettings();
    ASSERT_EQ(file.size(), 496u);
    EXPECT_EQ(Bytes(file.begin() + 4, file.begin() + 8), (Bytes{0xB0, 0x04, 0x00, 0x00}));
    EXPECT_EQ(Bytes(file.begin() + 12, file.begin() + 16), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(std::memcmp(file.data() + 100, stored, sizeof stored), 0);

    // The next start reads it all back (the fields and the user preset row).
    SetGadgetText(GadgetMaxWidth, u"8192");
    SetGadgetState(GadgetQuality, 1);
    std::memset(PresetTable.rows[26].stops, 0, sizeof stored);
    LoadSettings();
    EXPECT_EQ(GetGadgetText(GadgetMaxWidth), u"1200");
    EXPECT_EQ(GetGadgetText(GadgetMaxHeight), u"8192");
    EXPECT_EQ(GetGadgetState(GadgetQuality), 0);
    EXPECT_EQ(std::memcmp(PresetTable.rows[26].stops, stored, sizeof stored), 0);
    EXPECT_EQ(PresetName(26).substr(0, 13), u"User preset 2");

    // An empty size field is stored as 0 and shown as "0".
    SetGadgetText(GadgetMaxHeight, u"");
    SaveSettings();
    EXPECT_EQ(Le32(ReadSettings(), 8), 0u);
    SetGadgetText(GadgetMaxHeight, u"8192");
    LoadSettings();
    EXPECT_EQ(GetGadgetText(GadgetMaxHeight), u"0");
}

TEST(Settings, LongShortAndForeignFiles) {
    FreshStart();
    // A longer file of ours is cut to 496 bytes.
    SaveSettings();
    Bytes file = ReadSettings();
    file.resize(600, 0x5A);
    WriteSettings(file);
    SaveSettings();
    EXPECT_EQ(ReadSettings().size(), 496u);

    // A file cut after the width: the width is read, the rest keeps its values.
    WriteSettings({'G', 'T', '1', '0', 0x20, 0x03, 0, 0, 0x10});
    SetGadgetText(GadgetMaxHeight, u"777");
    LoadSettings();
    EXPECT_EQ(GetGadgetText(GadgetMaxWidth), u"800");
    EXPECT_EQ(GetGadgetText(GadgetMaxHeight), u"777");
    EXPECT_EQ(GetGadgetState(GadgetQuality), 1);

    // A quality other than 0 or 1 keeps "High"; half a preset record is not taken.
    FreshStart();
    SaveSettings();
    file = ReadSettings();
    file[12] = 7;
    file[16 + 24] = 0x11; // first stop of user preset 1
    file.resize(16 + 30);
    WriteSettings(file);
    LoadSettings();
    EXPECT_EQ(GetGadgetState(GadgetQuality), 1);
    EXPECT_EQ(PresetTable.rows[FirstUserPresetRow].stops[0], 0u);

    // A file of another kind is neither read nor replaced.
    Bytes foreign = {'P', 'K', 3, 4, 0x50, 0, 0, 0, 9, 9, 9};
    WriteSettings(foreign);
    SetGadgetText(GadgetMaxWidth, u"1234");
    LoadSettings();
    EXPECT_EQ(GetGadgetText(GadgetMaxWidth), u"1234");
    SaveSettings();
    EXPECT_EQ(FirstDifference(ReadSettings(), foreign), -1);
}

TEST(Settings, FailedWriteLeavesTheOldFileWhole) {
    FreshStart();
    SetGadgetText(GadgetMaxWidth, u"640");
    SaveSettings();
    Bytes before = ReadSettings();
    ASSERT_EQ(before.size(), 496u);

    // A file size limit below 496 bytes: the write comes up short part-way.
    SetGadgetText(GadgetMaxWidth, u"2000");
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    SaveSettings();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    EXPECT_EQ(FirstDifference(ReadSettings(), before), -1);
    EXPECT_EQ(DraftsLeft(), 0);

    // A file under a draft-like name that is not this process's is left alone,
    // and the save goes ahead.
    std::ofstream(SettingsFile() + ".new") << "someone else's";
    SaveSettings();
    EXPECT_EQ(Le32(ReadSettings(), 4), 2000u);
    EXPECT_TRUE(std::filesystem::exists(SettingsFile() + ".new"));
    std::filesystem::remove(SettingsFile() + ".new");
    EXPECT_EQ(DraftsLeft(), 0);

    // A folder under the name is left alone.
    std::filesystem::remove(SettingsFile());
    std::filesystem::create_directory(SettingsFile());
    SaveSettings();
    EXPECT_TRUE(std::filesystem::is_directory(SettingsFile()));
    std::filesystem::remove(SettingsFile());
}
