// The preview window through the real main window: Control+P, drops of real
// picture files, re-toning on a click, the layout of small and large pictures,
// and the cases where the old picture must stay.
#include "app/commands.h"
#include "app/handlers.h"
#include "app/preview_window.h"
#include "app/worker_state.h"
#include "app_harness.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/images.h"
#include "runtime/ui/requesters.h"
#include "tests/support/test_jpeg.h"

#include <QColorSpace>
#include <QImage>
#include <QScrollArea>
#include <filesystem>
#include <fstream>

namespace {

QWidget *PreviewWidget() {
    return reinterpret_cast<QWidget *>(WindowPlatformHandle(WindowPreview));
}

QScrollArea *PreviewScroll() {
    return static_cast<QScrollArea *>(WidgetOf(GadgetPreviewScroll));
}

bool BarsShown(Qt::Orientation orientation) {
    Qt::ScrollBarPolicy policy = orientation == Qt::Horizontal
                                     ? PreviewScroll()->horizontalScrollBarPolicy()
                                     : PreviewScroll()->verticalScrollBarPolicy();
    return policy != Qt::ScrollBarAlwaysOff;
}

// R, G, B of a PreviewImage pixel as 0xBBGGRR.
uint32_t PreviewPixel(int x, int y) {
    if (!OpenDrawTarget(ImageTarget(PreviewImage))) return 0xFFFFFFFFu;
    const unsigned char *p = TargetPixels() + y * TargetPitch() + x * 4;
    uint32_t colour = p[0] | p[1] << 8 | p[2] << 16;
    CloseDrawTarget();
    return colour;
}

void ChoosePreset(int row) {
    SetGadgetState(GadgetPresetList, row);
    PresetListHandler();
}

void DropOnPreview(const std::string &path) {
    ASSERT_EQ(DeliverFileDrop(WindowPreview, -1, StringFromUtf8(path), 5, 5), 1);
    PumpEvents();
}

void OpenFreshPreview() {
    EnsureMainWindow();
    if (WindowExists(WindowPreview)) {
        PreviewWidget()->close();
        PumpEvents();
    }
    SetGadgetText(GadgetMaxWidth, u"8192");
    SetGadgetText(GadgetMaxHeight, u"8192");
    ChoosePreset(0); // "Gray"
    PressControlKey(Qt::Key_P);
    ASSERT_EQ(WindowExists(WindowPreview), 1);
}

} // namespace

TEST(Preview, OpensWithTheSunCentredAndLargePicturesScroll) {
    OpenFreshPreview();
    EXPECT_EQ(WindowCaption(WindowPreview), u"Tintwell - Preview");
    EXPECT_EQ(WindowInnerWidth(WindowPreview), 300);
    EXPECT_EQ(WindowInnerHeight(WindowPreview), 200);
    EXPECT_EQ(ImagePixelWidth(PreviewImage), 96);
    EXPECT_EQ(ImagePixelHeight(PreviewImage), 96);
    EXPECT_EQ(GadgetX(GadgetPreviewScroll), 102);
    EXPECT_EQ(GadgetY(GadgetPreviewScroll), 52);
    EXPECT_EQ(GadgetWidth(GadgetPreviewScroll), 96);
    EXPECT_EQ(GadgetHeight(GadgetPreviewScroll), 96);
    EXPECT_FALSE(BarsShown(Qt::Horizontal));
    EXPECT_FALSE(BarsShown(Qt::Vertical));
    EXPECT_EQ(GadgetWidth(GadgetPreviewImage), 96);
    // No frame: every pixel of the sun is in view.
    EXPECT_EQ(PreviewScroll()->viewport()->size(), QSize(96, 96));

    // 4000 x 3000 at full size fills the window with both bars.
    TempFolder in("tintwell-preview");
    QImage big(4000, 3000, QImage::Format_RGB888);
    big.fill(QColor(90, 140, 200));
    ASSERT_TRUE(big.save(QString::fromStdString(in.path + "big.png")));
    DropOnPreview(in.path + "big.png");
    EXPECT_EQ(ImagePixelWidth(PreviewImage), 4000);
    EXPECT_EQ(ImagePixelHeight(PreviewImage), 3000);
    EXPECT_EQ(GetGadgetAttribute(GadgetPreviewScroll, ScrollAttributeInnerWidth), 4000);
    EXPECT_EQ(GetGadgetAttribute(GadgetPreviewScroll, ScrollAttributeInnerHeight), 3000);
    EXPECT_EQ(GadgetX(GadgetPreviewScroll), 0);
    EXPECT_EQ(GadgetWidth(GadgetPreviewScroll), 300);
    EXPECT_EQ(GadgetHeight(GadgetPreviewScroll), 200);
    EXPECT_TRUE(BarsShown(Qt::Horizontal));
    EXPECT_TRUE(BarsShown(Qt::Vertical));

    // Within "Max size" 1000 x 1000 it arrives as 1000 x 750.
    SetGadgetText(GadgetMaxWidth, u"1000");
    SetGadgetText(GadgetMaxHeight, u"1000");
    DropOnPreview(in.path + "big.png");
    EXPECT_EQ(ImagePixelWidth(PreviewImage), 1000);
    EXPECT_EQ(ImagePixelHeight(PreviewImage), 750);

    // A window larger than the picture: centred, bars off again.
    ResizeAppWindow(WindowPreview, 1200, 900);
    PumpEvents();
    EXPECT_EQ(GadgetX(GadgetPreviewScroll), 100);
    EXPECT_EQ(GadgetY(GadgetPreviewScroll), 75);
    EXPECT_FALSE(BarsShown(Qt::Horizontal));

    // Closing frees the picture and the luminance.
    PreviewWidget()->close();
    PumpEvents();
    EXPECT_EQ(WindowExists(WindowPreview), 0);
    EXPECT_EQ(PreviewImage, 0);
    EXPECT_EQ(PreviewLuminance, nullptr);
}

