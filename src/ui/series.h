// A series of Keys: Format after Format in one reader, each started when a Key is connected,
// with a receipt for every Key. Runs in the main dialog, which stays open and responsive.
#pragma once
#include <windows.h>

// Private message from the series' poller to the main dialog: wParam is a ProbeResult.
constexpr UINT kSeriesProbeMessage = WM_APP + 1;

// Starts a series after its confirmation: on the reader named on the command line, or the
// only one connected, or the one the user chooses.
void StartSeries(HWND mainDialog);
bool SeriesRunning();
// Ends the series: no Key is started after it; the kept credentials are wiped.
void StopSeries(HWND mainDialog);
void OnSeriesProbe(HWND mainDialog, WPARAM result);
// To be called whenever an attempt may have ended: a series records it and goes on.
void SeriesAfterAttemptWork(HWND mainDialog);
void OnSeriesCommand(HWND mainDialog, int id);
