#include "runtime/base/memory_budget.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int64_t MinimumDefaultLimit = 1000 * 1000 * 1000;

std::atomic<int64_t> &Share() {
    static std::atomic<int64_t> share{DefaultMemoryLimit()};
    return share;
}

} // namespace

int64_t DefaultMemoryLimit() {
    long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
    int64_t physical = pages > 0 && pageSize > 0 ? int64_t(pages) * int64_t(pageSize) : 0;
    return std::max(physical / 2, MinimumDefaultLimit);
}

void SetMemoryLimit(int64_t limit, int jobs) {
    Share().store(std::max<int64_t>(limit, 1) / std::max(jobs, 1));
}

int64_t PictureMemoryShare() {
    return Share().load();
}

bool FitsMemoryShare(int64_t bytes, std::string *reason) {
    if (bytes <= PictureMemoryShare()) return true;
    if (reason) *reason = "needs about " + MemoryText(bytes) + ", over the limit";
    return false;
}

std::string MemoryText(int64_t bytes) {
    char text[32];
    double value = double(bytes);
    if (value >= 1e9)
        std::snprintf(text, sizeof text, "%.1f GB", value / 1e9);
    else if (value >= 1e6)
        std::snprintf(text, sizeof text, "%.0f MB", value / 1e6);
    else
        std::snprintf(text, sizeof text, "%.0f kB", value / 1e3);
    return text;
}
