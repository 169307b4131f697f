#include "common/queued_input.h"

#include <windows.h>

#include <cstring>

namespace {

// Keys, characters and Alt+F4; clicks and moves in client and frame areas. Ranges rather
// than PM_QS_INPUT, so that input posted by another program goes too.
constexpr UINT kInputRanges[][2] = {
    {WM_KEYFIRST, WM_KEYLAST},
    {WM_MOUSEFIRST, WM_MOUSELAST},
    {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK},
};

// A bound, in case the platform keeps making mouse moves while the queue is emptied.
constexpr int kMostPerRange = 4096;

// One look at the queue before the range by range search: a search that finds nothing costs
// each time, and mostly nothing is queued. Input that another program posted counts as a
// posted message. (QS_INPUT would carry flags that older systems refuse.)
bool MayHoldInput()
{
    return HIWORD(GetQueueStatus(QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_POSTMESSAGE)) != 0;
}

} // namespace

QuitKeeper::~QuitKeeper()
{
    if (seen_)
        PostQuitMessage(exitCode_);
}

bool QuitKeeper::peek(MSG& message, UINT first, UINT last)
{
    if (seen_ || !PeekMessageA(&message, nullptr, first, last, PM_REMOVE))
        return false;
    if (message.message != WM_QUIT)
        return true;
    keep(message);
    return false;
}

void QuitKeeper::keep(const MSG& quit)
{
    seen_ = true;
    exitCode_ = static_cast<int>(quit.wParam);
}

bool TakeTypedAhead(char* typed, int size)
{
    if (size <= 0)
        return false;
    typed[strnlen(typed, static_cast<size_t>(size) - 1)] = '\0';
    bool fits = true;
    MSG message;
    if (!MayHoldInput())
        return true;
    QuitKeeper quit;
    // A translated key press posts its character, which comes out before the next key.
    for (int i = 0; i < kMostPerRange && quit.peek(message, WM_KEYFIRST, WM_KEYLAST); ++i) {
        if (message.message == WM_KEYDOWN) {
            TranslateMessage(&message);
            continue;
        }
        if (message.message != WM_CHAR)
            continue;
        fits = AddTypedCharacter(typed, static_cast<size_t>(size), message.wParam) && fits;
    }
    if (!fits)
        SecureZeroMemory(typed, static_cast<size_t>(size));
    DiscardQueuedInput();
    return fits;
}

bool AddTypedCharacter(char* text, size_t size, WPARAM character)
{
    const size_t length = strnlen(text, size - 1);
    if (character == '\b') {
        if (length > 0)
            text[length - 1] = '\0';
        return true;
    }
    if (character < ' ' || character == 0x7F)
        return true; // Enter, Escape, Tab and the like answer nothing here
    if (length + 1 >= size)
        return false;
    text[length] = static_cast<char>(character);
    text[length + 1] = '\0';
    return true;
}

void DiscardQueuedInput()
{
    if (!MayHoldInput())
        return;
    MSG message;
    QuitKeeper quit;
    for (const auto& range : kInputRanges)
        for (int i = 0; i < kMostPerRange && quit.peek(message, range[0], range[1]); ++i) {
        }
}
