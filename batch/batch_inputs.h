// The files of a batch run, one at a time, in the order the command line gives
// them: file arguments as they stand, folder arguments expanded as a dropped
// folder is (regular, non-hidden files, in the order the file system lists them),
// sub-folders descended into with --recursive, and paths read line by line from
// --files-from. Nothing is listed ahead: only the folders being walked are open,
// so a folder of any size costs the same memory, and a line of the list is kept
// only up to the path limit. One thread at a time.
//
// Files and folders this process made for its outputs (output_name.h) are never
// inputs, wherever the output folder lies; everything else the walk meets is,
// so an output folder inside an input folder loses none of the files that were
// there before the run.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>
#include <string>
#include <vector>

// The longest path a line of --files-from may hold (PATH_MAX).
constexpr size_t BatchPathLimit = 4096;

struct BatchInput {
    String Path;
    String Relative;   // the sub-folder under the output ("" or "a/b/"), --recursive only
    String Name;       // as the lines show it: the file name, or for a file of a
                       // folder argument that argument's path down to the file
    std::string Error; // why it cannot be converted, known before trying (else empty)
    String Key;        // what --shard hashes: for a file of a folder argument the
                       // path below that folder ("a/b/x.jpg"), else the path as given
};

// The shard (1..count) an input of `key` belongs to: FNV-1a of 64 bits over the
// key's bytes as the file system holds them, modulo `count`, plus 1. The same
// on every machine and in every run, whatever the folder is mounted as.
int ShardOfKey(const String &key, int count);

struct InputFolder {
    int64_t listing;
    String folder;   // ends with "/"
    String relative; // ends with "/" or is empty
};

struct InputWalker {
    std::vector<std::string> arguments;
    size_t nextArgument = 0;
    int list = -1; // --files-from, read after the arguments
    bool ownsList = false;
    std::vector<char> buffer; // what was read of the list and not yet used
    size_t bufferAt = 0, bufferEnd = 0;
    bool skippingLine = false; // the rest of an over-long line is being passed over
    bool recursive = false;
    std::vector<InputFolder> folders;   // the folders being walked, innermost last
    int shardIndex = 0, shardCount = 0; // --shard: only inputs of shard index of count
};

// Prepares a walk (of every input; set shardIndex and shardCount after it to
// keep one shard's). `filesFrom` is empty, "-" (standard input) or a file; answers
// 0 when that file cannot be opened. A FIFO is opened without waiting for its
// writer.
int StartInputWalk(InputWalker *walker, const std::vector<std::string> &arguments,
                   const std::string &filesFrom, bool recursive);
// 1 with the next input, 0 when there are no more or a stop is requested (a
// wait on the list ends within a tenth of a second of it). A folder that cannot
// be listed, an entry that no longer leads anywhere and a line of the list that
// cannot be a path come back as inputs of their own, so they show up with their
// error instead of vanishing.
int NextBatchInput(InputWalker *walker, BatchInput *input);
// Whether a walk of `arguments` (and a watch of them) may meet files written
// into `outputFolder`, which exists: when one of the folder arguments lies
// inside it or it inside one of them (as the system resolves them, links and
// all), or paths come from --files-from (a `find` over a tree that holds the
// output folder). When not, the savers need not remember their outputs.
bool WalkMayMeetOutputs(const std::vector<std::string> &arguments, const std::string &filesFrom,
                        const std::string &outputFolder);
// Closes whatever the walk still holds.
void EndInputWalk(InputWalker *walker);
