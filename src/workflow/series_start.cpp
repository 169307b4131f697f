#include "common/fault_guard.h"
#include "common/queued_input.h"
#include "core/app_context.h"
#include "core/policy.h"
#include "dialogs/choose_key_dialog.h"
#include "keylib/key_library.h"
#include "records/event_log.h"
#include "res/resource.h"
#include "text/message_box.h"
#include "workflow/reader_walk.h"
#include "workflow/series_state.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr UINT kWaitQuestion = MB_YESNO | MB_ICONQUESTION;

// A USB token is a reader only while it is plugged in: a reader that is not there may be one
// that is about to come. Yes waits for it; No ends with "no reader".
bool WaitForReader(HWND dialog, const char* named, const char* listed)
{
    char text[kSharedTextSize];
    const char* args[] = {named, listed};
    const bool wait = named != nullptr
                          ? ShowText(dialog, FormatTextFitted(IDS_SERIES_WAIT_NAMED, text, sizeof text, args, 2),
                                     kWaitQuestion) == IDYES
                          : ShowMessage(dialog, IDS_SERIES_WAIT_FIRST, kWaitQuestion) == IDYES;
    CopyShortened(g_series.status.reader, sizeof g_series.status.reader, named != nullptr ? named : "");
    g_app.exitCode = wait ? kExitCancelled : kExitNoKey;
    return wait;
}

bool IsListed(char (*names)[kReaderNameSize], int count, const char* name)
{
    for (int i = 0; i < count; ++i)
        if (std::strcmp(names[i], name) == 0)
            return true;
    return false;
}

// Writing failed: the series stops before the next Key, and says which Key has no receipt.
void NoteLostReceipt(const char* message)
{
    char number[16];
    char reason[kSharedTextSize] = "";
    std::snprintf(number, sizeof number, "%d", g_series.keyNumber);
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, g_series.receipts.error, 0,
                       reason, sizeof reason, nullptr) == 0)
        std::snprintf(reason, sizeof reason, "0x%08lX", g_series.receipts.error);
    const char* args[] = {number, g_series.status.reader, message, g_series.receipts.path, reason};
    FormatTextFitted(IDS_SERIES_RECEIPT_FAILED, g_series.lostReceipt, sizeof g_series.lostReceipt, args, 5);
    g_series.receiptLost = true;
}

} // namespace

bool ChooseSeriesReader(HWND dialog)
{
    char names[kMostKeyChoices][kReaderNameSize];
    char listed[kListedNamesSize];
    const int count = ListUsableReaders(names, kMostKeyChoices, listed);
    if (count < 0) {
        g_app.exitCode = kExitFailed;
        if (KeyLibraryUsable(dialog))
            ShowMessage(dialog, IDS_INIT_KEY_FAILED, MB_ICONERROR);
        return false;
    }
    if (g_app.argumentCount > 1) {
        if (!IsListed(names, count, g_app.arguments[1]))
            return WaitForReader(dialog, g_app.arguments[1], listed);
        std::strcpy(g_series.status.reader, g_app.arguments[1]);
        return true;
    }
    if (count == 0)
        return WaitForReader(dialog, nullptr, listed);
    const char* list[kMostKeyChoices];
    for (int i = 0; i < count; ++i)
        list[i] = names[i];
    const int chosen = count == 1 ? 0 : ChooseKey(dialog, list, count, IDS_SERIES_CHOOSE_READER);
    g_app.exitCode = kExitCancelled;
    if (chosen < 0)
        return false;
    std::strcpy(g_series.status.reader, names[chosen]);
    return true;
}