TEST(Preview, OrientationSixIsShownUprightWithItsOwnScrollSize) {
    OpenFreshPreview();
    TempFolder in("tintwell-preview");
    // Stored 400 x 300 with a white band in the top 40 rows; upright 300 x 400
    // with the band down the right-hand side.
    std::vector<unsigned char> jpeg = TurnedBandJpeg(400, 300, 40);
    std::ofstream(in.path + "turned.jpg", std::ios::binary)
        .write(reinterpret_cast<char *>(jpeg.data()), std::streamsize(jpeg.size()));
    DropOnPreview(in.path + "turned.jpg");
    EXPECT_EQ(ImagePixelWidth(PreviewImage), 300);
    EXPECT_EQ(ImagePixelHeight(PreviewImage), 400);
    EXPECT_EQ(GetGadgetAttribute(GadgetPreviewScroll, ScrollAttributeInnerWidth), 300);
    EXPECT_EQ(GetGadgetAttribute(GadgetPreviewScroll, ScrollAttributeInnerHeight), 400);
    EXPECT_EQ(PreviewPixel(280, 200) & 0xFF, 0xFFu); // the band, toned white by "Gray"
    EXPECT_EQ(PreviewPixel(20, 200) & 0xFF, 0u);
}

// An AVIF stored 512 x 256 with an irot of 90 degrees is shown upright.
TEST(Preview, AvifIsShownUpright) {
    const std::string avif =
        std::string(TINTWELL_TESTDATA) + "/formats/avif/abc_color_irot_alpha_irot.avif";
    if (!std::filesystem::exists(avif)) GTEST_SKIP() << "no " << avif;
    OpenFreshPreview();
    DropOnPreview(avif);
    EXPECT_EQ(ImagePixelWidth(PreviewImage), 256);
    EXPECT_EQ(ImagePixelHeight(PreviewImage), 512);
}

// A picture is shown in its own colours: a flat grey of level 128 under gamma
// 1.8 is the light of sRGB's level 146, which the Gray tone shows as 145..146
// (the conversion gives 146), where the same grey untagged shows as 128.
TEST(Preview, ShowsAPictureInItsOwnColours) {
    OpenFreshPreview();
    TempFolder in("tintwell-preview");
    QImage grey(64, 48, QImage::Format_RGB888);
    grey.fill(QColor(128, 128, 128));
    ASSERT_TRUE(grey.save(QString::fromStdString(in.path + "grey.png")));
    grey.setColorSpace(QColorSpace(QColorSpace::Primaries::SRgb, 1.8f));
    ASSERT_TRUE(grey.save(QString::fromStdString(in.path + "gamma18.png")));
    ChoosePreset(0);
    DropOnPreview(in.path + "grey.png");
    EXPECT_EQ(PreviewPixel(10, 10), 0x808080u);
    DropOnPreview(in.path + "gamma18.png");
    const uint32_t shown = PreviewPixel(10, 10);
    EXPECT_TRUE(shown == 0x929292u || shown == 0x919191u) << std::hex << shown;
}

