// The conversion worker's status reports as the main window shows them: log
// lines, the thumbnail and the STOP button's count. Main thread only.
#pragma once

// Code of the status events the worker posts.
constexpr int EventJobStatus = 65536;

// Shows the current EventJobStatus event.
void HandleJobStatus();
