// The two JPEG qualities a user chooses between: the window's "Jpeg quality" box
// (item 0 "Medium", item 1 "High", the item number being what the settings file
// keeps) and tintwell-batch's --quality medium|high. Any thread.
#pragma once

#include <cstdint>

constexpr int JpegQualityMedium = 80;
constexpr int JpegQualityHigh = 95;

constexpr int JpegChoiceMedium = 0;
constexpr int JpegChoiceHigh = 1;

// Whether a stored item number is one of the two.
constexpr bool IsJpegQualityChoice(int64_t choice) {
    return choice == JpegChoiceMedium || choice == JpegChoiceHigh;
}

// The quality an item number stands for: Medium for its own item, High for any
// other (the box with nothing chosen included).
constexpr int JpegQualityOfChoice(int64_t choice) {
    return choice == JpegChoiceMedium ? JpegQualityMedium : JpegQualityHigh;
}
