#include "app/job_status.h"

// Showing the worker's status reports arrives with the conversion feature.
void HandleJobStatus() {}
