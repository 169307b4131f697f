// The program's printf family runs on the system's msvcrt. The C library's own C99 printf,
// which libstdc++ switches on for every std::snprintf, adds about 20 KB of floating-point
// formatting that the program never uses: it formats integers and strings only, and those
// msvcrt formats alike. What the callers rely on is kept: the result always ends with a NUL,
// and the return value is the length the whole text needs, so a cut text shows as too long.
#include <climits>
#include <cstdarg>
#include <cstdio>

extern "C" {

int __cdecl __mingw_vsnprintf(char* __restrict__ out, size_t size, const char* __restrict__ format, va_list args)
{
    va_list counting;
    va_copy(counting, args);
    const int needed = _vscprintf(format, counting);
    va_end(counting);
    if (size == 0 || needed < 0)
        return needed;
    const size_t written = static_cast<size_t>(needed) < size ? static_cast<size_t>(needed) : size - 1;
    _vsnprintf(out, written, format, args);
    out[written] = '\0';
    return needed;
}

int __cdecl __mingw_vsprintf(char* __restrict__ out, const char* __restrict__ format, va_list args)
{
    // The caller vouches for the room, as with sprintf itself.
    return __mingw_vsnprintf(out, INT_MAX, format, args);
}

} // extern "C"
