#include "app/command_line.h"

namespace {

char* SkipSpaces(char* p)
{
    while (*p == ' ')
        ++p;
    return p;
}

} // namespace

int SplitCommandLine(int slotCount, char** slots, char* text)
{
    if (slotCount <= 0)
        return 0;

    char* p = SkipSpaces(text);
    slots[0] = *p ? p : nullptr;
    int used = slots[0] ? 1 : 0;
    bool inQuotes = false;

    while (used > 0 && *p) {
        if (*p == '"') {
            if (!inQuotes)
                slots[used - 1] = p + 1; // anything before the opening quote is dropped
            else
                *p = '\0';
            inQuotes = !inQuotes;
            ++p;
        } else if (*p == ' ' && !inQuotes) {
            *p = '\0';
            p = SkipSpaces(p + 1);
            if (!*p || used == slotCount)
                break; // a word beyond the last slot stays untouched
            slots[used++] = p;
        } else {
            ++p;
        }
    }

    for (int i = used; i < slotCount; ++i)
        slots[i] = nullptr;
    return used;
}
