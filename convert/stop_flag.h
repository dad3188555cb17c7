// The stop request of a conversion: bit 0 of one 32-bit word, shared by the main
// thread (which sets it from the stop button or at quit, and clears it when the
// run has finished) and the worker (which reads it between steps and once per row
// while writing a PNG). Only atomic bit operations change it, so a stop set while
// the worker reads is never lost. Any thread may call these.
#pragma once

#include <atomic>
#include <cstdint>

inline std::atomic<uint32_t> StopFlag{0};

inline void RequestStop() {
    StopFlag.fetch_or(1u);
}
inline void ClearStopRequest() {
    StopFlag.fetch_and(~1u);
}
inline bool StopRequested() {
    return (StopFlag.load(std::memory_order_relaxed) & 1u) != 0;
}
