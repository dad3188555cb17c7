#include "runtime/image/image_runtime.h"

#include "runtime/image/codecs.h"
#include "runtime/image/draw_target.h"
#include "runtime/image/images.h"

void StartImageRuntime() {
    static bool started = false;
    if (started) return;
    started = true;
    RegisterDrawTargetSlice();
    RegisterDecodeStateSlice();
    RegisterBmpCodec();
}

void EndImageRuntime() {
    ReleaseImage(-1);
}
