// Numbered gadgets (controls) inside windows: creation of each kind, the current
// gadget list, and the operations on gadgets.
//
// Gadget numbers are global, not per window: 0 and up are chosen by the program,
// -1 asks for an assigned number. Creation places the gadget into the current
// gadget list (the content of the most recently opened window, or the inside of
// the most recent container or scroll area until EndContainer) at x, y relative
// to that list, and answers the gadget's platform widget (QWidget*) for a static
// number, the assigned number for -1, 0 on failure (no current list, bad number).
// Operations on a number that names no gadget do nothing and answer 0 or an empty
// string. Programmatic changes (SetGadgetText, SetGadgetState, ...) never raise
// gadget events; only the user's actions do. The exception is the keyboard focus:
// FocusControl and hiding a focused gadget move it, and focus events 0x100 and
// 0x200 follow wherever it goes. Main thread only.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

// Gadget kind codes (GadgetKind).
constexpr int GadgetKindButton = 1;
constexpr int GadgetKindString = 2;
constexpr int GadgetKindText = 3;
constexpr int GadgetKindListView = 6;
constexpr int GadgetKindComboBox = 8;
constexpr int GadgetKindImage = 9;
constexpr int GadgetKindContainer = 11;
constexpr int GadgetKindScrollArea = 16;
constexpr int GadgetKindEditor = 22;
constexpr int GadgetKindSpin = 26;
constexpr int GadgetKindCanvas = 33;

// StringGadget flags.
constexpr int64_t StringFlagPassword = 0x01;
constexpr int64_t StringFlagReadOnly = 0x02;
constexpr int64_t StringFlagUpperCase = 0x04;
constexpr int64_t StringFlagLowerCase = 0x08;
constexpr int64_t StringFlagNumeric = 0x10; // digits only
constexpr int64_t StringFlagBorderless = 0x20;
// TextGadget flags.
constexpr int64_t TextFlagRight = 0x01;
constexpr int64_t TextFlagCentre = 0x02;
constexpr int64_t TextFlagBorder = 0x04;
// ImageGadget flags.
constexpr int64_t ImageFlagFrame = 0x01; // grooved frame around the picture
// ContainerGadget flags (0: no border).
constexpr int64_t ContainerFlagBorder = 0x01;
// ComboBoxGadget flags.
constexpr int64_t ComboFlagEditable = 0x01;
// EditorGadget flags.
constexpr int64_t EditorFlagReadOnly = 0x01;
constexpr int64_t EditorFlagWordWrap = 0x02;
// SpinGadget flags.
constexpr int64_t SpinFlagNotEditable = 0x04; // the arrows work, typing does not
// CanvasGadget flags.
constexpr int64_t CanvasFlagBorder = 0x01; // light grey one-pixel frame around the drawing area

// SetGadgetColor colour kinds.
constexpr int GadgetColourFront = 1; // text
constexpr int GadgetColourBack = 2;  // background

// GetGadgetAttribute / SetGadgetAttribute attributes, by kind.
constexpr int CanvasAttributeMouseX = 2; // pointer position in the drawing area of the
constexpr int CanvasAttributeMouseY = 3; // current (else the latest) canvas event
constexpr int CanvasAttributeWidth = 4;  // size of the canvas bitmap
constexpr int CanvasAttributeHeight = 5;
constexpr int ScrollAttributeInnerWidth = 1;
constexpr int ScrollAttributeInnerHeight = 2;
constexpr int ScrollAttributeX = 3; // scroll position
constexpr int ScrollAttributeY = 4;
constexpr int ScrollAttributeStep = 5;
constexpr int SpinAttributeMinimum = 1;
constexpr int SpinAttributeMaximum = 2;
constexpr int StringAttributeMaxLength = 1; // 0: no limit

// Creation. Texts are the initial contents; `image` is a platform image handle
// (ImagePlatformHandle of runtime/image, a QImage*) or 0 for none; the picture
// is copied, so the image may be freed or changed afterwards.
int64_t ButtonGadget(int64_t gadget, int x, int y, int width, int height, const String &text);
int64_t StringGadget(int64_t gadget, int x, int y, int width, int height, const String &text,
                     int64_t flags);
