#include "app/settings.h"

// Reading the settings file arrives with the settings feature.
void LoadSettings() {}

// Writing the settings file arrives with the settings feature.
void SaveSettings() {}
