// The --files-from reader of tintwell-batch on any list: the input is the list.
// What must hold: every input is either refused with a reason or a path within
// the path limit (a file of a listed folder: plus one name) without a zero byte.
#include "batch/batch_inputs.h"
#include "tests/fuzz/fuzz_support.h"

#include <climits>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string list = FuzzScratchFolder() + "list";
    WriteWholeFile(list, data, size);
    InputWalker walker;
    FUZZ_CHECK(StartInputWalk(&walker, {}, list, false) == 1);
    for (BatchInput input; NextBatchInput(&walker, &input);) {
        if (!input.Error.empty()) continue;
        FUZZ_CHECK(input.Path.size() <= BatchPathLimit + 1 + NAME_MAX);
        FUZZ_CHECK(input.Path.find(u'\0') == String::npos);
    }
    EndInputWalk(&walker);
    return 0;
}
