#include "app/preview_window.h"

// Opening the preview window arrives with the preview feature.
void OpenPreview() {}

// Loading a dropped preview picture arrives with the preview feature.
void LoadPreviewImage() {}

// Re-toning the preview arrives with the preview feature.
void RefreshPreview() {}

// Releasing the preview picture arrives with the preview feature.
void ReleasePreviewPicture() {}
