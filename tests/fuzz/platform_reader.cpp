// The platform picture reader on any file contents. The file has no extension, so
// the installed Qt image plug-ins decide from the bytes which of them reads it.
// A picture that was read is also drawn, scaled into a small buffer, as the
// loaders do; drawing must succeed for every picture the reader hands out.
//
// Files whose header states a side above 32767 pixels, the largest image the
// program holds, are left out: the reader raises Qt's allocation limit to 8 GiB,
// so a 290-byte MNG file stating 4 x 167772161 pixels has Qt allocate and fill a
// 2.7 GB picture. That is a known limit of the reader, not something a run can
// learn more about, and it would end every run on memory. MNG files go too: Qt's
// MNG plug-in states no size before decoding.
#include "runtime/image/platform_reader.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/text.h"
#include "tests/fuzz/fuzz_support.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string FilePath;
String FileName;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    StartBaseRuntime();
    FilePath = FuzzScratchFolder() + "input";
    FileName = StringFromUtf8(FilePath);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    {
        QByteArray bytes =
            QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader probe(&buffer);
        // MNG states no size before decoding, so its files are left out whole.
        if (probe.format() == "mng") return -1;
        QSize stated = probe.size();
        if (stated.width() > 32767 || stated.height() > 32767) return -1;
    }
    WriteWholeFile(FilePath, data, size);
    PlatformPicture *picture = ReadPlatformPicture(FileName);
    if (!picture) return 0;
    const int64_t width = PlatformPictureWidth(picture), height = PlatformPictureHeight(picture);
    FUZZ_CHECK(width >= 1 && height >= 1);
    // Drawn at up to 16 x 16, keeping very thin pictures at least one pixel across.
    const int64_t w = width < 16 ? width : 16, h = height < 16 ? height : 16;
    std::vector<unsigned char> pixels(size_t(w * h * 4));
    FUZZ_CHECK(DrawPlatformPicture(picture, pixels.data(), w, h, w * 4) == 1);
    FreePlatformPicture(picture);
    return 0;
}
