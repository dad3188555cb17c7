// Start and end of the base runtime. StartBaseRuntime runs once on the main
// thread before any other runtime call; EndBaseRuntime once at the very end, on
// the main thread, after the worker has ended.
#pragma once

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, as a
// service manager or cron may start a program. Otherwise the first file the
// program opens takes descriptor 1 and every status line is written into it.
// The very first statement of every main, before anything can open a file.
void EnsureStandardDescriptors();
// Sets the locale from the environment (all categories), so that wide-character
// case mapping follows the user's settings, and gives the main thread its
// temporary string buffer.
void StartBaseRuntime();
// Makes the folder that holds the executable the working directory. 1 on success.
int EnterProgramFolder();
// Writes and closes every open file and closes every listing.
void EndBaseRuntime();
