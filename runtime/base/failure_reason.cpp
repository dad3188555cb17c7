#include "runtime/base/failure_reason.h"

#include <utility>

namespace {

thread_local std::string Reason;

} // namespace

void SetFailureReason(std::string reason) {
    Reason = std::move(reason);
}

bool FailureReasonGiven() {
    return !Reason.empty();
}

std::string TakeFailureReason() {
    return std::exchange(Reason, std::string());
}
