#pragma once

// Throws away the keyboard and mouse input that queued for this thread while it was busy,
// so that keys pressed before a box appeared never answer it.
void DiscardQueuedInput();
