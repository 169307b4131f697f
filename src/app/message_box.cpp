#include "app/message_box.h"

#include "app/app_context.h"
#include "text/text.h"

int ShowMessage(HWND owner, UINT id, UINT style)
{
    return MessageBoxA(owner, LoadText(id), g_app.caption, style);
}
