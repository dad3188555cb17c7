// Output file names of the savers and the exclusive creation of the output file.
//
// Extension rule: a path whose lower-cased extension is one of the saver's own
// keeps its name (and case); any other becomes folder + base name + "_" + the old
// extension as written + "." + the saver's extension ("scan.tif" -> "scan_tif.png").
// Collision rule: when the name is taken, folder + base name + "_" + a fourteen-
// digit date stamp (yyyymmddhhiiss) + "." + the saver's extension is tried once;
// when that is taken too, the save fails. Names are taken by creating the file
// exclusively, so a file that appears meanwhile is never replaced.
//
// Called by the savers on the conversion worker; SaveClock is set only while no
// save runs (tests fix it).
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>
#include <initializer_list>
#include <string_view>

// The clock the date stamp is taken from (a date value: seconds since 1970 of the
// local wall-clock time). CurrentDate by default.
extern int64_t (*SaveClock)();

String ApplyExtensionRule(const String &path, std::initializer_list<std::u16string_view> accepted,
                          std::u16string_view extension);

// The stamped alternative of `path` with the saver's extension.
String StampedOutputName(const String &path, std::u16string_view extension);

// Creates the output file: `*path` if nothing is there, else its stamped
// alternative, each created exclusively. On success answers the file number
// (automatic) and leaves the name used in *path; 0 when both names are taken or
// the file cannot be created.
int64_t CreateOutputFile(String *path, std::u16string_view extension);
