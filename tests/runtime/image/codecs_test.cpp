#include "runtime/image/codecs.h"

#include "runtime/base/text.h"
#include "runtime/image/image_runtime.h"
#include "runtime/image/images.h"
#ifdef TINTWELL_HAVE_RESOURCES
#include "resources/pictures.h"
#include "tests/support/byte_compare.h"
#include "tests/support/image_pixels.h"
#include "tests/support/temp_folder.h"
#endif

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

void StartCodecs() {
    StartImageRuntime();
    RegisterPngCodec();
}

// Three pixels that show how alpha is treated: opaque, transparent, half.
int64_t AlphaSamples(int64_t depth) {
    int64_t image = NewImage(-1, 3, 2, depth);
    SetPixel(image, 0, 0, {10, 20, 30, 255});
    SetPixel(image, 1, 0, {10, 20, 30, 0});
    SetPixel(image, 2, 0, {10, 20, 30, 128});
    return image;
}

} // namespace

TEST(Codecs, TwentyFourBitSaveCompositesOverWhite) {
    StartCodecs();
    TempFolder folder{"tintwell-codecs"};
    int64_t image = AlphaSamples(24);
    String name = folder.In("rgb.png");
    ASSERT_NE(EncodeImageFile(image, name, FormatPng), 0);
    Bytes file = ReadFileBytes(Utf8Of(name));
    ASSERT_GT(file.size(), 26u);
    EXPECT_EQ(file[24], 8); // bit depth
    EXPECT_EQ(file[25], 2); // colour type RGB
    int64_t back = DecodeImageFromMemory(-1, file.data(), int64_t(file.size()));
    ASSERT_NE(back, 0);
    EXPECT_EQ(ImageBitDepth(back, -2), 24);
    EXPECT_EQ(PixelOf(back, 0, 0), (std::array{10, 20, 30, 255}));
    EXPECT_EQ(PixelOf(back, 1, 0), (std::array{255, 255, 255, 255}));
    // c' = trunc((c * 128 + 127 * 255) / 255)
    EXPECT_EQ(PixelOf(back, 2, 0),
              (std::array{(10 * 128 + 127 * 255) / 255, (20 * 128 + 127 * 255) / 255,
                          (30 * 128 + 127 * 255) / 255, 255}));
    // Depth given explicitly overrides the source depth.
    String forced = folder.In("forced.png");
    ASSERT_NE(EncodeImageFile(image, forced, FormatPng, 7, 32), 0);
    EXPECT_EQ(ReadFileBytes(Utf8Of(forced))[25], 6);
    ReleaseImage(back);
    ReleaseImage(image);
}

