// Start and end of the base runtime. StartBaseRuntime runs once on the main
// thread before any other runtime call; EndBaseRuntime once at the very end, on
// the main thread, after the worker has ended.
#pragma once

// Sets the locale from the environment (all categories), so that wide-character
// case mapping follows the user's settings, and gives the main thread its
// temporary string buffer.
void StartBaseRuntime();
// Makes the folder that holds the executable the working directory. 1 on success.
int EnterProgramFolder();
// Writes and closes every open file and closes every listing.
void EndBaseRuntime();
