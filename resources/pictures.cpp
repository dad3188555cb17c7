// The table from picture numbers to the arrays embed.cmake generates at build time.
#include "resources/pictures.h"

extern const unsigned char PictureSliderStrip[], PictureSample[], PictureDropBanner[],
    PictureHelpIcon[], PictureInfoIcon[], PictureAppIcon[], PictureSampleBackground[];
extern const size_t PictureSliderStripSize, PictureSampleSize, PictureDropBannerSize,
    PictureHelpIconSize, PictureInfoIconSize, PictureAppIconSize, PictureSampleBackgroundSize;

namespace {

// The sizes live in other translation units, so the table holds their addresses, which are
// constants at link time; the table needs no start-up code.
struct PictureEntry {
    const unsigned char *bytes;
    const size_t *size;
};

const PictureEntry Pictures[PictureCount] = {
    {PictureSliderStrip, &PictureSliderStripSize},
    {PictureSample, &PictureSampleSize},
    {PictureDropBanner, &PictureDropBannerSize},
    {PictureHelpIcon, &PictureHelpIconSize},
    {PictureInfoIcon, &PictureInfoIconSize},
    {PictureAppIcon, &PictureAppIconSize},
    {PictureSampleBackground, &PictureSampleBackgroundSize},
};

} // namespace

EmbeddedData PictureData(int number) {
    if (number < 0 || number >= PictureCount) return {nullptr, 0};
    return {Pictures[number].bytes, *Pictures[number].size};
}
