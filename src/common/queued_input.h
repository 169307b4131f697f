#pragma once
#include <windows.h>

// PeekMessage hands out a posted quit whatever the filter, and a quit left in the queue makes
// every wait return at once. It is kept aside while the queue is emptied or waited on, and
// posted again when the keeper goes, so that the loop that waits for it still ends.
class QuitKeeper {
public:
    QuitKeeper() = default;
    QuitKeeper(const QuitKeeper&) = delete;
    QuitKeeper& operator=(const QuitKeeper&) = delete;
    ~QuitKeeper();

    // Takes the next message of the range; false when there is none, or a quit came out.
    bool peek(MSG& message, UINT first, UINT last);
    // Keeps a quit that the caller took out of the queue itself.
    void keep(const MSG& quit);

private:
    bool seen_ = false;
    int exitCode_ = 0;
};

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

// Adds a typed character to `text` (of `size` bytes) as a field would: Backspace takes the last
// one back, control keys are dropped. False, with `text` as it was, when it does not fit.
bool AddTypedCharacter(char* text, size_t size, WPARAM character);
