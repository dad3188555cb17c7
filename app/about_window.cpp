#include "app/about_window.h"

// The About window arrives with the help and About feature.
void OpenAboutWindow() {}
