#include "text/message_box.h"

#include "common/queued_input.h"
#include "core/app_context.h"
#include "text/text.h"

int ShowMessage(HWND owner, UINT id, UINT style) { return ShowText(owner, LoadText(id), style); }

// Keys and clicks made before the box appeared were not meant for it.
int ShowText(HWND owner, const char* text, UINT style)
{
    DiscardQueuedInput();
    return MessageBoxA(owner, text, g_app.caption, style);
}