// The receipts file: the administrator's folder when a policy sets one, else the one named on
// the command line after the reader, unless that word is the option for all free space, or
// the usual one.
bool OpenSeriesReceipts(HWND dialog, const char* programVersion, const char* keyLibraryVersion)
{
    const bool named = g_app.argumentCount > 2 && !ArgumentIs(2, kOccupyAllWord);
    if (OpenReceipts(g_series.receipts, named ? g_app.arguments[2] : nullptr, PolicyReceiptsFolder(),
                     programVersion, keyLibraryVersion))
        return true;
    char reason[kSharedTextSize] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, g_series.receipts.error, 0,
                   reason, sizeof reason, nullptr);
    char path[MAX_PATH + kSharedTextSize];
    std::snprintf(path, sizeof path, "%s (%s)", g_series.receipts.path, reason);
    char text[kSharedTextSize];
    ShowText(dialog, FormatTextArg(IDS_SERIES_NO_RECEIPTS, path, text, sizeof text), MB_ICONERROR);
    g_app.exitCode = kExitFailed;
    return false;
}

bool KeyFailed(const AttemptResult& result)
{
    return result.exitCode != kExitSuccess && result.exitCode != kExitCancelled && result.exitCode != kExitNoKey;
}

void RecordKey(const AttemptResult& result)
{
    if (g_series.keyRecorded || g_series.keyNumber == 0)
        return;
    g_series.keyRecorded = true;
    char message[kSharedTextSize];
    const Receipt receipt = ReceiptOf(result, g_series.keyNumber, g_series.status.reader, message, sizeof message);
    if (!WriteReceipt(g_series.receipts, receipt))
        NoteLostReceipt(message);
    LogKeyEnded(receipt, g_series.name);
}

// The time, the Key's number and its message, newest first, in the window; the line starts
// with what became of the Key.
void ShowResult(HWND dialog, const AttemptResult& result)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char number[16];
    char text[kSharedTextSize];
    char line[kSharedTextSize + 64];
    std::snprintf(number, sizeof number, "%d", g_series.keyNumber);
    const char* args[] = {number, g_series.status.lastMessage};
    FormatText(IDS_SERIES_RESULT_LINE, text, sizeof text, args, 2);
    const UINT word = result.exitCode == kExitSuccess ? IDS_SERIES_WORD_DONE
                      : KeyFailed(result)             ? IDS_SERIES_WORD_FAILED
                                                      : IDS_SERIES_WORD_NOT_DONE;
    std::snprintf(line, sizeof line, "%s  %02d:%02d:%02d  %s", LoadText(word), now.wHour, now.wMinute, now.wSecond,
                  text);
    if (IsWindow(dialog))
        g_series.panel.addResult(dialog, line, KeyFailed(result));
}

void ForgetTypedWhileWaiting()
{
    SecureZeroMemory(g_series.typed, sizeof g_series.typed);
    g_series.typedLost = false;
}

bool TakeTypedWhileWaiting(char character)
{
    if (!SeriesRunning() || g_attempt.busy)
        return false;
    // A pause this long starts what is typed anew: it was not meant for the Key to come.
    if (GetTickCount() - g_series.lastTyped > kTypedForKeyWindow)
        ForgetTypedWhileWaiting();
    g_series.lastTyped = GetTickCount();
    if (!AddTypedCharacter(g_series.typed, sizeof g_series.typed, static_cast<unsigned char>(character)))
        g_series.typedLost = true;
    return true;
}

void ResetSeries(const SeriesPanel& panel, bool reformat)
{
    char reader[kReaderNameSize];
    std::strcpy(reader, g_series.status.reader);
    g_series.status = SeriesStatus{};
    g_series.status.phase = SeriesPhase::Waiting;
    std::strcpy(g_series.status.reader, reader);
    g_series.panel = panel;
    g_series.reformatWithoutAsking = reformat;
    g_series.keyNumber = 0;
    g_series.firstFailure = kExitSuccess;
    g_series.faulted = g_series.stopRequested = g_series.closeRequested = g_series.receiptLost = false;
    g_series.lastTyped = GetTickCount() - kTypedForKeyWindow;
    ForgetTypedWhileWaiting();
}

void ShowSeriesReceipts() { ShowReceiptsFile(g_series.receipts); }
