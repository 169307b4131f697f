#include "text/text.h"

#include "common/fault_guard.h"
#include "common/library_binding.h"
#include "core/app_context.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

char g_sharedText[kSharedTextSize];

bool LoadFrom(HMODULE module, UINT id, char* buffer, int size)
{
    return module != nullptr && LoadStringA(module, id, buffer, size) > 0;
}

// Length of the conversion that starts at `percent`, or 0 when it is not a plain text
// conversion: flags, width and precision are allowed, '*' and length modifiers not.
// Widths of more than four digits are refused too: they only serve to exhaust the output.
size_t TextConversionLength(const char* percent)
{
    constexpr size_t kMostDigits = 4;
    const char* p = percent + 1;
    p += std::strspn(p, "-+ #0");
    const size_t widthDigits = std::strspn(p, "0123456789");
    p += widthDigits;
    size_t precisionDigits = 0;
    if (*p == '.') {
        ++p;
        precisionDigits = std::strspn(p, "0123456789");
        p += precisionDigits;
    }
    const bool plain = *p == 's' && widthDigits <= kMostDigits && precisionDigits <= kMostDigits &&
                       p - percent < 16;
    return plain ? static_cast<size_t>(p - percent + 1) : 0;
}

// True when `format` consumes exactly `argCount` text arguments and nothing else.
bool FormatMatches(const char* format, int argCount)
{
    int conversions = 0;
    for (const char* p = format; *p; ++p) {
        if (*p != '%')
            continue;
        if (p[1] == '%') {
            ++p;
            continue;
        }
        const size_t length = TextConversionLength(p);
        if (length == 0)
            return false;
        ++conversions;
        p += length - 1;
    }
    return conversions == argCount;
}

// More arguments than this are not shortened by FormatTextFitted; no message has so many.
constexpr int kMostFittedArgs = 8;

struct FormatJob {
    const char* format;
    const char* const* args;
    int argCount;
    char* target;
    int targetSize;
    const size_t* limits; // the most bytes of each argument, or null for no limit
    const char* ellipsis;
};

// How many bytes of `text` fit in `room` without splitting a character of the code page.
size_t FittingBytes(const char* text, size_t room)
{
    size_t length = 0;
    while (text[length] != '\0') {
        const size_t step = IsDBCSLeadByte(static_cast<BYTE>(text[length])) && text[length + 1] != '\0' ? 2 : 1;
        if (length + step > room)
            break;
        length += step;
    }
    return length;
}

// `text` cut to `limit` bytes, the last of them an ellipsis, in `shortened` (limit + 1 bytes).
const char* Shortened(const char* text, size_t limit, const char* ellipsis, char* shortened)
{
    const size_t ellipsisLength = std::strlen(ellipsis);
    if (limit < ellipsisLength) {
        shortened[0] = '\0';
        return shortened;
    }
    const size_t kept = FittingBytes(text, limit - ellipsisLength);
    std::memcpy(shortened, text, kept);
    std::strcpy(shortened + kept, ellipsis);
    return shortened;
}

// The ellipsis in the system's code page, which the message box shows; "..." where it has none.
void LoadEllipsis(char (&ellipsis)[4])
{
    BOOL defaulted = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, 0, L"\u2026", 1, ellipsis, sizeof ellipsis - 1, nullptr, &defaulted);
    if (length <= 0 || defaulted)
        std::strcpy(ellipsis, "...");
    else
        ellipsis[length] = '\0';
}

// Writes the formatted text piece by piece, so that no piece runs past the target.
void ExpandFormat(void* context)
{
    auto* job = static_cast<FormatJob*>(context);
    char* out = job->target;
    size_t room = static_cast<size_t>(job->targetSize);
    int next = 0;
    for (const char* p = job->format; *p && room > 1;) {
        size_t written;
        if (p[0] == '%' && p[1] == '%') {
            *out = '%';
            written = 1;
            p += 2;
        } else if (p[0] == '%') {
            char conversion[32] = {};
            const size_t length = TextConversionLength(p);
            std::memcpy(conversion, p, length < sizeof conversion ? length : sizeof conversion - 1);
            const char* arg = job->args[next];
            char shortened[kSharedTextSize];
            if (job->limits != nullptr && std::strlen(arg) > job->limits[next])
                arg = Shortened(arg, std::min(job->limits[next], sizeof shortened - 1), job->ellipsis, shortened);
            ++next;
            const int n = std::snprintf(out, room, conversion, arg);
            written = n < 0 ? 0 : static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room - 1;
            p += length;
        } else {
            *out = *p++;
            written = 1;
        }
        out += written;
        room -= written;
    }
    *out = '\0';
}

