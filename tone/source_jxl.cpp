// The JPEG XL reader: libjxl on the calling thread (one conversion runs per
// core already), the whole file in memory, the first displayed frame decoded
// whole with its layers merged and turned upright by the decoder, then handed
// to the platform reader's box. Bare codestreams and the ISOBMFF container are
// both recognised by their first bytes. What libjxl prints about a damaged
// file becomes the reason instead.
#include "runtime/base/decoder_messages.h"
#include "runtime/base/memory_budget.h"
#include "runtime/image/platform_reader.h"
#include "tone/source_readers.h"

#include <cstdlib>
#include <jxl/decode.h>
#include <memory>
#include <new>
#include <string>
#include <string_view>

namespace {

// Enough of the head to tell a container (12 bytes) from a codestream (2).
constexpr int64_t SignatureBytes = 12;

// What libjxl 0.7 holds while it decodes, per pixel and channel (colour and
// extra), measured on one thread as the peak resident memory less the file
// and the output: about 1 byte for a still picture of colour channels alone,
// which it renders group by group; 8 to 15 for one with alpha or other extra
// channels, or with frames, which it keeps whole in 32-bit floats, several
// copies at once. Each is rounded up.
constexpr int64_t GroupBytesPerSample = 4;
constexpr int64_t WholeBytesPerSample = 16;

// How libjxl starts the line that names a failure where it meets it, and the
// most of its words kept in a reason.
constexpr std::string_view FailureMark = "JXL_FAILURE: ";
constexpr size_t LongestDetail = 160;

constexpr const char *NoMemory = "not enough memory to decode it";

struct DecoderFree {
    void operator()(JxlDecoder *decoder) const { JxlDecoderDestroy(decoder); }
};
using Decoder = std::unique_ptr<JxlDecoder, DecoderFree>;

struct PixelsFree {
    void operator()(unsigned char *pixels) const { std::free(pixels); }
};
using Pixels = std::unique_ptr<unsigned char, PixelsFree>;

struct JxlFile {
    std::unique_ptr<unsigned char[]> bytes;
    size_t length = 0;
};

bool IsJxl(const PictureSource &s) {
    unsigned char head[SignatureBytes] = {};
    const int64_t length = s.FileLength < SignatureBytes ? s.FileLength : SignatureBytes;
    if (length < 2 || !ReadSourceBytes(s, head, length, 0)) return false;
    JxlSignature signature = JxlSignatureCheck(head, size_t(length));
    return signature == JXL_SIG_CODESTREAM || signature == JXL_SIG_CONTAINER;
}

// A decoder given the whole file and told of `events`. The input stays open:
// a file that ends early then asks for more instead of failing, which tells a
// cut file from a damaged one.
Decoder StartDecoder(const JxlFile &file, int events, bool keepOrientation) {
    Decoder decoder(JxlDecoderCreate(nullptr));
    JxlDecoder *d = decoder.get();
    if (!d || JxlDecoderSubscribeEvents(d, events) != JXL_DEC_SUCCESS ||
        JxlDecoderSetKeepOrientation(d, keepOrientation ? JXL_TRUE : JXL_FALSE) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSetUnpremultiplyAlpha(d, JXL_TRUE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(d, file.bytes.get(), file.length) != JXL_DEC_SUCCESS)
        decoder.reset();
    return decoder;
}

// Why the decoder stopped: "cut short", or its first complaint (the cause;
// the lines after it only retrace the calls), else the stage it reached.
std::string FailureReason(JxlDecoderStatus status, const std::string &printed, bool headerRead) {
    if (status == JXL_DEC_NEED_MORE_INPUT) return "cut short";
    std::string detail;
    size_t failure = printed.find(FailureMark);
    if (failure != std::string::npos) {
        size_t start = failure + FailureMark.size();
        detail = printed.substr(start, printed.find('\n', start) - start);
    }
    if (detail.size() > LongestDetail) detail.resize(LongestDetail);
    if (detail.empty()) detail = headerRead ? "damaged picture data" : "damaged header";
    if (detail[0] >= 'A' && detail[0] <= 'Z' && detail[1] >= 'a' && detail[1] <= 'z')
        detail[0] = char(detail[0] - 'A' + 'a');
    return "cannot decode JPEG XL: " + detail;
}

// The picture's size and orientation as stored, read from its head alone.
int ReadStoredHeader(PictureSource &s, const JxlFile &file, JxlBasicInfo *info) {
    DecoderMessages messages;
    Decoder decoder = StartDecoder(file, JXL_DEC_BASIC_INFO, true);
    if (!decoder) {
        s.Reason = NoMemory;
        return -1;
    }
    JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
    if (status == JXL_DEC_BASIC_INFO &&
        JxlDecoderGetBasicInfo(decoder.get(), info) == JXL_DEC_SUCCESS)
        return 1;
    s.Reason = FailureReason(status, messages.text, false);
    return -1;
}

// The memory the decoding takes: the file, libjxl's planes and the R, G, B, A
// copy handed on.
int64_t DecodeBytes(const JxlBasicInfo &info, int64_t fileLength, int sampleBytes) {
    const int64_t pixels = int64_t(info.xsize) * int64_t(info.ysize);
    const int64_t channels = int64_t(info.num_color_channels) + int64_t(info.num_extra_channels);
    const bool keptWhole = info.num_extra_channels > 0 || info.have_animation;
    return fileLength +
           pixels * channels * (keptWhole ? WholeBytesPerSample : GroupBytesPerSample) +
           pixels * 4 * sampleBytes;
}

// The colours of the decoded pixels: the encoding libjxl names, else its ICC
// profile. Grey pixels come as R = G = B, which sRGB's primaries weigh as grey.
ColourProfileRef DecodedColours(JxlDecoder *d, const JxlPixelFormat &format) {
    JxlColorEncoding e{};
    if (JxlDecoderGetColorAsEncodedProfile(d, &format, JXL_COLOR_PROFILE_TARGET_DATA, &e) ==
        JXL_DEC_SUCCESS) {
        if (e.color_space != JXL_COLOR_SPACE_RGB && e.color_space != JXL_COLOR_SPACE_GRAY)
            return nullptr;
        ColourPrimaries primaries = SrgbPrimaries;
        if (e.color_space == JXL_COLOR_SPACE_RGB) {
            const bool named =
                e.primaries != JXL_PRIMARIES_CUSTOM &&
                PrimariesFromCode(e.primaries == JXL_PRIMARIES_P3 ? 12 : int(e.primaries),
                                  &primaries);
            if (!named) {
                const double *xy[3] = {e.primaries_red_xy, e.primaries_green_xy,
                                       e.primaries_blue_xy};
                for (int c = 0; c < 3; c++)
                    primaries.xy[c][0] = xy[c][0], primaries.xy[c][1] = xy[c][1];
            }
            const double dci[2] = {0.314, 0.351}, equal[2] = {1 / 3.0, 1 / 3.0};
            const double *white = e.white_point == JXL_WHITE_POINT_CUSTOM ? e.white_point_xy
                                  : e.white_point == JXL_WHITE_POINT_DCI  ? dci
                                  : e.white_point == JXL_WHITE_POINT_E    ? equal
                                                                          : nullptr;
            if (white) primaries.xy[3][0] = white[0], primaries.xy[3][1] = white[1];
        }
        ColourTransfer transfer = TransferSrgb;
        double gamma = 1;
        if (e.transfer_function == JXL_TRANSFER_FUNCTION_GAMMA && e.gamma > 0)
            transfer = TransferGamma, gamma = 1 / e.gamma;
        else if (e.transfer_function == JXL_TRANSFER_FUNCTION_DCI)
            transfer = TransferGamma, gamma = 2.6;
        else
            TransferFromCode(int(e.transfer_function), &transfer, &gamma);
        return ProfileFromPrimaries(primaries, transfer, gamma);
    }
    size_t length = 0;
    if (JxlDecoderGetICCProfileSize(d, &format, JXL_COLOR_PROFILE_TARGET_DATA, &length) !=
        JXL_DEC_SUCCESS)
        return nullptr;
    std::string icc(length, '\0');
    if (JxlDecoderGetColorAsICCProfile(d, &format, JXL_COLOR_PROFILE_TARGET_DATA,
                                       reinterpret_cast<uint8_t *>(icc.data()),
                                       length) != JXL_DEC_SUCCESS)
        return nullptr;
    return ProfileFromIcc(icc.data(), length);
}

// The first displayed frame, upright, as 4 channels of `format`; its size in
// *width, *height. Null with the reason set when it cannot be decoded.
Pixels DecodeFirstFrame(PictureSource &s, const JxlFile &file, const JxlPixelFormat &format,
                        int64_t *width, int64_t *height) {
    DecoderMessages messages;
    Decoder decoder =
        StartDecoder(file, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE, false);
    JxlDecoder *d = decoder.get();
    if (!d) {
        s.Reason = NoMemory;
        return nullptr;
    }
    Pixels pixels;
    bool headerRead = false;
    for (;;) {
        JxlDecoderStatus status = JxlDecoderProcessInput(d);
        if (status == JXL_DEC_BASIC_INFO) {
            // Turned upright by the decoder: the sizes it writes.
            JxlBasicInfo info{};
            headerRead = JxlDecoderGetBasicInfo(d, &info) == JXL_DEC_SUCCESS;
            *width = info.xsize, *height = info.ysize;
            continue;
        }
        if (status == JXL_DEC_COLOR_ENCODING) {
            if (s.ColourProfiles) s.Colours = DecodedColours(d, format);
            continue;
        }
        if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER && !pixels) {
            size_t bytes = 0;
            if (JxlDecoderImageOutBufferSize(d, &format, &bytes) != JXL_DEC_SUCCESS ||
                bytes !=
                    size_t(*width * *height * 4) * (format.data_type == JXL_TYPE_UINT8 ? 1 : 2))
                break;
            pixels.reset(static_cast<unsigned char *>(std::malloc(bytes)));
            if (!pixels) {
                s.Reason = NoMemory;
                return nullptr;
            }
            if (JxlDecoderSetImageOutBuffer(d, &format, pixels.get(), bytes) != JXL_DEC_SUCCESS)
                break;
            continue;
        }
        // The first frame is all it takes; an animation's others are left.
        if (status == JXL_DEC_FULL_IMAGE && pixels) return pixels;
        s.Reason = FailureReason(status, messages.text, headerRead);
        return nullptr;
    }
    s.Reason = FailureReason(JXL_DEC_ERROR, messages.text, headerRead);
    return nullptr;
}

} // namespace