TEST(Codecs, ThirtyTwoBitSaveKeepsAlphaAsStored) {
    StartCodecs();
    TempFolder folder{"tintwell-codecs"};
    int64_t image = AlphaSamples(32);
    String name = folder.In("rgba.png");
    ASSERT_NE(EncodeImageFile(image, name, FormatPng), 0);
    Bytes file = ReadFileBytes(Utf8Of(name));
    EXPECT_EQ(file[25], 6); // colour type RGB + alpha
    int64_t back = DecodeImageFromMemory(-1, file.data(), int64_t(file.size()));
    ASSERT_NE(back, 0);
    EXPECT_EQ(ImageBitDepth(back, -2), 32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(PixelOf(back, x, y), PixelOf(image, x, y));
    ReleaseImage(back);
    ReleaseImage(image);
}

TEST(Codecs, FailedSavesLeaveNoFile) {
    StartCodecs();
    TempFolder folder{"tintwell-codecs"};
    int64_t image = AlphaSamples(32);
    String name = folder.In("none.png");
    // Unknown format: nothing on disk.
    EXPECT_EQ(EncodeImageFile(image, name, 0x474946), 0);
    EXPECT_FALSE(fs::exists(folder.path + "none.png"));
    // No image, empty name.
    EXPECT_EQ(EncodeImageFile(image + 8, name, FormatPng), 0);
    EXPECT_EQ(EncodeImageFile(image, String(), FormatPng), 0);
    EXPECT_FALSE(fs::exists(folder.path + "none.png"));
    // A folder that does not exist.
    EXPECT_EQ(EncodeImageFile(image, folder.In("missing/x.png"), FormatPng), 0);
    // A libpng error after the file was created (a zero height is refused by
    // the header writer) deletes the partial file.
    const ImageEncoder *png = FindImageEncoder(FormatPng);
    ASSERT_NE(png, nullptr);
    const unsigned char pixel[4] = {1, 2, 3, 4};
    String broken = folder.In("broken.png");
    EXPECT_EQ(png->write32(broken, pixel, 1, 0, 4, 0, 7, 32), 0);
    EXPECT_FALSE(fs::exists(folder.path + "broken.png"));
    EXPECT_EQ(png->write24(broken, pixel, 0, 1, 4, 0, 7, 24), 0);
    EXPECT_FALSE(fs::exists(folder.path + "broken.png"));
    ReleaseImage(image);
}

TEST(Codecs, BmpEntryClaimsBmpDataOnlyAndDecodesNothing) {
    StartCodecs();
    const ImageDecoder *bmp = FindImageDecoder(FormatBmp);
    ASSERT_NE(bmp, nullptr);
    auto accepts = [bmp](const Bytes &data) {
        DecodeState state{};
        state.address = state.cursor = data.data();
        state.end = data.data() + data.size();
        int answer = bmp->check(&state);
        bmp->release(&state);
        return answer;
    };
    Bytes header = {'B', 'M', 0x46, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0};
    EXPECT_EQ(accepts(header), 1);
    Bytes reserved = header;
    reserved[7] = 1;
    EXPECT_EQ(accepts(reserved), 0);
    EXPECT_EQ(accepts(Bytes{'B', 'M', 0, 0}), 0);
    const Bytes signature = {137, 80, 78, 71, 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H'};
    EXPECT_EQ(accepts(signature), 0);
    EXPECT_EQ(DecodeImageFromMemory(-1, header.data(), int64_t(header.size())), 0);
    EXPECT_EQ(DecodeImageFromMemory(-1, header.data(), 0), 0);
    EXPECT_EQ(DecodeImageFromMemory(-1, nullptr, 10), 0);
}

TEST(Codecs, DecodeIntoAStaticNumberReplacesTheOldImage) {
    StartCodecs();
    TempFolder folder{"tintwell-codecs"};
    int64_t image = AlphaSamples(32);
    String name = folder.In("static.png");
    ASSERT_NE(EncodeImageFile(image, name, FormatPng), 0);
    Bytes file = ReadFileBytes(Utf8Of(name));
    ASSERT_NE(NewImage(5, 9, 9), 0);
    int64_t handle = DecodeImageFromMemory(5, file.data(), int64_t(file.size()));
    EXPECT_EQ(handle, ImagePlatformHandle(5));
    EXPECT_EQ(ImagePixelWidth(5), 3);
    EXPECT_EQ(LookupImage(5)->formatTag, FormatPng);
    ReleaseImage(5);
    ReleaseImage(image);
}

#ifdef TINTWELL_HAVE_RESOURCES
TEST(Codecs, BuiltInPicturesDecodeToTheirSizesAndDepths) {
    StartCodecs();
    // Width, height, source depth. The application icon is a palette picture
    // with a tRNS chunk, which decodes with an alpha channel: depth 32.
    const std::array<std::array<int, 3>, PictureCount> expected = {{{488, 16, 24},
                                                                    {256, 192, 24},
                                                                    {319, 25, 32},
                                                                    {24, 24, 32},
                                                                    {24, 24, 32},
                                                                    {192, 192, 32},
                                                                    {256, 192, 24}}};
    for (int number = 0; number < PictureCount; ++number) {
        EmbeddedData data = PictureData(number);
        ASSERT_NE(data.bytes, nullptr) << number;
        EXPECT_EQ(data.bytes[25], number == 5                                 ? 3
                                  : number == 2 || number == 3 || number == 4 ? 6
                                                                              : 2)
            << number;
        int64_t image = DecodeImageFromMemory(-1, data.bytes, int64_t(data.size));
        ASSERT_NE(image, 0) << number;
        EXPECT_EQ(ImagePixelWidth(image), expected[size_t(number)][0]) << number;
        EXPECT_EQ(ImagePixelHeight(image), expected[size_t(number)][1]) << number;
        EXPECT_EQ(ImageBitDepth(image, -2), expected[size_t(number)][2]) << number;
        ReleaseImage(image);
    }
}
#endif
