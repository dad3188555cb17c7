// The hot folder of --watch: after the inputs given, the folder arguments (and
// with --recursive their sub-folders, also those made later) are watched with
// inotify, and a file becomes an input when its writer closes it or when it is
// moved in: a file still being written is never taken. Hidden names (the
// savers' drafts among them) and files this process wrote are passed over, so
// an output folder inside a watched one does not feed itself.
//
// The watch starts before the walk, so nothing that arrives meanwhile is
// missed. A file the walk meets that is open for writing, or changed in the
// last two seconds, may still be being written, or may be the one an event is
// about to bring: the walk leaves it to the watch, which takes it when its
// writer closes it, or once nobody writes it and it has stayed unchanged for
// two seconds (its writer closed it before the watch began). Only those few
// files are remembered, so a watch over a large library costs no more memory
// than the walk.
//
// NextWatchedInput is called under the run's lock; WaitForWatchedFiles by any
// worker without it.
#pragma once

#include "batch/batch_inputs.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

struct WatchedFolder {
    String folder;   // ends with "/"
    String relative; // the sub-folder under the output, as the walk gives it
};

// A file the walk left to the watch, with what it was when last looked at.
struct SettlingFile {
    BatchInput input;
    int64_t size = 0, changedNs = 0; // its length and modification time
    int64_t dueMs = 0;               // when it is looked at again (monotonic clock)
};

struct FolderWatch {
    int inotify = -1;
    bool recursive = false;
    int shardIndex = 0, shardCount = 0;
    std::map<int, WatchedFolder> folders; // by watch descriptor
    std::deque<BatchInput> ready;         // files that appeared, not yet handed out
    std::vector<SettlingFile> settling;   // files the walk left, not yet settled
};

// Watches the folders among `arguments`. 0 with *error when none is a folder or
// the system refuses the watch.
int StartFolderWatch(FolderWatch *watch, const std::vector<std::string> &arguments, bool recursive,
                     std::string *error);
// 1 when the walk's `input` changed too lately to be taken now: the watch then
// keeps it until it has settled. 0 when the walk may take it.
int LeaveToWatch(FolderWatch *watch, const BatchInput &input);
// 1 with the next file that appeared (of the watch's shard), 0 when none has
// for now. Does not wait.
int NextWatchedInput(FolderWatch *watch, BatchInput *input);
// Waits at most `ms` milliseconds for something to happen in the folders.
void WaitForWatchedFiles(const FolderWatch *watch, int ms);
// Files that appeared, or that the walk left, and were not handed out.
int64_t PendingWatchedInputs(const FolderWatch *watch);
void EndFolderWatch(FolderWatch *watch);
