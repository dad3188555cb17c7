// Buffered binary files as numbered objects (see object_table.h; growth step 16).
// Integers are written and read little-endian.
//
// Buffering: writes collect in a 4096-byte buffer and reach the file when it is
// full, before a seek, a length query, a truncation or a read, and on close; a
// write of 4096 bytes or more goes straight to the file. Reads fill the buffer; a
// read of 4096 bytes or more bypasses it. Opening with BinFileUnbuffered gives no
// buffer at all.
//
// Failures are never hidden: a write the system refused (a full disk) makes the
// write that noticed it answer fewer bytes than asked and marks the file failed;
// CloseBinFile answers 0 for a failed file, so a caller that checks the close
// knows whether every byte reached the file.
//
// Callable from any thread; one file object is used by one thread at a time.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>

constexpr int BinFileUnbuffered = 0x80000;
constexpr int64_t BinFileBufferSize = 4096;

// Open calls answer per the object-table convention (the automatic number for
// file -1, else the stream handle), 0 when the file cannot be opened.
// Creates or truncates, for reading and writing.
int64_t CreateBinFile(int64_t file, const String &path, int flags = 0);
// Creates a new file for reading and writing; fails if anything exists at the path,
// even when it appears between a caller's check and this call.
int64_t CreateBinFileExclusive(int64_t file, const String &path, int flags = 0);
// Opens for reading and writing, creating the file when it does not exist.
int64_t OpenBinFile(int64_t file, const String &path, int flags = 0);
// Reading opens regular files only (a folder, pipe or device is refused at once).
int64_t OpenBinFileForReading(int64_t file, const String &path, int flags = 0);

// Each answers the bytes written (0 for no file).
int64_t WriteInt8(int64_t file, int64_t value);
int64_t WriteInt32(int64_t file, int64_t value);
int64_t WriteInt64(int64_t file, int64_t value);
int64_t WriteBytes(int64_t file, const void *block, int64_t length);
// 1 when all `length` bytes were written (nothing to write counts as written).
int WriteAllBytes(int64_t file, const void *block, size_t length);
// 0 for no file or when fewer than 4 bytes remain.
int32_t ReadInt32(int64_t file);
// Bytes read.
int64_t ReadBytes(int64_t file, void *block, int64_t length);

// Absolute position; 1 on success.
int SeekBinFile(int64_t file, int64_t position);
// The current position, -1 for no file.
int64_t BinFilePosition(int64_t file);
// Length including pending writes; -1 for no file.
int64_t BinFileLength(int64_t file);
// Cuts the file at the current position; 1 on success.
int TruncateBinFile(int64_t file);
// Writes what is pending and asks the system to put the file's bytes on the
// disk (fsync); 1 when every write so far reached the file and the sync worked.
int SyncBinFile(int64_t file);
// Writes what is pending and closes; -1 closes every file. 1 when every write of
// the file (every file) reached it and the close succeeded, else 0.
int CloseBinFile(int64_t file);
