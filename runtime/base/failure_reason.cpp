#include "runtime/base/failure_reason.h"

#include <cstdio>
#include <utility>

namespace {

thread_local std::string Reason;

} // namespace

void SetFailureReason(std::string reason) {
    Reason = std::move(reason);
}

std::string TakeFailureReason() {
    return std::exchange(Reason, std::string());
}

std::string CutShortText(int64_t rows, int64_t height) {
    char text[96];
    std::snprintf(text, sizeof text, "cut short after row %lld of %lld", (long long)rows,
                  (long long)height);
    return text;
}
