// The series' part of the main dialog: its state, counts, what is kept, the results and its
// buttons, below the usual content.
#pragma once
#include "workflow/series.h"

#include <windows.h>

// The series' commands: start (with its confirmation), Stop, show the receipts, a result chosen.
void OnSeriesCommand(HWND mainDialog, int id, int code);

// How the main dialog draws a series.
const SeriesPanel& MainDialogSeriesPanel();
