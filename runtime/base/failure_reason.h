// Why the last file operation of this thread failed, in words for a person
// ("cut short after row 12 of 480", "needs about 5.4 GB, over the limit"). A
// reader sets it where it meets the failure; whoever reports the failure takes
// it, so nobody has to reopen the file later to guess. Per thread.
#pragma once

#include <cstdint>
#include <string>

void SetFailureReason(std::string reason);
// The reason, cleared; empty when none was set.
std::string TakeFailureReason();

// The reason of a picture whose data ends before its last row: "cut short after
// row N of H", N rows being whole.
std::string CutShortText(int64_t rows, int64_t height);
