#include "app/input_collection.h"

// Starting a conversion from dropped files arrives with the conversion feature.
void StartConversion() {}

// Loading a dropped sample picture arrives with the conversion feature.
void LoadSampleImage() {}

// Choosing the output folder arrives with the conversion feature.
void ChooseOutputFolder() {}
