#include "batch/batch_options.h"

#include "convert/jpeg_quality.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// The options that take a value, by their long name, with their short letter.
struct OptionName {
    const char *longName;
    char shortName; // 0: long form only
    bool takesValue;
};

const OptionName Options[] = {
    {"out", 'o', true},          {"preset", 'p', true},        {"stops", 0, true},
    {"shift", 's', true},        {"max", 'm', true},           {"quality", 'q', true},
    {"recursive", 'r', false},   {"jobs", 'j', true},          {"files-from", 0, true},
    {"list-presets", 0, false},  {"export-lut", 0, true},      {"dry-run", 'n', false},
    {"quiet", 0, false},         {"verbose", 0, false},        {"help", 'h', false},
    {"version", 0, false},       {"memory-limit", 0, true},    {"format", 0, true},
    {"skip-existing", 0, false}, {"shard", 0, true},           {"report", 0, true},
    {"watch", 0, false},         {"colour-profiles", 0, true},
};

const OptionName *FindLong(const std::string &name) {
    for (const OptionName &option : Options)
        if (name == option.longName) return &option;
    return nullptr;
}

const OptionName *FindShort(char letter) {
    for (const OptionName &option : Options)
        if (option.shortName && option.shortName == letter) return &option;
    return nullptr;
}

// A whole decimal integer in [low, high], with an optional sign.
bool ReadInteger(const std::string &text, long low, long high, long *value) {
    if (text.empty() || text.size() > 12) return false;
    errno = 0;
    char *end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno || *end || end == text.c_str() ||
        !(text[0] == '-' || text[0] == '+' || (text[0] >= '0' && text[0] <= '9')))
        return false;
    if (v < low || v > high) return false;
    *value = v;
    return true;
}

// "WxH" (or "WXH"), each side 0..32767.
bool ReadBox(const std::string &text, int32_t *width, int32_t *height) {
    size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    long w = 0, h = 0;
    std::string a = text.substr(0, x), b = text.substr(x + 1);
    for (const std::string *side : {&a, &b})
        if (side->empty() || side->find_first_not_of("0123456789") != std::string::npos)
            return false;
    if (!ReadInteger(a, 0, BatchBoxLimit, &w) || !ReadInteger(b, 0, BatchBoxLimit, &h))
        return false;
    *width = int32_t(w), *height = int32_t(h);
    return true;
}

// "K/N", 1 <= K <= N <= BatchMostShards.
bool ReadShard(const std::string &text, int *index, int *count) {
    size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    std::string k = text.substr(0, slash), n = text.substr(slash + 1);
    long kv = 0, nv = 0;
    for (const std::string *side : {&k, &n})
        if (side->empty() || side->find_first_not_of("0123456789") != std::string::npos)
            return false;
    if (!ReadInteger(n, 1, BatchMostShards, &nv) || !ReadInteger(k, 1, nv, &kv)) return false;
    *index = int(kv), *count = int(nv);
    return true;
}

// A byte count with an optional K, M or G (powers of 1000, as the program shows
// sizes), 1 up to BatchMemoryLimitMost.
bool ReadSize(const std::string &text, int64_t *bytes) {
    size_t digits = std::min(text.find_first_not_of("0123456789"), text.size());
    if (digits == 0 || digits > 16 || text.size() > digits + 1) return false;
    int64_t unit = 1;
    if (digits < text.size()) {
        const char *units = "KMG";
        const char *found = std::strchr(units, std::toupper((unsigned char)text[digits]));
        if (!found || !*found) return false;
        for (const char *u = units; u <= found; u++) unit *= 1000;
    }
    int64_t number = std::strtoll(text.substr(0, digits).c_str(), nullptr, 10);
    if (number < 1 || number > BatchMemoryLimitMost / unit) return false;
    *bytes = number * unit;
    return true;
}

// The message quotes the offending argument, which may hold any byte; control
// characters (a line feed, say) are shown as "?" so the message stays one line.
bool Fail(std::string *error, const std::string &message) {
    *error = message;
    for (char &c : *error)
        if ((unsigned char)c < 0x20 || c == 0x7F) c = '?';
    return false;
}

