// The one confirmation of a series, which stands for every Key connected until Stop.
#pragma once
#include <windows.h>

// True when the user starts the series on `reader`; `reformat` tells whether Keys that
// already hold the maker's data are reformatted without a question of their own. No is the
// default, as in every question that deletes data.
bool ConfirmSeries(HWND owner, const char* reader, bool* reformat);
