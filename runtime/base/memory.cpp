#include "runtime/base/memory.h"

#include "runtime/base/numbers.h"
#include "runtime/base/scratch_text.h"
#include "runtime/base/text.h"

#include <cstdlib>
#include <cstring>

namespace {

// The size lives in a 16-byte header so the block itself keeps malloc's alignment.
constexpr size_t HeaderBytes = 16;

unsigned char *HeaderOf(const void *block) {
    return static_cast<unsigned char *>(const_cast<void *>(block)) - HeaderBytes;
}

void *BlockOf(unsigned char *header, int64_t size) {
    std::memcpy(header, &size, sizeof size);
    return header + HeaderBytes;
}

bool SizeFits(int64_t size) {
    return size > 0 && uint64_t(size) <= SIZE_MAX - HeaderBytes;
}

} // namespace

void *AllocBlock(int64_t size, int flags) {
    if (!SizeFits(size)) return nullptr;
    auto *header = static_cast<unsigned char *>(flags & BlockNotCleared
                                                    ? std::malloc(size_t(size) + HeaderBytes)
                                                    : std::calloc(1, size_t(size) + HeaderBytes));
    return header ? BlockOf(header, size) : nullptr;
}

void *ResizeBlock(void *block, int64_t size, int flags) {
    if (!block) return AllocBlock(size, flags);
    if (!SizeFits(size)) return nullptr;
    int64_t old = BlockSize(block);
    auto *header =
        static_cast<unsigned char *>(std::realloc(HeaderOf(block), size_t(size) + HeaderBytes));
    if (!header) return nullptr;
    void *grown = BlockOf(header, size);
    if (size > old && !(flags & BlockNotCleared))
        std::memset(static_cast<unsigned char *>(grown) + old, 0, size_t(size - old));
    return grown;
}

void FreeBlock(void *block) {
    if (block) std::free(HeaderOf(block));
}

int64_t BlockSize(const void *block) {
    if (!block) return 0;
    int64_t size;
    std::memcpy(&size, HeaderOf(block), sizeof size);
    return size;
}

void CopyBlock(const void *source, void *destination, int64_t length) {
    if (source && destination && length > 0) std::memmove(destination, source, size_t(length));
}

void FillBlock(void *block, int64_t length, int64_t value, int type) {
    if (!block || length <= 0) return;
    size_t unit;
    switch (type) {
    case TypeInt16:
    case TypeUnicodeChar:
    case TypeWord:
        unit = 2;
        break;
    case TypeInt32:
        unit = 4;
        break;
    case TypeInt64:
        unit = 8;
        break;
    default:
        unit = 1;
        break;
    }
    unsigned char pattern[8];
    for (size_t i = 0; i < 8; ++i) pattern[i] = (unsigned char)(uint64_t(value) >> (8 * i));
    auto *bytes = static_cast<unsigned char *>(block);
    if (unit == 1) {
        std::memset(bytes, pattern[0], size_t(length));
        return;
    }
    size_t total = size_t(length);
    for (size_t at = 0; at < total; at += unit)
        std::memcpy(bytes + at, pattern, total - at < unit ? total - at : unit);
}

String ReadMemoryString(const void *address, int64_t length, int format) {
    size_t mark = ScratchMark();
    if (!address || length == 0 || length < -1) return TakeScratchText(mark);
    // -1 reads to the terminator; that is the largest count there can be.
    uint64_t limit = length == -1 ? UINT64_MAX : uint64_t(length);
    const auto *bytes = static_cast<const unsigned char *>(address);
    switch (format & 0xFF) {
    case TextFormatUtf16:
        for (uint64_t i = 0; i < limit; ++i) {
            char16_t unit;
            std::memcpy(&unit, bytes + 2 * i, 2);
            if (!unit) break;
            AppendScratch(unit);
        }
        break;
    case TextFormatAscii:
        for (uint64_t i = 0; i < limit && bytes[i]; ++i) AppendScratch(char16_t(bytes[i]));
        break;
    case TextFormatUtf8:
        for (uint64_t i = 0; i < limit && *bytes; ++i) {
            char32_t c;
            // Four bytes may be looked at: the decoder stops at a zero byte.
            bytes += DecodeUtf8Char(bytes, 4, &c);
            AppendScratchCodePoint(c);
        }
        break;
    default:
        break;
    }
    return TakeScratchText(mark);
}

int64_t WriteMemoryString(void *address, const String &s, int64_t length, int format) {
    if (!address) return 0;
    size_t count = length < 0 || uint64_t(length) > s.size() ? s.size() : size_t(length);
    bool terminate = !(format & NoTerminator);
    auto *out = static_cast<unsigned char *>(address);
    size_t written = 0;
    switch (format & 0xFF) {
    case TextFormatUtf16:
        std::memcpy(out, s.data(), count * 2);
        written = count * 2;
        if (terminate) out[written] = out[written + 1] = 0;
        return int64_t(written);
    case TextFormatAscii:
        for (size_t i = 0; i < count; ++i) out[i] = s[i] <= 0xFF ? (unsigned char)s[i] : '?';
        written = count;
        break;
    case TextFormatUtf8: {
        String part = s.substr(0, count);
        std::string utf8 = Utf8Of(part);
        std::memcpy(out, utf8.data(), utf8.size());
        written = utf8.size();
        break;
    }
    default:
        return 0;
    }
    if (terminate) out[written] = 0;
    return int64_t(written);
}

int32_t ReadMemoryLong(const void *address) {
    int32_t value = 0;
    if (address) std::memcpy(&value, address, sizeof value);
    return value;
}

uint16_t ReadMemoryChar(const void *address) {
    uint16_t value = 0;
    if (address) std::memcpy(&value, address, sizeof value);
    return value;
}
