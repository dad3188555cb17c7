#include "convert/output_name.h"

#include "runtime/base/bin_file.h"
#include "runtime/base/dates.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"

#include <atomic>
#include <cerrno>
#include <string>
#include <unistd.h>

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

String StampedOutputName(const String &path, std::u16string_view extension) {
    String stamped = FolderPart(path) + FileNamePart(path, FileNameWithoutExtension) + u"_" +
                     FormatDateMask(u"%yyyy%mm%dd%hh%ii%ss", SaveClock());
    stamped += u".";
    stamped += extension;
    return stamped;
}

int64_t CreateOutputDraft(const String &path, String *draft) {
    // The process number keeps two programs apart, the count two saves of one.
    static std::atomic<uint64_t> drafts{0};
    String folder = FolderPart(path);
    for (int attempt = 0; attempt < 64; attempt++) {
        std::string name = ".tintwell-" + std::to_string(getpid()) + "-" +
                           std::to_string(drafts.fetch_add(1) + 1) + ".part";
        *draft = folder + String(name.begin(), name.end());
        int64_t file = CreateBinFileExclusive(-1, *draft);
        if (file || errno != EEXIST) return file;
    }
    return 0;
}

int PlaceOutputFile(const String &draft, String *path, std::u16string_view extension) {
    if (MoveFileNoReplace(draft, *path)) return 1;
    if (errno == EEXIST) {
        String stamped = StampedOutputName(*path, extension);
        if (MoveFileNoReplace(draft, stamped)) {
            *path = stamped;
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
