// Path splitting, the user's home folder, file sizes and single-folder and
// single-file operations. Paths are Strings; they reach the system as UTF-8.
// Callable from any thread.
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>
#include <string>

// The current user's home folder ending with "/": the password database entry of
// the user, else $HOME; empty when neither is known.
String HomeFolder();

// In the three splitters a leading double quote is skipped and the path ends at
// the next double quote, so a quoted path splits like the bare one.
// Everything up to and including the last "/".
String FolderPart(const String &path);
// The text after the last "/"; with flag 1 without its extension: the name minus
// "." + ExtensionPart(path) when that extension is not empty, else the whole name,
// so base name + "." + extension always gives back the name.
constexpr int FileNameWithoutExtension = 1;
String FileNamePart(const String &path, int flags = 0);
// Scanning back from the end, the text after the last "."; empty when a space or
// "/" comes before any ".", or when that "." starts the name (".profile").
String ExtensionPart(const String &path);

// Size in bytes; -1 when the path does not exist, -2 for a directory.
constexpr int64_t PathMissing = -1;
constexpr int64_t PathIsFolder = -2;
int64_t PathSize(const String &path);
// Creates one directory, owner-only (0700). 1 on success.
int MakeFolder(const String &path);
// Removes one file. 1 on success.
int RemoveFile(const String &path);
// Asks the system to put a folder's entries on the disk (after a rename into it).
// 1 on success.
int SyncFolder(const String &folder);
// Renames `from` to `to` in one step, replacing a file at `to` (rename(2)): a
// reader sees either the old or the new file, never a mixture. 1 on success.
int RenameFile(const String &from, const String &to);
// Moves `from` to `to` in one step only when nothing is at `to`: a file that is
// there, even one that appeared a moment before, is never replaced. Both paths
// in one file system. 1 on success; 0 with errno EEXIST when `to` is taken.
int MoveFileNoReplace(const String &from, const String &to);

// The system form of a path. False (and *native untouched) when the path cannot
// name a file: it is empty or holds a zero unit, which the system would take as
// the end of a shorter path.
bool NativePath(const String &path, std::string *native);

// Opens a regular file for reading (descriptor, close-on-exec), or -1. A named
// pipe or a device is refused at once instead of waiting for a writer.
int OpenRegularFileForReading(const std::string &native);
