#include "common/queued_input.h"

#include <windows.h>

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

} // namespace

void DiscardQueuedInput()
{
    MSG message;
    for (const auto& range : kInputRanges)
        for (int i = 0; i < kMostPerRange && PeekMessageA(&message, nullptr, range[0], range[1], PM_REMOVE); ++i) {
        }
}
