#include "runtime/base/bin_file.h"

#include "runtime/base/object_table.h"
#include "runtime/base/paths.h"
#include "runtime/base/text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The stream owns the descriptor; all reading and writing goes through the
// descriptor with our own buffer, so the stream itself never buffers anything and
// every write result is the system's own answer.
struct BinFileRecord {
    FILE *handle = nullptr;
    int descriptor = -1;
    unsigned char *buffer = nullptr; // nullptr when unbuffered
    int64_t fill = 0;                // valid bytes in the buffer
    int64_t position = 0;            // next byte for the caller (read-ahead only)
    enum { Idle, ReadAhead, PendingWrites } mode = Idle;
    bool failed = false; // a write or flush came up short
};

// Writes everything, retrying after interruptions; answers the bytes that made it.
int64_t WriteAll(int descriptor, const unsigned char *bytes, int64_t length) {
    int64_t done = 0;
    while (done < length) {
        ssize_t n = write(descriptor, bytes + done, size_t(length - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t ReadAll(int descriptor, unsigned char *bytes, int64_t length) {
    int64_t done = 0;
    while (done < length) {
        ssize_t n = read(descriptor, bytes + done, size_t(length - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

// Brings the descriptor's position to the caller's position: pending writes go
// out, unread read-ahead is given back. False when pending writes failed.
bool Settle(BinFileRecord &f) {
    bool ok = true;
    if (f.mode == BinFileRecord::PendingWrites) {
        if (WriteAll(f.descriptor, f.buffer, f.fill) != f.fill) {
            f.failed = true;
            ok = false;
        }
    } else if (f.mode == BinFileRecord::ReadAhead && f.fill > f.position) {
        lseek(f.descriptor, -(f.fill - f.position), SEEK_CUR);
    }
    f.fill = f.position = 0;
    f.mode = BinFileRecord::Idle;
    return ok;
}

// Settles, closes and frees; false if any write of the file failed.
bool FinishFile(BinFileRecord &f) {
    bool ok = Settle(f) && !f.failed;
    if (std::fclose(f.handle) != 0) ok = false;
    std::free(f.buffer);
    f = BinFileRecord{};
    return ok;
}

void ReleaseFile(BinFileRecord &f) {
    FinishFile(f);
}

// Made on first use, so a file opened during another file's static start-up
// still finds its table.
ObjectTable<BinFileRecord> &Files() {
    static ObjectTable<BinFileRecord> table;
    static const bool ready = (table.releaseRecord = ReleaseFile, true);
    (void)ready;
    return table;
}

enum class OpenMode { Create, CreateExclusive, ReadWrite, ReadOnly };

FILE *OpenStream(const std::string &native, OpenMode mode) {
    switch (mode) {
    case OpenMode::Create:
        return std::fopen(native.c_str(), "w+e");
    case OpenMode::ReadOnly: {
        // Only regular files are read: opening a named pipe or a device would wait
        // for a writer or read forever, so it is opened without waiting, looked at
        // and refused.
        int descriptor = OpenRegularFileForReading(native);
        if (descriptor < 0) return nullptr;
        FILE *stream = fdopen(descriptor, "r");
        if (!stream) close(descriptor);
        return stream;
    }
    case OpenMode::ReadWrite: {
        FILE *stream = std::fopen(native.c_str(), "r+e");
        if (!stream && errno == ENOENT) stream = std::fopen(native.c_str(), "w+e");
        return stream;
    }
    case OpenMode::CreateExclusive: {
        int descriptor = open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor < 0) return nullptr;
        FILE *stream = fdopen(descriptor, "w+");
        if (!stream) {
            close(descriptor);
            unlink(native.c_str()); // we made it, so it goes again
        }
        return stream;
    }
    }
    return nullptr;
}

int64_t OpenFile(int64_t file, const String &path, int flags, OpenMode mode) {
    std::string native;
    if (!NativePath(path, &native)) return 0;
    unsigned char *buffer = nullptr;
    if (!(flags & BinFileUnbuffered)) {
        buffer = static_cast<unsigned char *>(std::malloc(BinFileBufferSize));
        if (!buffer) return 0;
    }
    // A reused number closes its old file first, so pending writes of that file
    // never land in the file opened now (it may be the same path).
    int64_t issued = 0;
    BinFileRecord *record = ObjectAllocate(Files(), file, &issued);
    if (!record) {
        std::free(buffer);
        return 0;
    }
    FILE *stream = OpenStream(native, mode);
    struct stat status;
    // A folder opens for reading on this system but is no file to read.
    if (stream && (fstat(fileno(stream), &status) != 0 || S_ISDIR(status.st_mode))) {
        std::fclose(stream);
        stream = nullptr;
    }
    if (!stream) {
        ObjectDiscard(Files(), record);
        std::free(buffer);
        return 0;
    }
    std::setvbuf(stream, nullptr, _IONBF, 0);
    record->descriptor = fileno(stream);
    record->buffer = buffer;
    record->handle = stream;
    return ObjectCreated(file, issued, record);
}

BinFileRecord *Find(int64_t file) {
    return ObjectLookup(Files(), file);
}

int64_t WriteLittleEndian(int64_t file, uint64_t value, int bytes) {
    unsigned char out[8];
    for (int i = 0; i < bytes; ++i) out[i] = (unsigned char)(value >> (8 * i));
    return WriteBytes(file, out, bytes);
}

} // namespace

int64_t CreateBinFile(int64_t file, const String &path, int flags) {
    return OpenFile(file, path, flags, OpenMode::Create);
}

int64_t CreateBinFileExclusive(int64_t file, const String &path, int flags) {
    return OpenFile(file, path, flags, OpenMode::CreateExclusive);
}

int64_t OpenBinFile(int64_t file, const String &path, int flags) {
    return OpenFile(file, path, flags, OpenMode::ReadWrite);
}

int64_t OpenBinFileForReading(int64_t file, const String &path, int flags) {
    return OpenFile(file, path, flags, OpenMode::ReadOnly);
}

int WriteAllBytes(int64_t file, const void *block, size_t length) {
    return length == 0 || WriteBytes(file, block, int64_t(length)) == int64_t(length);
}

int64_t WriteBytes(int64_t file, const void *block, int64_t length) {
    BinFileRecord *f = Find(file);
    if (!f || !block || length <= 0) return 0;
    const auto *bytes = static_cast<const unsigned char *>(block);
    if (f->mode == BinFileRecord::ReadAhead) Settle(*f);
    if (!f->buffer || length >= BinFileBufferSize) {
        if (!Settle(*f)) return 0;
        int64_t written = WriteAll(f->descriptor, bytes, length);
        if (written != length) f->failed = true;
        return written;
    }
    if (f->fill + length > BinFileBufferSize && !Settle(*f)) return 0;
    std::memcpy(f->buffer + f->fill, bytes, size_t(length));
    f->fill += length;
    f->mode = BinFileRecord::PendingWrites;
    // A full buffer goes out now; if that fails, this write did not reach the file.
    if (f->fill == BinFileBufferSize && !Settle(*f)) return 0;
    return length;
}

int64_t WriteInt8(int64_t file, int64_t value) {
    return WriteLittleEndian(file, uint64_t(value), 1);
}
int64_t WriteInt32(int64_t file, int64_t value) {
    return WriteLittleEndian(file, uint64_t(value), 4);
}
int64_t WriteInt64(int64_t file, int64_t value) {
    return WriteLittleEndian(file, uint64_t(value), 8);
}

int64_t ReadBytes(int64_t file, void *block, int64_t length) {
    BinFileRecord *f = Find(file);
    if (!f || !block || length <= 0) return 0;
    auto *bytes = static_cast<unsigned char *>(block);
    if (f->mode == BinFileRecord::PendingWrites) Settle(*f);
    int64_t done = 0;
    if (f->mode == BinFileRecord::ReadAhead) {
        int64_t take = f->fill - f->position < length ? f->fill - f->position : length;
        std::memcpy(bytes, f->buffer + f->position, size_t(take));
        f->position += take;
        done = take;
    }
    int64_t rest = length - done;
    if (rest == 0) return done;
    // The read-ahead is used up here; the rest comes from the file.
    f->fill = f->position = 0;
    f->mode = BinFileRecord::Idle;
    if (!f->buffer || rest >= BinFileBufferSize)
        return done + ReadAll(f->descriptor, bytes + done, rest);
    int64_t got = ReadAll(f->descriptor, f->buffer, BinFileBufferSize);
    if (got <= 0) return done;
    int64_t take = got < rest ? got : rest;
    std::memcpy(bytes + done, f->buffer, size_t(take));
    f->fill = got;
    f->position = take;
    f->mode = BinFileRecord::ReadAhead;
    return done + take;
}

int32_t ReadInt32(int64_t file) {
    unsigned char in[4];
    if (ReadBytes(file, in, 4) != 4) return 0;
    return int32_t(uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 |
                   uint32_t(in[3]) << 24);
}

int SeekBinFile(int64_t file, int64_t position) {
    BinFileRecord *f = Find(file);
    if (!f || position < 0) return 0;
    Settle(*f);
    return lseek(f->descriptor, off_t(position), SEEK_SET) == off_t(position) ? 1 : 0;
}

int64_t BinFilePosition(int64_t file) {
    BinFileRecord *f = Find(file);
    if (!f) return -1;
    off_t at = lseek(f->descriptor, 0, SEEK_CUR);
    if (at < 0) return -1;
    if (f->mode == BinFileRecord::PendingWrites) return int64_t(at) + f->fill;
    if (f->mode == BinFileRecord::ReadAhead) return int64_t(at) - (f->fill - f->position);
    return int64_t(at);
}

int64_t BinFileLength(int64_t file) {
    BinFileRecord *f = Find(file);
    if (!f) return -1;
    if (f->mode == BinFileRecord::PendingWrites) Settle(*f);
    struct stat status;
    return fstat(f->descriptor, &status) == 0 ? int64_t(status.st_size) : -1;
}

int TruncateBinFile(int64_t file) {
    BinFileRecord *f = Find(file);
    if (!f) return 0;
    Settle(*f);
    off_t at = lseek(f->descriptor, 0, SEEK_CUR);
    return at >= 0 && ftruncate(f->descriptor, at) == 0 ? 1 : 0;
}

int SyncBinFile(int64_t file) {
    BinFileRecord *f = Find(file);
    if (!f) return 0;
    if (!Settle(*f) || f->failed) return 0;
    int result;
    do result = fsync(f->descriptor);
    while (result != 0 && errno == EINTR);
    if (result != 0) f->failed = true;
    return result == 0 ? 1 : 0;
}

int CloseBinFile(int64_t file) {
    ObjectTable<BinFileRecord> &table = Files();
    if (file == -1) {
        bool ok = true;
        for (int64_t number : ObjectNumbersWhere(table, [](const BinFileRecord &) { return true; }))
            if (!CloseBinFile(number)) ok = false;
        return ok ? 1 : 0;
    }
    BinFileRecord *f = Find(file);
    if (!f) return 0;
    bool ok = FinishFile(*f);
    ObjectDiscard(table, f);
    return ok ? 1 : 0;
}