// Applies one option with its value (empty for flags).
bool Apply(const OptionName &option, const std::string &value, BatchOptions *o,
           std::string *error) {
    std::string name = std::string("--") + option.longName;
    long number = 0;
    if (name == "--out") {
        if (value.empty()) return Fail(error, "--out needs a folder");
        o->OutputFolder = value;
    } else if (name == "--preset") {
        if (value.empty()) return Fail(error, "--preset needs a name or a row number");
        o->Preset = value;
    } else if (name == "--stops") {
        o->Stops = value, o->StopsGiven = true;
    } else if (name == "--shift") {
        if (!ReadInteger(value, -BatchShiftLimit, BatchShiftLimit, &number))
            return Fail(error,
                        "--shift must be a whole number from -116 to 116, not \"" + value + "\"");
        o->Shift = int(number);
    } else if (name == "--max") {
        if (!ReadBox(value, &o->MaxWidth, &o->MaxHeight))
            return Fail(error, "--max must be WIDTHxHEIGHT, each 0..32767 (0: no limit), not \"" +
                                   value + "\"");
        o->BoxGiven = true;
    } else if (name == "--quality") {
        if (value == "medium")
            o->Quality = JpegQualityMedium;
        else if (value == "high")
            o->Quality = JpegQualityHigh;
        else
            return Fail(error, "--quality must be medium or high, not \"" + value + "\"");
    } else if (name == "--format") {
        if (value == "auto")
            o->Format = OutputAsRead;
        else if (value == "jpeg")
            o->Format = OutputJpeg;
        else if (value == "png")
            o->Format = OutputPng;
        else
            return Fail(error, "--format must be auto, jpeg or png, not \"" + value + "\"");
    } else if (name == "--colour-profiles") {
        if (value != "on" && value != "off")
            return Fail(error, "--colour-profiles must be on or off, not \"" + value + "\"");
        o->ColourProfiles = value == "on";
    } else if (name == "--recursive") {
        o->Recursive = true;
    } else if (name == "--jobs") {
        if (!ReadInteger(value, 1, BatchMaxJobs, &number))
            return Fail(error, "--jobs must be a whole number from 1 to 64, not \"" + value + "\"");
        o->Jobs = int(number);
    } else if (name == "--files-from") {
        if (value.empty())
            return Fail(error, "--files-from needs a file (or - for standard input)");
        o->FilesFrom = value;
    } else if (name == "--memory-limit") {
        if (!ReadSize(value, &o->MemoryLimit))
            return Fail(error,
                        "--memory-limit must be a size such as 4G, 512M or 800000000, not \"" +
                            value + "\"");
    } else if (name == "--list-presets") {
        o->ListPresets = true;
    } else if (name == "--export-lut") {
        if (value.empty()) return Fail(error, "--export-lut needs a file name");
        o->ExportLut = value;
    } else if (name == "--dry-run") {
        o->DryRun = true;
    } else if (name == "--skip-existing") {
        o->SkipExisting = true;
    } else if (name == "--shard") {
        if (!ReadShard(value, &o->ShardIndex, &o->ShardCount))
            return Fail(error, "--shard must be K/N with 1 <= K <= N (N up to 1000000), not \"" +
                                   value + "\"");
    } else if (name == "--report") {
        if (value.empty()) return Fail(error, "--report needs a file name");
        o->Report = value;
    } else if (name == "--watch") {
        o->Watch = true;
    } else if (name == "--quiet") {
        o->Verbosity = 0;
    } else if (name == "--verbose") {
        o->Verbosity = 2;
    } else if (name == "--help") {
        o->Help = true;
    } else if (name == "--version") {
        o->Version = true;
    }
    return true;
}

} // namespace

