#include "convert/output_name.h"

#include "runtime/base/bin_file.h"
#include "runtime/base/dates.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"

#include <atomic>
#include <cerrno>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Enough for any folder a person fills; past it the save fails with EEXIST
// rather than trying names without end.
constexpr int64_t NumberedNameLimit = 100000;

// A file that was there before a draft was made cannot share the draft's device
// and inode; only a file made later, after a failed draft freed its inode, can
// be taken for one of ours.
struct OwnOutputs {
    std::mutex lock;
    std::set<std::pair<uint64_t, uint64_t>> files;
};

OwnOutputs &Outputs() {
    static OwnOutputs outputs;
    return outputs;
}

} // namespace

int64_t (*SaveClock)() = [] { return CurrentDate(); };

String ApplyExtensionRule(const String &path, std::initializer_list<std::u16string_view> accepted,
                          std::u16string_view extension) {
    String found = ExtensionPart(path);
    String lower = TextLower(found);
    for (std::u16string_view own : accepted)
        if (lower == own) return path;
    String renamed = FolderPart(path) + FileNamePart(path, FileNameWithoutExtension) + u"_" + found;
    renamed += u".";
    renamed += extension;
    return renamed;
}

String JpegOutputName(const String &path) {
    return ApplyExtensionRule(path, {JpegExtension, u"jpeg"}, JpegExtension);
}

String PngOutputName(const String &path) {
    return ApplyExtensionRule(path, {PngExtension}, PngExtension);
}

String StampedOutputName(const String &path, std::u16string_view extension) {
    String stamped = FolderPart(path) + FileNamePart(path, FileNameWithoutExtension) + u"_" +
                     FormatDateMask(u"%yyyy%mm%dd%hh%ii%ss", SaveClock());
    stamped += u".";
    stamped += extension;
    return stamped;
}

String NumberedOutputName(const String &stamped, int64_t attempt) {
    if (attempt <= 1) return stamped;
    std::string number = "_" + std::to_string(attempt);
    String numbered = FolderPart(stamped) + FileNamePart(stamped, FileNameWithoutExtension) +
                      String(number.begin(), number.end());
    String extension = ExtensionPart(stamped);
    if (!extension.empty()) numbered += u"." + extension;
    return numbered;
}

int64_t CreateOutputDraft(const String &path, String *draft) {
    // The process number keeps two programs apart, the count two saves of one.
    static std::atomic<uint64_t> drafts{0};
    String folder = FolderPart(path);
    for (int attempt = 0; attempt < 64; attempt++) {
        std::string name = std::string(DraftPrefix) + std::to_string(getpid()) + "-" +
                           std::to_string(drafts.fetch_add(1) + 1) + std::string(DraftSuffix);
        *draft = folder + String(name.begin(), name.end());
        int64_t file = CreateBinFileExclusive(-1, *draft);
        if (file && RememberOwnDrafts) RememberOwnOutput(*draft);
        if (file || errno != EEXIST) return file;
    }
    return 0;
}

int64_t DraftProcess(std::string_view name) {
    if (name.size() <= DraftPrefix.size() + DraftSuffix.size() || !name.starts_with(DraftPrefix) ||
        !name.ends_with(DraftSuffix))
        return 0;
    name = name.substr(DraftPrefix.size(), name.size() - DraftPrefix.size() - DraftSuffix.size());
    size_t dash = name.find('-');
    if (dash == 0 || dash > 10 || dash + 1 == name.size()) return 0;
    int64_t process = 0;
    for (size_t i = 0; i < name.size(); i++) {
        if (i == dash) continue;
        if (name[i] < '0' || name[i] > '9') return 0;
        if (i < dash) process = process * 10 + (name[i] - '0');
    }
    return process;
}

int PlaceOutputFile(const String &draft, String *path, std::u16string_view extension) {
    if (MoveFileNoReplace(draft, *path)) return 1;
    // One stamp for every attempt, so the numbered names follow the stamped one.
    String stamped = StampedOutputName(*path, extension);
    for (int64_t attempt = 1; errno == EEXIST && attempt <= NumberedNameLimit; attempt++) {
        String name = NumberedOutputName(stamped, attempt);
        if (MoveFileNoReplace(draft, name)) {
            *path = name;
            return 1;
        }
    }
    DiscardOutputDraft(draft);
    return 0;
}

void DiscardOutputDraft(const String &draft) {
    int failure = errno;
    RemoveFile(draft);
    errno = failure;
}

bool RememberOwnDrafts = true;

void RememberOwnOutput(const String &path) {
    std::string native;
    struct stat status;
    if (!NativePath(path, &native) || stat(native.c_str(), &status) != 0) return;
    std::lock_guard<std::mutex> hold(Outputs().lock);
    Outputs().files.insert({uint64_t(status.st_dev), uint64_t(status.st_ino)});
}

bool IsOwnOutput(uint64_t device, uint64_t inode) {
    std::lock_guard<std::mutex> hold(Outputs().lock);
    return Outputs().files.count({device, inode}) != 0;
}
