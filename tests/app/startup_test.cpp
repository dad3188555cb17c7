#include "app/startup.h"

#include "app/colour_panel.h"
#include "app_harness.h"
#include "runtime/base/text.h"
#include "runtime/image/images.h"

#include <sys/stat.h>

namespace {

int FolderMode(const std::string &path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return -1;
    return int(info.st_mode & 07777);
}

} // namespace

TEST(StartUp, DataFolderCreatedOwnerOnly) {
    EnsureMainWindow();
    std::string base = TestDataHome();
    EXPECT_EQ(Utf8Of(DataFolder), base + "/Quillcraft/Tintwell/");
    EXPECT_EQ(FolderMode(base + "/Quillcraft"), 0700);
    EXPECT_EQ(FolderMode(base + "/Quillcraft/Tintwell"), 0700);
}

TEST(StartUp, DataFolderMadeOneFolderAtATime) {
    EnsureMainWindow();
    // A data home that does not exist yet: every missing folder on the way is made.
    std::string base = TestDataHome() + "/fresh/share";
    setenv("XDG_DATA_HOME", base.c_str(), 1);
    PrepareDataFolder();
    EXPECT_EQ(Utf8Of(DataFolder), base + "/Quillcraft/Tintwell/");
    EXPECT_EQ(FolderMode(TestDataHome() + "/fresh"), 0700);
    EXPECT_EQ(FolderMode(base + "/Quillcraft/Tintwell"), 0700);

    setenv("XDG_DATA_HOME", TestDataHome().c_str(), 1);
    PrepareDataFolder();
    EXPECT_EQ(Utf8Of(DataFolder), TestDataHome() + "/Quillcraft/Tintwell/");
}

TEST(StartUp, InterfacePicturesCaughtAndSampleTaken) {
    EnsureMainWindow();
    const int64_t sizes[][3] = {{ImageSliderStrip, 488, 16},
                                {ImageDropBanner, 319, 25},
                                {ImageHelpIcon, 24, 24},
                                {ImageInfoIcon, 24, 24},
                                {ImageAppIcon, 192, 192}};
    for (const auto &size : sizes) {
        EXPECT_TRUE(ImageExists(size[0])) << "image " << size[0];
        EXPECT_EQ(ImagePixelWidth(size[0]), size[1]) << "image " << size[0];
        EXPECT_EQ(ImagePixelHeight(size[0]), size[2]) << "image " << size[0];
    }
    // The sample picture lives only until its luminance is taken.
    EXPECT_FALSE(ImageExists(ImageSample));
    // Its bottom rows are a black-to-white ramp: luminance rises along them.
    const uint16_t *ramp = SampleLuminance + 180 * SampleWidth;
    EXPECT_LT(ramp[5], 100);
    EXPECT_GT(ramp[250], 1950);
    for (int x = 2; x < 254; x++) EXPECT_LE(ramp[x - 1], ramp[x]) << "column " << x;
    EXPECT_EQ(SampleLuminance[SampleLuminanceSlots - 1], 0);
}

TEST(StartUp, WindowShownWithTitleAndNoFieldFocused) {
    EnsureMainWindow();
    EXPECT_EQ(WindowCaption(WindowMain), u"Tintwell");
    EXPECT_TRUE(MainWindowWidget()->isVisible());
    QWidget *focus = QApplication::focusWidget();
    for (int64_t field : {GadgetMaxWidth, GadgetMaxHeight, GadgetRed, GadgetGreen, GadgetBlue}) {
        QWidget *widget = WidgetOf(field);
        EXPECT_FALSE(focus && (focus == widget || widget->isAncestorOf(focus)))
            << "gadget " << field;
    }
}

TEST(StartUp, FileDropsTakenByLogBannerAndSampleOnly) {
    EnsureMainWindow();
    PumpEvents();
    // No output folder is chosen yet, so the log and the banner answer with the
    // "Output folder" message (answered here without a person).
    SetGadgetText(GadgetOutputFolder, u"");
    for (int64_t gadget : {GadgetLog, GadgetDropBanner, GadgetSample}) {
        ClearRequesterAnswers();
        QueueRequesterAnswer(0, u"");
        EXPECT_EQ(DeliverFileDrop(WindowMain, gadget, u"/tmp/a.jpg\n/tmp/b.png", 5, 5), 1)
            << "gadget " << gadget;
        int code = PollEvent();
        ASSERT_EQ(code, EventGadgetDrop) << "gadget " << gadget;
        EXPECT_EQ(EventObject(), gadget);
        EXPECT_EQ(DroppedFileList(), u"/tmp/a.jpg\n/tmp/b.png");
        EXPECT_EQ(DispatchEvent(code), 1);
        EXPECT_EQ(LastRequesterTitle(), gadget == GadgetSample ? u"" : u"Output folder");
    }
    ClearRequesterAnswers();
    // Drops on the help and About buttons, or on the window itself, do nothing:
    // Qt offers a drag to the widget under the pointer and then to its parents,
    // so none of them up to the window may take drops.
    for (int64_t gadget : {GadgetHelpButton, GadgetAboutButton, GadgetColourPanel}) {
        EXPECT_EQ(DeliverFileDrop(WindowMain, gadget, u"/tmp/a.jpg", 5, 5), 0) << gadget;
        for (QWidget *w = WidgetOf(gadget); w; w = w->parentWidget())
            EXPECT_FALSE(w->acceptDrops()) << "gadget " << gadget << " or a parent takes drops";
    }
    EXPECT_EQ(DeliverFileDrop(WindowMain, -1, u"/tmp/a.jpg", 5, 5), 0);
    EXPECT_EQ(PumpEvents(), 0);
}
