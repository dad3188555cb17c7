#include "tone/stop_text.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tone/presets.h"

namespace {

int Questions = 0;
int AnswerYes() {
    return ++Questions, 1;
}
int AnswerNo() {
    return ++Questions, 0;
}

String Text(const char *ascii) {
    return String(ascii, ascii + std::strlen(ascii));
}

struct Snapshot {
    GradientStop stops[StopCount];
    Snapshot() { std::memcpy(stops, CurrentStops, sizeof stops); }
    bool Unchanged() const { return std::memcmp(stops, CurrentStops, sizeof stops) == 0; }
};

} // namespace

TEST(StopText, CopyOfGray) {
    ChoosePreset(0);
    const String text = CopyStopsAsText();
    EXPECT_EQ(text, Text("!dd 0xff000000,0x00000000,0x00000000,0x00000000,0x00000000,"
                         "0x00000000,0x00000000,0x00000000,0xffffffff"));
    EXPECT_EQ(text.size(), 102u);

    ChoosePreset(4); // "Blue": stop 4 is 6090FF, written A, B, G, R in lower case
    EXPECT_EQ(CopyStopsAsText().substr(4 + 4 * 11, 10), Text("0xffff9060"));
}

TEST(StopText, PasteRoundTripsACopy) {
    ChoosePreset(11);
    const String text = CopyStopsAsText();
    Snapshot heat;
    ChoosePreset(0);
    Questions = 0;
    EXPECT_EQ(PasteStopsFromText(text, AnswerYes), 1);
    EXPECT_EQ(Questions, 1);
    EXPECT_TRUE(heat.Unchanged());
}

TEST(StopText, PasteNeedsExactlyNineMarkers) {
    ChoosePreset(0);
    const Snapshot gray;
    const char *eight = "!dd 0xff000000,0x1,0x2,0x3,0x4,0x5,0x6,0xffffffff";
    const char *ten = "!dd 0xff000000,0x1,0x2,0x3,0x4,0x5,0x6,0x7,0x8,0xffffffff";
    Questions = 0;
    EXPECT_EQ(PasteStopsFromText(Text(eight), AnswerYes), 0);
    EXPECT_EQ(PasteStopsFromText(Text(ten), AnswerYes), 0);
    EXPECT_EQ(PasteStopsFromText(String(), AnswerYes), 0);
    EXPECT_EQ(Questions, 0) << "a wrong count asks nothing";
    EXPECT_TRUE(gray.Unchanged());

    const char *nine = "!dd 0xff0000ff,0x1,0x2,0x3,0x4,0x5,0x6,0x7,0xffffffff";
    EXPECT_EQ(PasteStopsFromText(Text(nine), AnswerNo), 0);
    EXPECT_EQ(Questions, 1);
    EXPECT_TRUE(gray.Unchanged()) << "answering No changes nothing";
}

TEST(StopText, PasteReadsEachPiece) {
    ChoosePreset(0);
    // Leading text is ignored, case does not matter, a piece may have fewer digits
    // or none, digits stop at the first non-digit or after eight, and the A byte is
    // kept as written.
    const char *text = "junk 0xFF00AbCd,0x7f,0x, 0x12x34,0x123456789,0xg1,"
                       "0x8000000A;0x0000ff000x10";
    EXPECT_EQ(PasteStopsFromText(Text(text), AnswerYes), 1);
    const GradientStop expected[StopCount] = {0xFF00ABCD, 0x7F,       0,          0x12, 0x12345678,
                                              0,          0x8000000A, 0x0000FF00, 0x10};
    for (int k = 0; k < StopCount; k++) EXPECT_EQ(CurrentStops[k], expected[k]) << "stop " << k;
}