int64_t TextGadget(int64_t gadget, int x, int y, int width, int height, const String &text,
                   int64_t flags);
int64_t ImageGadget(int64_t gadget, int x, int y, int width, int height, int64_t image,
                    int64_t flags);
int64_t ContainerGadget(int64_t gadget, int x, int y, int width, int height, int64_t flags);
int64_t ComboBoxGadget(int64_t gadget, int x, int y, int width, int height, int64_t flags);
int64_t ListViewGadget(int64_t gadget, int x, int y, int width, int height, int64_t flags);
// The editor's platform widget is a QTextEdit, so rich text can be loaded into it.
int64_t EditorGadget(int64_t gadget, int x, int y, int width, int height, int64_t flags);
int64_t SpinGadget(int64_t gadget, int x, int y, int width, int height, int minimum, int maximum,
                   int64_t flags);
int64_t ScrollAreaGadget(int64_t gadget, int x, int y, int width, int height, int innerWidth,
                         int innerHeight, int step, int64_t flags);
// The canvas owns a CanvasBitmap (runtime/image) the size of its drawing area,
// which the drawing targets of the image runtime find through the gadget number.
int64_t CanvasGadget(int64_t gadget, int x, int y, int width, int height, int64_t flags);

// Closes the most recent container or scroll area as the current gadget list.
void EndContainer();

// Frees a gadget (and the gadgets inside a container or scroll area).
void FreeGadget(int64_t gadget);

int IsGadget(int64_t gadget);
int GadgetKind(int64_t gadget);
int64_t ControlPlatformHandle(int64_t gadget); // the gadget's QWidget*
int GadgetX(int64_t gadget);                   // geometry inside its gadget list
int GadgetY(int64_t gadget);
int GadgetWidth(int64_t gadget);
int GadgetHeight(int64_t gadget);

// Text: button and text label caption; string contents; combo box edit text or
// selected item; list view selected row; whole editor text; spin field text as
// typed (also when outside the range).
String GetGadgetText(int64_t gadget);
void SetGadgetText(int64_t gadget, const String &text);

// State: combo box and list view selected item (-1 none); spin value; image
// gadget: SetGadgetState(image handle or 0) shows another picture (copied).
int64_t GetGadgetState(int64_t gadget);
void SetGadgetState(int64_t gadget, int64_t state);

// Items of combo boxes, list views and editors (an editor item is a line).
// position -1 appends.
void AddGadgetItem(int64_t gadget, int position, const String &text);
void SetGadgetItemText(int64_t gadget, int item, const String &text);
String GetGadgetItemText(int64_t gadget, int item);
int CountGadgetItems(int64_t gadget);
void ClearGadgetItems(int64_t gadget);

int64_t GetGadgetAttribute(int64_t gadget, int attribute);
void SetGadgetAttribute(int64_t gadget, int attribute, int64_t value);

// Colour 0xBBGGRR, or -1 for the default of that kind.
void SetGadgetColor(int64_t gadget, int colourKind, int64_t colour);

void DisableGadget(int64_t gadget, int state);
void HideGadget(int64_t gadget, int state);
int IsGadgetHidden(int64_t gadget); // 1 when hidden by HideGadget

// KeepValue (-65535) keeps a coordinate. A canvas keeps the overlapping part of
// its bitmap.
void ResizeGadget(int64_t gadget, int x, int y, int width, int height);

// Gives the gadget the keyboard focus; -1 (or a gadget that takes no focus, such
// as a container) leaves no text field focused in that window.
void FocusControl(int64_t gadget);

// Platform settings the application changes on single gadgets.
void StopControlDrops(int64_t gadget);  // the gadget no longer takes drops
void ScrollEditorToEnd(int64_t gadget); // makes the end of the editor text visible
// A scroll area's bars: 1 shown when needed, 0 never shown.
void SetScrollAreaBars(int64_t gadget, int horizontal, int vertical);
// The size at which an image gadget shows its picture (scaled smoothly); 0 x 0
// returns to the picture's own size.
void SetImageGadgetDisplaySize(int64_t gadget, int width, int height);
