// The hot folder of --watch: after the inputs given, the folder arguments (and
// with --recursive their sub-folders, also those made later) are watched with
// inotify, and a file becomes an input when its writer closes it or when it is
// moved in: a file still being written is never taken. Hidden names (the
// savers' drafts among them) and files this process wrote are passed over, so
// an output folder inside a watched one does not feed itself.
//
// The watch starts before the walk, so nothing that arrives meanwhile is
// missed; the price is that a file being written when the run starts, or one
// that arrives while its folder is being listed, is taken by the walk and again
// when its event comes (the second output then gets a stamped name). Nothing
// remembers the walked files, so a watch over a large library costs no more
// memory than the walk.
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

struct FolderWatch {
    int inotify = -1;
    bool recursive = false;
    int shardIndex = 0, shardCount = 0;
    std::map<int, WatchedFolder> folders; // by watch descriptor
    std::deque<BatchInput> ready;         // files that appeared, not yet handed out
};

// Watches the folders among `arguments`. 0 with *error when none is a folder or
// the system refuses the watch.
int StartFolderWatch(FolderWatch *watch, const std::vector<std::string> &arguments, bool recursive,
                     std::string *error);
// 1 with the next file that appeared (of the watch's shard), 0 when none has
// for now. Does not wait.
int NextWatchedInput(FolderWatch *watch, BatchInput *input);
// Waits at most `ms` milliseconds for something to happen in the folders.
void WaitForWatchedFiles(const FolderWatch *watch, int ms);
// Files that appeared and were not handed out.
int64_t PendingWatchedInputs(const FolderWatch *watch);
void EndFolderWatch(FolderWatch *watch);
