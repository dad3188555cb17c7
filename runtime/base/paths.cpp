#include "runtime/base/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/base/text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The part of a path the splitters look at: inside the quotes when it is quoted.
std::u16string_view Unquoted(const String &path) {
    std::u16string_view p(path);
    if (!p.empty() && p[0] == u'"') {
        p.remove_prefix(1);
        size_t close = p.find(u'"');
        if (close != p.npos) p = p.substr(0, close);
    }
    return p;
}

std::u16string_view NameOf(std::u16string_view p) {
    size_t slash = p.rfind(u'/');
    return slash == p.npos ? p : p.substr(slash + 1);
}

std::u16string_view ExtensionOf(std::u16string_view p) {
    for (size_t i = p.size(); i-- > 0;) {
        char16_t c = p[i];
        if (c == u' ' || c == u'/') return {};
        if (c == u'.') {
            if (i == 0 || p[i - 1] == u'/' || p[i - 1] == u'\\') return {};
            return p.substr(i + 1);
        }
    }
    return {};
}

} // namespace

String HomeFolder() {
    std::string home;
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? size_t(suggested) : 16384);
    passwd entry{}, *found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0])
        home = found->pw_dir;
    else if (const char *variable = std::getenv("HOME"); variable && variable[0])
        home = variable;
    if (home.empty()) return String();
    if (home.back() != '/') home += '/';
    return StringFromUtf8(home);
}

String FolderPart(const String &path) {
    std::u16string_view p = Unquoted(path);
    size_t slash = p.rfind(u'/');
    return slash == p.npos ? String() : String(p.substr(0, slash + 1));
}

String FileNamePart(const String &path, int flags) {
    std::u16string_view p = Unquoted(path);
    std::u16string_view name = NameOf(p);
    if (flags & FileNameWithoutExtension) {
        std::u16string_view extension = ExtensionOf(p);
        // The extension always lies inside the name: the scan stops at a "/".
        if (!extension.empty()) name.remove_suffix(extension.size() + 1);
    }
    return String(name);
}

String ExtensionPart(const String &path) {
    return String(ExtensionOf(Unquoted(path)));
}

bool NativePath(const String &path, std::string *native) {
    if (path.empty() || path.find(u'\0') != String::npos) return false;
    *native = Utf8Of(path);
    return true;
}

int64_t PathSize(const String &path) {
    std::string native;
    struct stat status;
    if (!NativePath(path, &native) || stat(native.c_str(), &status) != 0) return PathMissing;
    if (S_ISDIR(status.st_mode)) return PathIsFolder;
    return int64_t(status.st_size);
}

int MakeFolder(const String &path) {
    std::string native;
    return NativePath(path, &native) && mkdir(native.c_str(), 0700) == 0 ? 1 : 0;
}

int RemoveFile(const String &path) {
    std::string native;
    return NativePath(path, &native) && unlink(native.c_str()) == 0 ? 1 : 0;
}

int SyncFolder(const String &folder) {
    std::string native;
    if (!NativePath(folder, &native)) return 0;
    int descriptor = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return 0;
    int result = fsync(descriptor);
    close(descriptor);
    return result == 0 ? 1 : 0;
}

int RenameFile(const String &from, const String &to) {
    std::string source, target;
    if (!NativePath(from, &source) || !NativePath(to, &target)) return 0;
    return rename(source.c_str(), target.c_str()) == 0 ? 1 : 0;
}

int MoveFileNoReplace(const String &from, const String &to) {
    std::string source, target;
    if (!NativePath(from, &source) || !NativePath(to, &target)) {
        errno = EINVAL;
        return 0;
    }
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return 1;
    // Some file systems cannot rename without replacing; a hard link can still
    // take the name only when it is free.
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return 0;
    if (link(source.c_str(), target.c_str()) == 0) {
        unlink(source.c_str());
        return 1;
    }
    if (errno == EEXIST || (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)) return 0;
    // Neither (a file system without links): claim the name with an empty file
    // of our own, then rename over that claim.
    int claim = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (claim < 0) return 0;
    close(claim);
    if (rename(source.c_str(), target.c_str()) == 0) return 1;
    int failure = errno;
    unlink(target.c_str());
    errno = failure;
    return 0;
}

int OpenRegularFileForReading(const std::string &native) {
    int descriptor = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return -1;
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) ||
        fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(descriptor);
        return -1;
    }
    return descriptor;
}
