// The common controls are loaded on a second thread while the main thread
// verifies the payloads, and waited for before anything that needs them.
#pragma once

// Starts loading them; where no thread can be started, loads them at once.
void StartLoadingCommonControls();

// Returns once they are loaded and initialised (InitCommonControls has run).
// Safe to call more than once, and without a start before it.
void WaitForCommonControls();
