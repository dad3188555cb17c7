// What the streamed-conversion tests share: a status sink that records what it
// is told and keeps the thumbnail, and a fixture with an input and an output
// folder, the savers' clock fixed and the stop request cleared around each test.
#pragma once

#include "convert/conversion_status.h"
#include "convert/output_name.h"
#include "convert/stop_flag.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/dates.h"
#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#include "tests/support/temp_folder.h"
#include "tone/colour_table.h"
#include "tone/jpeg_handles.h"
#include "tone/luma_tables.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

struct StatusRecorder {
    std::vector<int> statuses;
    int64_t thumbnail = 0;
    bool stopAtThumbnail = false; // asks for the stop when the thumbnail comes

    static int Report(void *context, int status, int64_t, int64_t data) {
        auto *self = static_cast<StatusRecorder *>(context);
        self->statuses.push_back(status);
        if (status != StatusThumbnail) return 1;
        if (self->thumbnail) ReleaseImage(self->thumbnail);
        self->thumbnail = data;
        if (self->stopAtThumbnail) RequestStop();
        return 1;
    }
    StatusSink Sink() { return {Report, this, 1}; }
    ~StatusRecorder() {
        if (thumbnail) ReleaseImage(thumbnail);
    }
};

// An opaque stop colour from R, G, B.
inline GradientStop StopColour(int r, int g, int b) {
    return 0xFF000000u | uint32_t(b) << 16 | uint32_t(g) << 8 | uint32_t(r);
}

// What converting needs: the runtimes, the JPEG handles, the luminance tables
// and the colour table of `stops`.
inline void StartConverting(const GradientStop (&stops)[StopCount]) {
    StartBaseRuntime();
    StartImageRuntime();
    ASSERT_EQ(StartJpegHandles(), 1);
    BuildLumaTables();
    BuildColourTable(stops);
}

class StreamConversionTest : public ::testing::Test {
  protected:
    using Bytes = std::vector<unsigned char>;

    static int64_t FixedClock() { return CurrentDate(2026, 12, 9, 10, 0, 0); }

    void SetUp() override {
        SaveClock = FixedClock;
        ClearStopRequest();
        ASSERT_FALSE(in.path.empty());
        ASSERT_FALSE(out.path.empty());
    }
    void TearDown() override { ClearStopRequest(); }

    // Writes a file into the input folder and answers its path.
    String Put(const std::string &name, const Bytes &bytes) {
        std::ofstream(in.path + name, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        return StringFromUtf8(in.path + name);
    }
    // Reads and removes a file of the output folder.
    Bytes Take(const std::string &name) {
        Bytes bytes = out.Read(name);
        std::filesystem::remove(out.path + name);
        return bytes;
    }

    TempFolder in{"tintwell-stream-in"}, out{"tintwell-stream-out"};
};
