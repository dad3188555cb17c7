// What lets a batch run be started again after a stop: the name an input is
// written under (so --skip-existing can leave out inputs whose output is there)
// and the removal of drafts that a killed run left in an output folder. Any
// thread.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

// A draft is left alone while it changed this recently, even when no process of
// its number runs here: on a folder shared by several machines it may be another
// machine's, still being written.
constexpr int64_t StaleDraftSeconds = 60;

// The name the savers give `path` in `outputFolder` (ending in "/") before any
// date stamp, for the output format `format` (conversion_types.h): the file's
// first bytes tell whether the JPEG reader takes it. Empty when the file cannot
// be opened.
String PlainOutputName(const String &path, const String &outputFolder, int32_t format);

// Removes from `folder` the drafts (output_name.h) of processes that no longer
// run on this machine and that have not changed for StaleDraftSeconds; nothing
// else. Answers how many were removed.
int64_t RemoveStaleDrafts(const String &folder);
