#include "convert/output_name.h"

#include "runtime/base/bin_file.h"
#include "runtime/base/dates.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"

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

int64_t CreateOutputFile(String *path, std::u16string_view extension) {
    int64_t file = CreateBinFileExclusive(-1, *path);
    if (file) return file;
    String stamped = StampedOutputName(*path, extension);
    file = CreateBinFileExclusive(-1, stamped);
    if (file) *path = stamped;
    return file;
}
