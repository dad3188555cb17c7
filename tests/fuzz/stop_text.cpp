// PasteStopsFromText on any text. Each input byte is one UTF-16 unit, so the seeds
// read as the text the clipboard carries. What must hold: a paste happens only
// when "0x" occurs exactly nine times, the question is asked only then, a refused
// or failed paste leaves the stops untouched, and a pasted stop list copies back
// to text that pastes to the same stops.
#include "tone/stop_text.h"
#include "runtime/base/base_runtime.h"
#include "runtime/base/text.h"
#include "tests/fuzz/fuzz_support.h"
#include "tone/presets.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

int Questions = 0;
int Answer = 1;
int Ask() {
    Questions++;
    return Answer;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    StartBaseRuntime();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    String text(data, data + size);
    GradientStop before[StopCount];
    std::memcpy(before, CurrentStops, sizeof before);
    const bool nine = CountOccurrences(text, u"0x") == 9;

    // The last byte's low bit decides the answer, so both ways get explored.
    Answer = size > 0 ? data[size - 1] & 1 : 1;
    Questions = 0;
    int pasted = PasteStopsFromText(text, Ask);
    FUZZ_CHECK(pasted == 0 || pasted == 1);
    FUZZ_CHECK(Questions == (nine ? 1 : 0));
    FUZZ_CHECK(pasted == (nine && Answer ? 1 : 0));
    if (!pasted) {
        FUZZ_CHECK(std::memcmp(before, CurrentStops, sizeof before) == 0);
        return 0;
    }

    // The copy of what was pasted is the fixed 102-character form and reads back
    // to the same stops without asking (no question with a null confirm).
    GradientStop pastedStops[StopCount];
    std::memcpy(pastedStops, CurrentStops, sizeof pastedStops);
    String copy = CopyStopsAsText();
    FUZZ_CHECK(copy.size() == 102u);
    FUZZ_CHECK(PasteStopsFromText(copy, nullptr) == 1);
    FUZZ_CHECK(std::memcmp(pastedStops, CurrentStops, sizeof pastedStops) == 0);
    return 0;
}
