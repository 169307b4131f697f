#pragma once

// Throws away the keyboard and mouse input that queued for this thread while it was busy,
// so that keys pressed before a box appeared never answer it. A quit message met on the way
// is handed back to the queue.
void DiscardQueuedInput();

// The same, but the characters typed meanwhile are added to the text in `typed` (of at most
// `size` - 1 characters), in order, spaces included, as a credential field would take them:
// Backspace takes the last one back; Enter, Escape, Tab and other control keys are dropped,
// so that none of them answers a box. False when they did not all fit; `typed` is empty
// then, for part of a secret is worse than none.
bool TakeTypedAhead(char* typed, int size);
