// The administrator's values in a line at the bottom of the main dialog.
#pragma once
#include <windows.h>

// Adds the line while some policy is set; the dialog grows for it.
void AddPolicyNote(HWND dialog);
// Keeps it at the bottom, also below the series' part when the window grows for it.
void PlacePolicyNote(HWND dialog);
