// The help text's bytes, embedded from help.rtf by embed.cmake at build time.
#include "resources/help_text.h"

extern const unsigned char HelpText[];
extern const size_t HelpTextSize;

EmbeddedData HelpTextData() {
    return {HelpText, HelpTextSize};
}
