#include "tone/picture_source.h"

#include "runtime/base/decoder_messages.h"
#include "runtime/base/memory_budget.h"
#include "runtime/base/paths.h"
#include "runtime/image/images.h"
#include "tone/source_readers.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *NotAPicture = "not a picture this program reads";

// Opens the file without waiting (a named pipe would block), and keeps it only
// when it is a regular file; the reason otherwise.
bool OpenRegularFile(PictureSource &source, const String &path) {
    std::string native;
    if (!NativePath(path, &native)) {
        source.Reason = "cannot open: " + std::string(std::strerror(EINVAL));
        return false;
    }
    int descriptor = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        source.Reason = "cannot open: " + std::string(std::strerror(errno));
        return false;
    }
    source.Descriptor = descriptor;
    struct stat status;
    if (fstat(descriptor, &status) != 0) {
        source.Reason = "cannot open: " + std::string(std::strerror(errno));
        return false;
    }
    if (S_ISDIR(status.st_mode))
        source.Reason = "is a folder";
    else if (!S_ISREG(status.st_mode))
        source.Reason = "not a regular file";
    if (!source.Reason.empty()) return false;
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    source.FileLength = int64_t(status.st_size);
    return true;
}

// The readers in the order they are tried. The JPEG and PNG readers are handed
// only content with their signature; the others recognise their own.
struct Reader {
    int kind;
    int (*open)(PictureSource &);
};
constexpr Reader Readers[] = {
    {SourceJpeg, OpenJpegSource}, {SourcePng, OpenPngSource}, {SourceHeif, OpenHeifSource},
    {SourceJxl, OpenJxlSource},   {SourceRaw, OpenRawSource}, {SourcePlatform, OpenPlatformSource},
};

void CloseReader(PictureSource &source) {
    if (source.Kind == SourceJpeg)
        CloseJpegSource(source);
    else if (source.Kind == SourcePng)
        ClosePngSource(source);
    else if (source.Kind & PlatformSources)
        ClosePlatformSource(source);
    source.Kind = 0;
}

// Tries the readers of `kinds` after `after` in order; the first that takes the
// file keeps it.
bool HandToReaders(PictureSource &source, int after) {
    unsigned char head[8] = {};
    bool headRead = ReadSourceBytes(source, head, 8, 0);
    bool jpeg = head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
    static const unsigned char pngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    bool png = headRead && std::memcmp(head, pngSignature, 8) == 0;
    for (const Reader &reader : Readers) {
        if (reader.kind <= after || !(source.Kinds & reader.kind)) continue;
        if ((reader.kind == SourceJpeg && !jpeg) || (reader.kind == SourcePng && !png)) continue;
        int taken = reader.open(source);
        source.Kind = reader.kind;
        if (taken > 0) return true;
        CloseReader(source);
        if (taken < 0) {
            source.Refused = true;
            return false;
        }
    }
    // What a decoder printed says why, when the program has no word of its own.
    const std::string said = TakeFirstDecoderLine();
    source.Reason = !source.FallbackReason.empty() ? source.FallbackReason
                    : said.empty()                 ? std::string(NotAPicture)
                                                   : std::string(NotAPicture) + " (" + said + ")";
    return false;
}

} // namespace

PictureSource::~PictureSource() {
    CloseReader(*this);
    if (Descriptor >= 0) close(Descriptor);
}

bool ReadSourceBytes(const PictureSource &source, void *bytes, int64_t length, int64_t offset) {
    auto *at = static_cast<unsigned char *>(bytes);
    while (length > 0) {
        ssize_t got = pread(source.Descriptor, at, size_t(length), off_t(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        at += got, offset += got, length -= got;
    }
    return true;
}

bool DecodeFits(PictureSource &source, int64_t width, int64_t height, int64_t bytes) {
    if (width < 1 || height < 1 || width > MaxImageSide || height > MaxImageSide) {
        source.Reason = std::to_string(width) + " x " + std::to_string(height) +
                        " pixels, over the largest side of " + std::to_string(MaxImageSide);
        return false;
    }
    return FitsMemoryShare(bytes, &source.Reason);
}

bool OpenPictureSource(PictureSource &source, const String &path, int64_t maxWidth,
                       int64_t maxHeight, int kinds) {
    source.Kinds = kinds;
    source.MaxWidth = maxWidth, source.MaxHeight = maxHeight;
    TakeFirstDecoderLine(); // nothing printed about an earlier file sticks to this one
    return OpenRegularFile(source, path) && HandToReaders(source, 0);
}

bool ReadSourceRows(PictureSource &source, unsigned char *const *rows, int64_t count) {
    if (source.Kind == SourceJpeg) return ReadJpegSourceRows(source, rows, count);
    if (source.Kind == SourcePng) return ReadPngSourceRows(source, rows, count);
    if (source.Kind & PlatformSources) return ReadPlatformSourceRows(source, rows, count);
    return false;
}

bool FinishSource(PictureSource &source) {
    if (source.Kind == SourceJpeg) return FinishJpegSource(source);
    if (source.Kind == SourcePng) return FinishPngSource(source);
    return (source.Kind & PlatformSources) != 0; // read whole when it was opened
}

bool NextPictureSource(PictureSource &source) {
    if (!source.Reason.empty()) return false;
    int after = source.Kind;
    CloseReader(source);
    source.StoredWidth = source.StoredHeight = source.Orientation = 0;
    source.RowsHoldLuminance = false;
    source.Colours = nullptr;
    source.RowsWidth = source.RowsHeight = source.Width = source.Height = 0;
    return HandToReaders(source, after);
}

int64_t TakeSourceImage(PictureSource &source) {
    return source.Kind & PlatformSources ? TakePlatformSourceImage(source) : 0;
}
