// The command line of tintwell-batch: what each option sets and how a command
// line is read. Reading has no side effects (it opens no file), so it can be
// tested and fuzzed on its own. Any thread.
#pragma once

#include "convert/conversion_types.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr int BatchShiftLimit = 116;
constexpr int BatchMaxJobs = 64;
constexpr int32_t BatchBoxLimit = 32767;
constexpr int64_t BatchMemoryLimitMost = int64_t(1) << 50; // 1 PiB
constexpr int BatchMostShards = 1000000;

struct BatchOptions {
    std::string OutputFolder; // -o, --out
    std::string Preset;       // -p, --preset; empty: "Gray"
    std::string Stops;        // --stops; empty: the preset decides
    bool StopsGiven = false;
    int Shift = 0;         // -s, --shift
    bool BoxGiven = false; // -m, --max; else the settings file's or 8192 x 8192
    int32_t MaxWidth = 0, MaxHeight = 0;
    int Quality = 0; // -q, --quality (jpeg_quality.h); 0: the settings file's, else High
    int32_t Format = OutputAsRead; // --format (conversion_types.h)
    bool ColourProfiles = true;    // --colour-profiles on|off
    bool Recursive = false;        // -r, --recursive
    int Jobs = 0;                  // -j, --jobs; 0: one per core
    std::string FilesFrom;         // --files-from; "-" is standard input
    int64_t MemoryLimit = 0;       // --memory-limit, bytes; 0: DefaultMemoryLimit()
    bool ListPresets = false;      // --list-presets
    std::string ExportLut;         // --export-lut
    bool DryRun = false;           // -n, --dry-run
    bool SkipExisting = false;     // --skip-existing
    int ShardIndex = 0;            // --shard K/N: K (1..N); 0: no shards
    int ShardCount = 0;            // N
    std::string Report;            // --report FILE (JSON Lines)
    bool Watch = false;            // --watch
    int Verbosity = 1;             // 0 --quiet, 1 normal, 2 --verbose
    bool Help = false;             // -h, --help
    bool Version = false;          // --version
    std::vector<std::string> Inputs;
};

// Reads argv[1..argc-1]. Options and inputs may be mixed; "--" ends the options.
// Values follow their option as the next argument, or after "=" for long options
// and directly for short ones ("-j2"). Answers 1 with *options filled, or 0 with
// *error set to a one-line message naming the problem (an unknown option, a
// missing or malformed value, a value out of range, no --out where one is
// needed, nothing to convert).
int ParseBatchArguments(int argc, const char *const *argv, BatchOptions *options,
                        std::string *error);

// The text of --help.
const char *BatchUsageText();