int OpenJxlSource(PictureSource &s) {
    if (!IsJxl(s)) return 0;
    // The whole file is held while it decodes.
    if (!FitsMemoryShare(s.FileLength, &s.Reason)) return -1;
    JxlFile file;
    file.length = size_t(s.FileLength);
    file.bytes.reset(new (std::nothrow) unsigned char[file.length]);
    if (!file.bytes) {
        s.Reason = NoMemory;
        return -1;
    }
    if (!ReadSourceBytes(s, file.bytes.get(), s.FileLength, 0)) {
        s.Reason = "cut short";
        return -1;
    }

    JxlBasicInfo stored{};
    if (int header = ReadStoredHeader(s, file, &stored); header <= 0) return header;
    // Asked before any decoder sets aside memory for the pixels.
    const int sampleBytes = stored.bits_per_sample <= 8 ? 1 : 2;
    if (!DecodeFits(s, stored.xsize, stored.ysize, DecodeBytes(stored, s.FileLength, sampleBytes)))
        return -1;

    const JxlPixelFormat format{4, sampleBytes == 1 ? JXL_TYPE_UINT8 : JXL_TYPE_UINT16,
                                JXL_NATIVE_ENDIAN, 0};
    int64_t width = 0, height = 0;
    Pixels pixels = DecodeFirstFrame(s, file, format, &width, &height);
    if (!pixels) return -1;
    file.bytes.reset(); // gone before the picture is drawn into the box
    PlatformPicture *picture = AdoptDecodedPicture(pixels.release(), width, height,
                                                   width * 4 * sampleBytes, sampleBytes * 8);
    int taken = OpenDecodedSource(s, picture);
    if (taken > 0) {
        s.StoredWidth = stored.xsize, s.StoredHeight = stored.ysize;
        s.Orientation = int(stored.orientation);
    }
    return taken;
}
