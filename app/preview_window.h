// The full-size preview window (WindowPreview). Main thread only.
#pragma once

// Opens the preview window (or brings it forward).
void OpenPreview();
// A file drop on the preview window: that picture becomes the preview.
void LoadPreviewImage();
// Re-tones the preview with the tone in force.
void RefreshPreview();
// After the preview window closed: frees its picture and luminance buffer.
void ReleasePreviewPicture();