// Each argument's share of the `room` that the format's own words leave: the shorter ones
// whole, the longer ones equal parts of the rest.
void ShareRoom(const char* const* args, int argCount, size_t room, size_t* limits)
{
    bool whole[kMostFittedArgs] = {};
    int open = argCount;
    for (bool settled = true; settled && open > 0;) {
        settled = false;
        for (int i = 0; i < argCount; ++i) {
            const size_t length = std::strlen(args[i]);
            if (!whole[i] && length <= room / open) {
                whole[i] = settled = true;
                limits[i] = length;
                room -= length;
                --open;
            }
        }
    }
    for (int i = 0; i < argCount; ++i)
        if (!whole[i])
            limits[i] = room / open;
}

// The format's own words first, with every argument empty; then the arguments in the room
// that is left.
void ExpandFitted(void* context)
{
    auto* job = static_cast<FormatJob*>(context);
    const char* none[kMostFittedArgs] = {};
    for (int i = 0; i < job->argCount; ++i)
        none[i] = "";
    FormatJob words = *job;
    words.args = none;
    ExpandFormat(&words);
    size_t limits[kMostFittedArgs];
    char ellipsis[4];
    LoadEllipsis(ellipsis);
    job->ellipsis = ellipsis;
    ShareRoom(job->args, job->argCount, job->targetSize - 1 - std::strlen(job->target), limits);
    job->limits = limits;
    ExpandFormat(job);
}

// The format string `id` into `format`, when it takes exactly `argCount` text arguments;
// else the executable's own, else the empty text.
void LoadFormat(UINT id, int argCount, char (&format)[kSharedTextSize])
{
    // A language library is outside our control: its format must fit our arguments.
    LoadText(id, format, sizeof format);
    if (!FormatMatches(format, argCount) &&
        !(LoadFrom(GetModuleHandleA(nullptr), id, format, sizeof format) && FormatMatches(format, argCount)))
        format[0] = '\0';
}

char* Format(UINT id, char* target, int targetSize, const char* const* args, int argCount, bool fitted)
{
    if (target == nullptr) {
        target = g_sharedText;
        targetSize = kSharedTextSize;
    }
    if (targetSize == -1)
        targetSize = kSharedTextSize;
    if (targetSize <= 0)
        return target;

    char format[kSharedTextSize];
    LoadFormat(id, argCount, format);
    FormatJob job{format, args, argCount, target, targetSize, nullptr, nullptr};
    fitted = fitted && argCount <= kMostFittedArgs;
    if (!RunGuarded(fitted ? ExpandFitted : ExpandFormat, &job))
        target[0] = '\0';
    return target;
}

} // namespace

// Only the copy beside the executable counts, and only its resources: it holds strings, so
// no code of it ever runs, whatever the file carries.
bool LoadLanguageLibrary(const char* baseName)
{
    char fileName[MAX_PATH];
    char path[MAX_PATH];
    std::snprintf(fileName, sizeof fileName, "%s_lang.dll", baseName);
    HMODULE library = PathInProgramFolder(fileName, path)
                          ? LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)
                          : nullptr;
    g_app.languageModule = library ? library : GetModuleHandleA(nullptr);
    return g_app.languageModule != nullptr;
}

char* LoadText(UINT id, char* buffer, int size)
{
    if (buffer == nullptr)
        buffer = g_sharedText;
    if (size == -1)
        size = kSharedTextSize;
    if (LoadFrom(g_app.languageModule, id, buffer, size) ||
        LoadFrom(GetModuleHandleA(nullptr), id, buffer, size))
        return buffer;
    if (size > 0)
        buffer[0] = '\0';
    return buffer;
}

char* FormatText(UINT id, char* target, int targetSize, const char* const* args, int argCount)
{
    return Format(id, target, targetSize, args, argCount, false);
}

char* FormatTextFitted(UINT id, char* target, int targetSize, const char* const* args, int argCount)
{
    return Format(id, target, targetSize, args, argCount, true);
}

char* FormatTextArg(UINT id, const char* arg, char* target, int targetSize)
{
    const char* args[] = {arg};
    return FormatText(id, target, targetSize, args, 1);
}

void ReplaceText(HWND window, const char* text)
{
    char shown[256];
    const int length = window != nullptr ? GetWindowTextA(window, shown, sizeof shown) : 0;
    if (length > 0 && length < static_cast<int>(sizeof shown) - 1 && std::strcmp(shown, text) == 0)
        return;
    SetWindowTextA(window, text);
}

void ReplaceItemText(HWND dialog, int controlId, const char* text) { ReplaceText(GetDlgItem(dialog, controlId), text); }

char* CopyShortened(char* target, size_t size, const char* text)
{
    if (size == 0)
        return target;
    if (std::strlen(text) < size) {
        std::strcpy(target, text);
        return target;
    }
    char ellipsis[4];
    LoadEllipsis(ellipsis);
    Shortened(text, size - 1, ellipsis, target);
    return target;
}
