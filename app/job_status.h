// The conversion worker's status reports as the main window shows them: log
// lines, the thumbnail and the STOP button's count. Main thread only, except
// the sink, which the worker calls.
#pragma once

#include "convert/conversion_status.h"

// Code of the status events the worker posts.
constexpr int EventJobStatus = 65536;

// The main window's status sink: posts each status as an EventJobStatus (window
// field = status code, object field, data field), never merged, in order.
StatusSink WindowStatusSink();

// Shows the current EventJobStatus event.
void HandleJobStatus();
