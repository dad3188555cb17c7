// The signals that ask a program to end (SIGTERM at log-out or shutdown, SIGINT
// from a terminal, SIGHUP when the terminal goes) turned into the Quit item, so
// the application runs its own quit sequence instead of dying where it stands.
// Main thread only, after StartToolkit.
#pragma once

// From now on each of the three signals queues event 1 with item -4 (window -1),
// as the Quit item does. A signal the program was started with ignored (nohup)
// stays ignored. 1 when the signals are caught, 0 when that failed (they then
// keep ending the program at once).
int CatchQuitSignals();

// Gives the three signals back the handling they had before CatchQuitSignals.
void ReleaseQuitSignals();
