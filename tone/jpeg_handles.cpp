#include "tone/jpeg_handles.h"

#include "runtime/image/pixel_layout.h"

thread_local tjhandle JpegDecompressor = nullptr;
thread_local tjhandle JpegCompressor = nullptr;

namespace {

// Destroys the thread's handles when the thread ends.
struct HandleOwner {
    ~HandleOwner() { EndJpegHandles(); }
};
thread_local HandleOwner Owner;

} // namespace

int StartJpegHandles() {
    (void)&Owner; // makes the thread's owner exist, so its destructor runs at thread end
    if (!JpegDecompressor) JpegDecompressor = tjInitDecompress();
    if (!JpegCompressor) JpegCompressor = tjInitCompress();
    return JpegDecompressor && JpegCompressor ? 1 : 0;
}

void EndJpegHandles() {
    if (JpegDecompressor) tjDestroy(JpegDecompressor);
    if (JpegCompressor) tjDestroy(JpegCompressor);
    JpegDecompressor = nullptr;
    JpegCompressor = nullptr;
}

int ReplaceJpegDecompressor() {
    if (JpegDecompressor) tjDestroy(JpegDecompressor);
    JpegDecompressor = tjInitDecompress();
    return JpegDecompressor ? 1 : 0;
}

int ReplaceJpegCompressor() {
    if (JpegCompressor) tjDestroy(JpegCompressor);
    JpegCompressor = tjInitCompress();
    return JpegCompressor ? 1 : 0;
}

int JpegPixelFormat(int64_t layout) {
    if (layout & LayoutRgba) return TJPF_RGBA;
    if (layout & LayoutRgb) return TJPF_RGB;
    if (layout & LayoutBgra) return TJPF_BGRA;
    return TJPF_BGR;
}
