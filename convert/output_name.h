// Output file names of the savers and the exclusive creation of the output file.
//
// Extension rule: a path whose lower-cased extension is one of the saver's own
// keeps its name (and case); any other becomes folder + base name + "_" + the old
// extension as written + "." + the saver's extension ("scan.tif" -> "scan_tif.png").
// Collision rule: when the name is taken, folder + base name + "_" + a fourteen-
// digit date stamp (yyyymmddhhiiss) + "." + the saver's extension is tried; when
// that is taken too (several programs, or several inputs of one name, writing in
// the same second), "_2", "_3", ... go after the stamp. A file that appears
// meanwhile is never replaced.
//
// Drafts: a saver writes into a hidden draft in the output folder
// (".tintwell-<process>-<n>.part") and moves it to its name only when it is
// complete, so a file under an output name is never a partial one, whatever
// stops the program. A failed or stopped save removes its draft.
//
// Called by the savers on any number of threads at once (the window's worker, the
// batch command's jobs); SaveClock is set only while no save runs (tests fix it).
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>
#include <initializer_list>
#include <string_view>

// The clock the date stamp is taken from (a date value: seconds since 1970 of the
// local wall-clock time). CurrentDate by default.
extern int64_t (*SaveClock)();

// The extension each saver gives its outputs.
constexpr std::u16string_view JpegExtension = u"jpg";
constexpr std::u16string_view PngExtension = u"png";

String ApplyExtensionRule(const String &path, std::initializer_list<std::u16string_view> accepted,
                          std::u16string_view extension);

// The names the savers write `path` under before the collision rule: the
// extension rule with "jpg" and "jpeg" kept for JPEG, with "png" kept for PNG.
String JpegOutputName(const String &path);
String PngOutputName(const String &path);

// The stamped alternative of `path` with the saver's extension.
String StampedOutputName(const String &path, std::u16string_view extension);

// The name tried after `stamped` was found taken `attempt` - 1 times: the stamped
// name itself for 1, then base + "_" + attempt before the extension.
String NumberedOutputName(const String &stamped, int64_t attempt);

// Creates a fresh draft in the folder of the output `path`. Answers the file
// number (automatic) and leaves the draft's path in *draft; 0 when the folder
// takes no new file (errno says why).
int64_t CreateOutputDraft(const String &path, String *draft);

// The name of a draft: prefix, process number, "-", count, suffix.
constexpr std::string_view DraftPrefix = ".tintwell-";
constexpr std::string_view DraftSuffix = ".part";

// The process that made the draft named `name` (a file name, no folder); 0 when
// the name is not a draft's.
int64_t DraftProcess(std::string_view name);

// Moves the complete, closed draft to `*path` if nothing is there, else to its
// stamped alternative. On success leaves the name used in *path and answers 1;
// otherwise removes the draft and answers 0 with errno saying why.
int PlaceOutputFile(const String &draft, String *path, std::u16string_view extension);

// Removes a draft after a failure without disturbing errno, which still tells
// the failure's cause.
void DiscardOutputDraft(const String &draft);

// Files and folders this process made for its outputs, by device and inode. A
// draft is remembered when it is created, before it can appear under an
// output's name, so a folder walk that meets the output already knows it.
// A caller whose inputs can never meet its outputs clears RememberOwnDrafts
// before the first save, so that a run of any length keeps no record per file.
extern bool RememberOwnDrafts;
void RememberOwnOutput(const String &path);
bool IsOwnOutput(uint64_t device, uint64_t inode);
