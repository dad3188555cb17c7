#include "app/help_window.h"

// The help window arrives with the help and About feature.
void OpenHelpWindow() {}
