// A worker's own thread, made and ended by each platform's calls; which
// worker a caller gets (the kept one or a new one) is decided once, above them.
#pragma once

#include "platform/platform.h"

// A new worker waiting for its first job; null when no thread can be had.
PlatformWorker* PlatformNewWorker();

// Waits for the job last started, ends the thread and frees the worker.
void PlatformEndWorker(PlatformWorker* worker);
