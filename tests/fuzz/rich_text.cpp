// ReadRichText on any bytes, the help window's RTF reader. Beyond reading nothing
// outside the block, what must hold: the answer is 1 or 0, and 0 leaves the runs
// as they were; runs carry styles 0 or 1, are not empty, and neighbours differ in
// style (equal ones are merged); and the same input cut short decodes to a
// prefix of the whole input's text. The cut point comes from the last byte.
#include "runtime/ui/rtf_reader.h"
#include "tests/fuzz/fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string TextOf(const std::vector<RichTextRun> &runs) {
    std::string text;
    for (const RichTextRun &run : runs) text += run.Text;
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<RichTextRun> runs{{"untouched", 1, 1}};
    int result = ReadRichText(data, size, &runs);
    FUZZ_CHECK(result == 0 || result == 1);
    if (result == 0) {
        FUZZ_CHECK(runs.size() == 1 && runs[0].Text == "untouched");
        return 0;
    }
    for (size_t i = 0; i < runs.size(); i++) {
        FUZZ_CHECK(runs[i].Bold == 0 || runs[i].Bold == 1);
        FUZZ_CHECK(runs[i].Italic == 0 || runs[i].Italic == 1);
        FUZZ_CHECK(!runs[i].Text.empty());
        if (i > 0)
            FUZZ_CHECK(runs[i].Bold != runs[i - 1].Bold || runs[i].Italic != runs[i - 1].Italic);
    }

    // The cut-short copy lives in a block of its own size, so reading past the
    // cut shows under AddressSanitizer too.
    const size_t cut = size * (size_t(data[size - 1]) + 1) / 257;
    std::unique_ptr<uint8_t[]> head(new uint8_t[cut ? cut : 1]);
    if (cut) std::memcpy(head.get(), data, cut);
    std::vector<RichTextRun> headRuns;
    if (ReadRichText(head.get(), cut, &headRuns) == 1) {
        const std::string full = TextOf(runs), part = TextOf(headRuns);
        FUZZ_CHECK(part.size() <= full.size() && full.compare(0, part.size(), part) == 0);
    }
    return 0;
}
