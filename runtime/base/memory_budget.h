// How much memory one picture may take while it is decoded. A run of several
// jobs divides its limit between them, so the limit holds however the jobs
// meet; a picture whose decoding would need more than its job's share is
// refused before anything is allocated, whatever else is running at the time,
// so the same file always gets the same answer. Set once before the jobs start;
// read from any thread.
#pragma once

#include <cstdint>
#include <string>

// The limit of a whole run when none is given: half of physical memory, at
// least 1 GB.
int64_t DefaultMemoryLimit();
// Each job's share of `limit` bytes for `jobs` jobs at once.
void SetMemoryLimit(int64_t limit, int jobs);
// The bytes one picture may take while decoded (its job's share).
int64_t PictureMemoryShare();
// Whether `bytes` fit the share; when they do not, *reason (if given) says so as
// "needs about 5.4 GB, over the limit".
bool FitsMemoryShare(int64_t bytes, std::string *reason = nullptr);
// A byte count as a person reads it, in decimal units: "5.4 GB", "512 MB".
std::string MemoryText(int64_t bytes);
