#include "text/message_box.h"

#include "core/app_context.h"
#include "text/text.h"

int ShowMessage(HWND owner, UINT id, UINT style) { return ShowText(owner, LoadText(id), style); }

int ShowText(HWND owner, const char* text, UINT style) { return MessageBoxA(owner, text, g_app.caption, style); }