TEST(Preview, RetonesOnAClickOnlyAndKeepsItsPictureOnFailures) {
    OpenFreshPreview();
    TempFolder in("tintwell-preview");
    QImage grey(64, 48, QImage::Format_RGB888);
    grey.fill(QColor(128, 128, 128));
    ASSERT_TRUE(grey.save(QString::fromStdString(in.path + "grey.png")));
    DropOnPreview(in.path + "grey.png");
    ASSERT_EQ(ImagePixelWidth(PreviewImage), 64);
    uint32_t gray = PreviewPixel(10, 10);

    // Another tone: nothing changes until the user clicks.
    ChoosePreset(15);
    PumpEvents();
    EXPECT_EQ(PreviewPixel(10, 10), gray);
    // A click on the window background re-tones with the new tone.
    QWidget *content =
        PreviewWidget()->childAt(2, 2) ? PreviewWidget()->childAt(2, 2) : PreviewWidget();
    QTest::mouseClick(content, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    PumpEvents();
    uint32_t toned = PreviewPixel(10, 10);
    EXPECT_NE(toned, gray);
    // Back to "Gray" and a click on the main window's sample: the first colour again.
    ChoosePreset(0);
    ClickCanvas(GadgetSample, 100, 100);
    EXPECT_EQ(PreviewPixel(10, 10), gray);

    // A file that no loader reads changes nothing, without a message.
    std::ofstream(in.path + "notes.txt") << "text";
    int64_t shown = PreviewImage;
    ClearRequesterAnswers();
    DropOnPreview(in.path + "notes.txt");
    EXPECT_EQ(PreviewImage, shown);
    EXPECT_EQ(LastRequesterTitle(), u"");

    // No memory for the luminance: the new picture is dropped, the old one stays.
    QImage other(200, 100, QImage::Format_RGB888);
    other.fill(Qt::white);
    ASSERT_TRUE(other.save(QString::fromStdString(in.path + "other.png")));
    ResizePreviewBuffer = [](void *, size_t) -> void * { return nullptr; };
    DropOnPreview(in.path + "other.png");
    ResizePreviewBuffer = std::realloc;
    EXPECT_EQ(PreviewImage, shown);
    EXPECT_EQ(ImagePixelWidth(PreviewImage), 64);
    EXPECT_EQ(PreviewPixel(10, 10), gray);

    // A drop during a conversion is refused with the message.
    ConversionActive = 1;
    QueueRequesterAnswer(0, u"");
    DropOnPreview(in.path + "other.png");
    ConversionActive = 0;
    EXPECT_EQ(LastRequesterTitle(), u"Processing");
    EXPECT_EQ(LastRequesterText(), u"Sorry but you can't drop files while processing!");
    EXPECT_EQ(PreviewImage, shown);
    DropOnPreview(in.path + "other.png");
    EXPECT_EQ(ImagePixelWidth(PreviewImage), 200);
    // A drop on the scroll area counts as a drop on the window.
    ASSERT_EQ(DeliverFileDrop(WindowPreview, GadgetPreviewScroll,
                              StringFromUtf8(in.path + "grey.png"), 5, 5),
              1);
    PumpEvents();
    EXPECT_EQ(ImagePixelWidth(PreviewImage), 64);
}

TEST(Preview, StickyFollowsTheMainWindow) {
    OpenFreshPreview();
    EXPECT_EQ(WindowCaption(WindowPreview), u"Tintwell - Preview");
    PressControlKey(Qt::Key_S); // the main window floats
    ASSERT_EQ(MainWindowIsSticky(), 1);
    // Control+P again marks the open preview as well.
    PressControlKey(Qt::Key_P);
    EXPECT_EQ(WindowCaption(WindowPreview), u"\u00B7 Tintwell - Preview");
    // Control+S in the preview unmarks it; twice gives the title back.
    QTest::keyClick(PreviewWidget(), Qt::Key_S, Qt::ControlModifier);
    PumpEvents();
    EXPECT_EQ(WindowCaption(WindowPreview), u"Tintwell - Preview");
    PreviewWidget()->close();
    PumpEvents();
    // Opened while the main window floats, it floats from the start.
    PressControlKey(Qt::Key_P);
    EXPECT_EQ(WindowCaption(WindowPreview), u"\u00B7 Tintwell - Preview");
    EXPECT_TRUE(PreviewWidget()->windowFlags() & Qt::WindowStaysOnTopHint);
    PressControlKey(Qt::Key_S);
    EXPECT_EQ(MainWindowIsSticky(), 0);
    PreviewWidget()->close();
    PumpEvents();
}
