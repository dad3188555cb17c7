#include "tone/stop_edits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tone/presets.h"

namespace {

void StartFromGray() {
    ChoosePreset(0);
    SelectStop(0);
}

} // namespace

TEST(StopEdits, SetStopColourWritesTheSelectedStopOpaque) {
    StartFromGray();
    SelectStop(5);
    SetStopColour(0x00123456);
    EXPECT_EQ(CurrentStops[5], 0xFF123456u);
    SetStopColour(0x7F654321); // whatever A is passed, the stop is opaque
    EXPECT_EQ(CurrentStops[5], 0xFF654321u);
    EXPECT_EQ(CurrentStops[4], 0u);
    EXPECT_EQ(CurrentStops[0], 0xFF000000u);
}

TEST(StopEdits, ClearStopUnsetsAndSelects) {
    StartFromGray();
    ClearStop(8);
    EXPECT_EQ(CurrentStops[8], 0u);
    EXPECT_EQ(SelectedStop, 8);
    ClearStop(9);
    ClearStop(-1);
    EXPECT_EQ(SelectedStop, 8);
    SelectStop(3);
    EXPECT_EQ(SelectedStop, 3);
    SelectStop(12);
    EXPECT_EQ(SelectedStop, 3);
    EXPECT_EQ(CurrentStops[0], 0xFF000000u);
}

TEST(StopEdits, PlaceColourByBrightness) {
    StartFromGray();
    SelectStop(2);
    EXPECT_DOUBLE_EQ(StopBrightness(0x0000FF), 14955.75); // pure red
    PlaceColourByBrightness(0xFFFFFF);                    // sqrt(65025) / 32 = 7.97
    EXPECT_EQ(CurrentStops[8], 0xFFFFFFFFu);
    PlaceColourByBrightness(0x000000);
    EXPECT_EQ(CurrentStops[0], 0xFF000000u);
    PlaceColourByBrightness(0x0000FF); // sqrt(14955.75) / 32 = 3.82
    EXPECT_EQ(CurrentStops[4], 0xFF0000FFu);
    PlaceColourByBrightness(0x00FF00); // 6.67
    EXPECT_EQ(CurrentStops[7], 0xFF00FF00u);
    PlaceColourByBrightness(0xFF0000); // 2.11
    EXPECT_EQ(CurrentStops[2], 0xFFFF0000u);
    EXPECT_EQ(SelectedStop, 2);
    EXPECT_EQ(CurrentStops[1], 0u);
}

TEST(StopEdits, RandomStopColourSuitsTheStop) {
    // Each call keeps the best of 32 random colours, so over many calls the typical
    // distance to the stop's target brightness (32 k)^2 is small. The bounds are
    // about twice the worst median seen over 2000 simulated runs of 51 calls; an
    // unselected random colour is typically 15000 or more away.
    const double bound[9] = {5500, 3100, 1500, 1500, 1500, 2400, 3000, 6200, 26000};
    for (int stop : {0, 1, 4, 7, 8}) {
        StartFromGray();
        SelectStop(stop);
        const double target = 1024.0 * stop * stop;
        std::vector<double> distances;
        for (int call = 0; call < 51; call++) {
            RandomStopColour();
            ASSERT_EQ(CurrentStops[stop] >> 24, 0xFFu);
            distances.push_back(std::fabs(StopBrightness(CurrentStops[stop]) - target));
        }
        std::nth_element(distances.begin(), distances.begin() + 25, distances.end());
        EXPECT_LT(distances[25], bound[stop]) << "stop " << stop;
        EXPECT_EQ(SelectedStop, stop);
        for (int k = 0; k < 9; k++)
            if (k != stop) {
                EXPECT_EQ(CurrentStops[k], PresetTable.rows[0].stops[k]) << k;
            }
    }
}
