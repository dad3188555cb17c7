// The camera RAW reader (not built yet: every file goes on to the next reader).
#include "tone/source_readers.h"

int OpenRawSource(PictureSource &) {
    return 0;
}
