// The full-size preview window (WindowPreview): one picture, toned with the tone
// in force, in a scroll area. Its luminance is kept, so re-toning after a tone
// change is one table pass. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

// The picture shown (an image number), 0 while the window is closed.
extern int64_t PreviewImage;
// One luminance value per pixel slot of PreviewImage; nullptr while closed.
extern uint16_t *PreviewLuminance;
// How the luminance buffer is resized (realloc), replaced by tests that need it
// to fail.
extern void *(*ResizePreviewBuffer)(void *block, size_t bytes);

// Opens the preview window with the built-in picture at 96 x 96, or brings the
// open one forward (floating too when the main window floats).
void OpenPreview();
// A file drop on the preview window: that picture, upright and toned, becomes the
// preview. Refused while a conversion runs; the old picture stays when the new
// one cannot be loaded or its buffers cannot be made.
void LoadPreviewImage();
// Re-tones the preview with the tone in force (a click into the preview window
// or on the main window's sample).
void RefreshPreview();
// The size handler: a picture smaller than the window sits centred without
// scroll bars, a larger one fills the window and scrolls.
void LayoutPreview();
// After the preview window closed: frees its picture and luminance buffer.
void ReleasePreviewPicture();
