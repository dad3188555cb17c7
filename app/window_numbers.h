// The fixed numbers of the windows, main-window gadgets, compiled-in images,
// timers and menu items the application uses. Plain constants, any thread.
#pragma once

#include <cstdint>

// The program's shown name and its desktop entry (the .desktop file's name).
constexpr char16_t ProgramName[] = u"Tintwell";
constexpr char16_t DesktopEntryId[] = u"io.github.quillcraft.Tintwell";

// Windows.
constexpr int64_t WindowMain = 0;
constexpr int64_t WindowAbout = 1;
constexpr int64_t WindowHelp = 2;
constexpr int64_t WindowPreview = 3;

// Gadgets of WindowMain.
constexpr int64_t GadgetOutputPanel = 0;
constexpr int64_t GadgetColourPanel = 1;
constexpr int64_t GadgetLog = 2;
constexpr int64_t GadgetDropBanner = 3;
constexpr int64_t GadgetMaxWidth = 4;
constexpr int64_t GadgetMaxSizeLabel = 5;
constexpr int64_t GadgetMaxHeight = 6;
constexpr int64_t GadgetTimesLabel = 7;
constexpr int64_t GadgetQualityLabel = 8;
constexpr int64_t GadgetQuality = 9;
constexpr int64_t GadgetOutputLabel = 10;
constexpr int64_t GadgetOutputFolder = 11;
constexpr int64_t GadgetChooseFolder = 12;
constexpr int64_t GadgetSample = 13;
constexpr int64_t GadgetShiftSlider = 14;
constexpr int64_t GadgetColourField = 15;
constexpr int64_t GadgetRed = 16;
constexpr int64_t GadgetGreen = 17;
constexpr int64_t GadgetBlue = 18;
constexpr int64_t GadgetPresetList = 19;
constexpr int64_t GadgetStopStrip = 20;
constexpr int64_t GadgetStopButton = 21;
constexpr int64_t GadgetThumbnail = 22;
constexpr int64_t GadgetHelpButton = 23;
constexpr int64_t GadgetAboutButton = 24;
// Gadgets of the secondary windows.
constexpr int64_t GadgetAboutIcon = 25;
constexpr int64_t GadgetAboutText = 26;
constexpr int64_t GadgetHelpText = 27;
constexpr int64_t GadgetPreviewImage = 28;
constexpr int64_t GadgetPreviewScroll = 29;

// Images caught at start-up from the compiled-in pictures of the same number.
constexpr int64_t ImageSliderStrip = 0;
constexpr int64_t ImageSample = 1;
constexpr int64_t ImageDropBanner = 2;
constexpr int64_t ImageHelpIcon = 3;
constexpr int64_t ImageInfoIcon = 4;
constexpr int64_t ImageAppIcon = 5;
constexpr int InterfaceImageCount = 6;
// The compiled-in picture a dropped sample is drawn onto (into ImageSample).
constexpr int PictureSampleBackground = 6;

// The timer of WindowMain that redraws the sample while the slider is held.
constexpr int64_t TimerSlider = 30;
constexpr int SliderTimerPeriodMs = 100;

// Menu items and keyboard shortcut items of the main window.
constexpr int64_t ItemGrabColour = 95;
constexpr int64_t ItemGrabByBrightness = 96;
constexpr int64_t ItemToggleSticky = 97;
constexpr int64_t ItemPreview = 98;
constexpr int64_t ItemRandomColour = 99;
constexpr int64_t ItemFirstUserPreset = 100; // Control+1 .. Control+8: 100 .. 107
constexpr int64_t ItemLastUserPreset = 107;
constexpr int64_t ItemPasteStops = 108;
// Escape in the help, About and preview windows: closes the window it was pressed in.
constexpr int64_t ItemCloseWindow = 109;

// The main window's inner size at start and its minimum.
constexpr int MainWindowWidth = 740;
constexpr int MainWindowHeight = 464;
