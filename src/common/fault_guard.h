#pragma once

// Runs `body(context)`; returns false when it raised a processor fault (an access
// violation, say), which is then caught and abandoned instead of ending the process.
bool RunGuarded(void (*body)(void* context), void* context);
