// The files of a batch run, one at a time, in the order the command line gives
// them: file arguments as they stand, folder arguments expanded as a dropped
// folder is (regular, non-hidden files, in the order the file system lists them),
// sub-folders descended into with --recursive, and paths read line by line from
// --files-from. Nothing is listed ahead: only the folders being walked are open,
// so a folder of any size costs the same memory. One thread at a time.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct BatchInput {
    String Path;
    String Relative; // the sub-folder under the output ("" or "a/b/"), --recursive only
};

struct InputFolder {
    int64_t listing;
    String folder;   // ends with "/"
    String relative; // ends with "/" or is empty
};

struct InputWalker {
    std::vector<std::string> arguments;
    size_t nextArgument = 0;
    std::FILE *list = nullptr; // --files-from, read after the arguments
    bool ownsList = false;
    bool recursive = false;
    std::vector<InputFolder> folders; // the folders being walked, innermost last
    bool skipGiven = false;           // a folder never walked into (the output folder)
    uint64_t skipDevice = 0, skipInode = 0;
};

// Prepares a walk. `filesFrom` is empty, "-" (standard input) or a file; answers
// 0 when that file cannot be opened.
int StartInputWalk(InputWalker *walker, const std::vector<std::string> &arguments,
                   const std::string &filesFrom, bool recursive);
// Never walks into `folder` (the output folder, when it lies inside an input
// folder: its outputs must not be converted again). No effect if it is missing.
void SkipFolderInWalk(InputWalker *walker, const String &folder);
// 1 with the next input, 0 when there are no more. A folder that cannot be
// listed, or an entry that no longer leads anywhere, comes back as an input of
// its own, so it shows up with its error instead of vanishing.
int NextBatchInput(InputWalker *walker, BatchInput *input);
// Closes whatever the walk still holds.
void EndInputWalk(InputWalker *walker);
