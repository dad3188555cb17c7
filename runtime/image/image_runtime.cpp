#include "runtime/image/image_runtime.h"

#include "runtime/image/platform_reader.h"

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
    StartPlatformReader();
}

void EndImageRuntime() {
    ReleaseImage(-1);
}