int ParseBatchArguments(int argc, const char *const *argv, BatchOptions *options,
                        std::string *error) {
    BatchOptions o;
    bool optionsEnded = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i] ? argv[i] : "";
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            o.Inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const OptionName *option = nullptr;
        std::string value;
        bool attached = false;
        if (arg[1] == '-') {
            size_t equals = arg.find('=');
            option = FindLong(
                arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2));
            if (!option) return Fail(error, "unknown option " + arg.substr(0, equals));
            if (equals != std::string::npos) {
                if (!option->takesValue)
                    return Fail(error, arg.substr(0, equals) + " takes no value");
                value = arg.substr(equals + 1), attached = true;
            }
        } else {
            // Short flags may be grouped ("-rn"); a short option with a value takes
            // the rest of the argument or the next one.
            size_t at = 1;
            for (; at < arg.size(); at++) {
                option = FindShort(arg[at]);
                if (!option) return Fail(error, std::string("unknown option -") + arg[at]);
                if (option->takesValue) break;
                if (!Apply(*option, "", &o, error)) return 0;
            }
            if (at == arg.size()) continue; // flags only
            if (at + 1 < arg.size()) value = arg.substr(at + 1), attached = true;
        }
        if (option->takesValue && !attached) {
            if (i + 1 >= argc || !argv[i + 1])
                return Fail(error, std::string("--") + option->longName + " needs a value");
            value = argv[++i];
        }
        if (!Apply(*option, value, &o, error)) return 0;
    }
    bool converts = !o.Help && !o.Version && !o.ListPresets && o.ExportLut.empty();
    if (converts && o.Inputs.empty() && o.FilesFrom.empty())
        return Fail(error, "nothing to convert: name files or folders, or --files-from");
    if (converts && !o.DryRun && o.OutputFolder.empty())
        return Fail(error, "--out is required: the folder the toned files go to");
    if (converts && o.DryRun && o.OutputFolder.empty())
        return Fail(error, "--out is required, also for --dry-run (it names the outputs)");
    if (converts && o.Watch && o.DryRun)
        return Fail(error, "--watch converts what appears; it cannot go with --dry-run");
    *options = o;
    error->clear();
    return 1;
}

namespace {

// The usage text around the quality line's numbers.
constexpr const char *UsageHead =
    "usage: tintwell-batch [options] FILE|FOLDER...\n"
    "Tones pictures by luminance with a Tintwell tone and writes them to a folder,\n"
    "JPEG as JPEG and everything else as PNG, never overwriting a file.\n"
    "\n"
    "  -o, --out DIR          output folder (required; made if missing, mode 0700)\n"
    "  -p, --preset NAME|ROW  a built-in preset by name (any case) or row, or\n"
    "                         \"User preset n\" from the window's settings; default Gray\n"
    "      --stops TEXT       nine stops as the window copies them (\"!dd 0x...,...\")\n"
    "  -s, --shift N          tone shift -116..116 (default 0)\n"
    "  -m, --max WxH          maximum box (default: the window's, else 8192x8192;\n"
    "                         0 = no limit)\n"
    "  -q, --quality medium|high   JPEG quality ";
constexpr const char *UsageTail =
    " (default: the window's, else high)\n"
    "      --format auto|jpeg|png   every output as JPEG or as PNG (a JPEG turned\n"
    "                         upright); auto, the default: JPEG as JPEG, the rest as PNG\n"
    "      --colour-profiles on|off   read each picture's colour profile (default on);\n"
    "                         off reads every picture as sRGB, as earlier versions did\n"
    "  -r, --recursive        descend into sub-folders; outputs mirror them under --out\n"
    "  -j, --jobs N           files converted at once (default: number of cores)\n"
    "      --files-from FILE  read paths, one a line (\"-\" = standard input)\n"
    "      --memory-limit SIZE   memory for decoding pictures, shared by the jobs\n"
    "                         (K, M, G: powers of 1000; default half the memory)\n"
    "      --list-presets     print every preset row with its name and stops, then exit\n"
    "      --export-lut FILE.png   write the tone's colour table (2048 x 1, RGB), then exit\n"
    "  -n, --dry-run          print what would be converted and the output names\n"
    "      --skip-existing    leave out inputs whose output name is taken already\n"
    "      --shard K/N        convert only shard K of N (a hash of each path below\n"
    "                         its argument), for N runs side by side\n"
    "      --report FILE      write one JSON line per file and a summary to FILE\n"
    "      --watch            then keep watching the folders and convert what\n"
    "                         appears in them, until interrupted\n"
    "      --quiet            print only failures\n"
    "      --verbose          also print the settings in use\n"
    "  -h, --help             this text\n"
    "      --version          the version\n"
    "\n"
    "Exit status: 0 all done, 1 some files failed, 2 bad usage, 130 interrupted.\n";

} // namespace

const char *BatchUsageText() {
    static const std::string text = UsageHead + std::to_string(JpegQualityMedium) + " / " +
                                    std::to_string(JpegQualityHigh) + UsageTail;
    return text.c_str();
}
