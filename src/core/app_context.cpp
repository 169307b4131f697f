#include "core/app_context.h"

#include <cstring>

AppContext g_app;

bool ArgumentIs(int slot, const char* word)
{
    return slot < g_app.argumentCount && g_app.arguments[slot] != nullptr &&
           std::strcmp(g_app.arguments[slot], word) == 0;
}
