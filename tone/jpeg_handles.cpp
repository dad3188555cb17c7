#include "tone/jpeg_handles.h"

#include "runtime/image/pixel_layout.h"

namespace {

// Kept inside this file behind two functions: read from other files as an
// `extern thread_local`, the handle went through GCC's cross-file wrapper, which
// the UndefinedBehaviorSanitizer build reported as a null load.
thread_local tjhandle Decompressor = nullptr;
thread_local tjhandle Compressor = nullptr;

// Destroys the thread's handles when the thread ends.
struct HandleOwner {
    ~HandleOwner() { EndJpegHandles(); }
};
thread_local HandleOwner Owner;

} // namespace

tjhandle JpegDecompressor() {
    return Decompressor;
}

tjhandle JpegCompressor() {
    return Compressor;
}

int StartJpegHandles() {
    (void)&Owner; // makes the thread's owner exist, so its destructor runs at thread end
    if (!Decompressor) Decompressor = tjInitDecompress();
    if (!Compressor) Compressor = tjInitCompress();
    return Decompressor && Compressor ? 1 : 0;
}

void EndJpegHandles() {
    if (Decompressor) tjDestroy(Decompressor);
    if (Compressor) tjDestroy(Compressor);
    Decompressor = nullptr;
    Compressor = nullptr;
}

int ReplaceJpegDecompressor() {
    if (Decompressor) tjDestroy(Decompressor);
    Decompressor = tjInitDecompress();
    return Decompressor ? 1 : 0;
}

int ReplaceJpegCompressor() {
    if (Compressor) tjDestroy(Compressor);
    Compressor = tjInitCompress();
    return Compressor ? 1 : 0;
}

int JpegPixelFormat(int64_t layout) {
    if (layout & LayoutRgba) return TJPF_RGBA;
    if (layout & LayoutRgb) return TJPF_RGB;
    if (layout & LayoutBgra) return TJPF_BGRA;
    return TJPF_BGR;
}
