#include "toolkit_fixture.h"

TEST(Clipboard, TextGoesInAndComesBack) {
    StartTestToolkit();
    const String stops = u"!dd 0xFF000000 0xFF0000FF 0x0 0x0 0x0 0x0 0x0 0x0 0xFFFFFFFF";
    EXPECT_EQ(PutClipboardText(stops), 1);
    EXPECT_EQ(ClipboardText(), stops);
    EXPECT_EQ(PutClipboardText(u"Ünïcødé ·"), 1);
    EXPECT_EQ(ClipboardText(), u"Ünïcødé ·");
}
