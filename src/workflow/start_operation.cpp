#include "workflow/workflow.h"

#include "common/queued_input.h"
#include "core/app_context.h"
#include "core/attempt_state.h"
#include "core/card_types.h"
#include "dialogs/choose_key_dialog.h"
#include "dialogs/credential_dialogs.h"
#include "keylib/key_library.h"
#include "res/resource.h"
#include "text/message_box.h"
#include "text/text.h"
#include "workflow/reader_walk.h"

#include <cstring>

namespace {

// Warning 31: going on means clearing all the Key's data, with no confirmation after. A
// message box that could not be shown (0) is no consent.
bool AcceptClearAll(HWND owner)
{
    if (ShowMessage(owner, IDS_WARN_DATA_DELETED, MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2) != IDOK)
        return false;
    g_attempt.clearAll = true;
    return true;
}

constexpr UINT kQuestion = MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2;

// No is the default: Enter pressed without reading cancels, which harms nothing.
bool Confirmed(HWND owner, UINT textId) { return ShowMessage(owner, textId, kQuestion) == IDYES; }

// Where Key follows Key, no Key loses all its data by a tick alone: the reader is named, and
// No leaves the Key as it was.
bool ClearAllConfirmed(HWND owner)
{
    if (!g_attempt.clearAll || !g_attempt.options.askBeforeClearAll)
        return true;
    const char* reader = g_attempt.chosenReader[0] != '\0' ? g_attempt.chosenReader : g_attempt.namedReader;
    char text[kSharedTextSize];
    g_attempt.answeredNo = ShowText(owner, FormatTextArg(IDS_CONFIRM_CLEAR_ALL_KEY, reader, text, sizeof text),
                                    kQuestion) != IDYES;
    return !g_attempt.answeredNo;
}

// Asks for what this type of Key needs, unless it was kept from an earlier Key; false when the
// user cancelled. "Clear all Key's data" is always asked for anew.
bool CollectCredential(HWND owner, int keyStatus)
{
    const CardType& type = CardTypeOf(g_attempt.cardType);
    const bool kept = g_attempt.options.offerKeep && TakeKeptCredential(g_attempt.cardType);
    // A refusal of it is then no typing error of the user's (see RetryCredential).
    g_attempt.usedKept = kept;
    switch (type.step) {
    case CredentialStep::None:
        return true; // the library is tried with the buffer as it is
    case CredentialStep::DialogUnlessClearAllOnly:
        if (keyStatus == kKeyClearAllOnly)
            return AcceptClearAll(owner);
        break;
    case CredentialStep::ClearAllWarning:
        return AcceptClearAll(owner);
    case CredentialStep::Dialog:
        break;
    }
    return (kept || AskInCredentialDialog(owner, type.dialogTemplate, type.defaultText)) && ClearAllConfirmed(owner);
}

bool IsFormattedStatus(int keyStatus)
{
    return (keyStatus >= 0 && keyStatus <= 3) || keyStatus == kKeyClearAllOnly;
}

// The data-loss question may have been answered once for many Keys: a formatted Key then gets
// only its own question, unless the user chose to reformat such Keys too.
bool AskDestructiveStep(HWND owner)
{
    const Confirmation confirm = g_attempt.options.confirm;
    if (confirm == Confirmation::None)
        return true;
    if (g_attempt.operation == Operation::Format && !Confirmed(owner, IDS_CONFIRM_REFORMAT))
        return false;
    return confirm == Confirmation::FormattedKeys || Confirmed(owner, IDS_CONFIRM_DATA_LOSS);
}

// An answer No leaves the Key as it was: it is skipped, which is neither done nor failed.
bool ConfirmDestructiveStep(HWND owner)
{
    g_attempt.answeredNo = !AskDestructiveStep(owner);
    return !g_attempt.answeredNo;
}

// The handle is kept so that the worker can be waited for before the key library goes.
void StartWorker(HWND owner, WorkerMode mode)
{
    g_attempt.workerDone = false;
    g_attempt.worker = CreateThread(nullptr, 0, FormatWorker, reinterpret_cast<LPVOID>(mode), 0, nullptr);
    if (g_attempt.worker != nullptr) {
        WatchWorker();
        return;
    }
    // Without a worker nobody would close the reader.
    CloseAttemptReader();
    DiscardQueuedInput();
    g_attempt.reader = kNoHandle;
    TellResult(owner, OperationFailedMessage(), MB_ICONERROR, kExitFailed);
}

// With more than one Key the user chooses, before anything else happens to any of them. The
// readers not chosen are closed, after Cancel all of them; null when none was chosen.
const OpenKey* ChooseAmong(HWND owner, const FoundKeys& found)
{
    int chosen = 0;
    if (found.count > 1) {
        const char* names[kMostKeyChoices];
        for (int i = 0; i < found.count; ++i)
            names[i] = found.keys[i].name;
        const UINT prompt =
            g_attempt.operation == Operation::Format ? IDS_CHOOSE_KEY_TO_FORMAT : IDS_CHOOSE_KEY_TO_UNFORMAT;
        chosen = ChooseKey(owner, names, found.count, prompt);
        if (chosen >= 0)
            std::strcpy(g_attempt.chosenReader, found.keys[chosen].name);
    }
    for (int i = 0; i < found.count; ++i)
        if (i != chosen)
            CloseReaderHandle(found.keys[i].reader);
    return chosen >= 0 ? &found.keys[chosen] : nullptr;
}

// The Key's card type, 0 when the library writes none; false after a fault.
bool ReadCardType()
{
    g_attempt.cardType = 0;
    int ignored = 0;
    return g_keyLibGuard.call(&ignored, g_keyLib.GetCardType, g_attempt.reader, &g_attempt.cardType);
}

// Why no Key was found, with what the user can do about it. Where Key follows Key, the Key
// went before any work on it: it was not started.
void ReportNoKey(HWND owner, const FoundKeys& found)
{
    if (g_attempt.options.resultsInWindow) {
        TellResult(owner, IDS_SERIES_NOT_STARTED, MB_ICONWARNING, kExitNoKey);
        return;
    }
    if (found.readersListed > 0 && g_attempt.readerNamed && !found.requestedListed) {
        const char* names[] = {g_attempt.namedReader, found.listedNames};
        char text[kSharedTextSize];
        g_attempt.exitCode = kExitNoKey;
        g_attempt.resultMessage = IDS_KEY_NOT_FOUND;
        ShowText(owner, FormatTextFitted(IDS_NAMED_READER_MISSING, text, sizeof text, names, 2), MB_ICONWARNING);
        return;
    }
    const UINT message = found.readersListed == 0 ? IDS_NO_READER
                         : found.readerBusy       ? IDS_READER_BUSY
                                                  : IDS_KEY_NOT_FOUND;
    TellResult(owner, message, MB_ICONWARNING, kExitNoKey);
}

// Opens the Key that the attempt is for; false when there is none, or no choice was made.
bool OpenTheKey(HWND owner, int* keyStatus)
{
    FoundKeys found;
    const char* requested = g_attempt.chosenReader[0] != '\0' ? g_attempt.chosenReader
                            : g_attempt.readerNamed            ? g_attempt.namedReader
                                                               : nullptr;
    const Discovery discovery = FindUsableKeys(requested, found);
    // The window did not answer during the walk: what was typed meanwhile is kept for a
    // credential field, and answers nothing.
    const bool whole = TakeTypedAhead(g_attempt.typedAhead, sizeof g_attempt.typedAhead);
    // Keys that went elsewhere before the walk leave the rest of no use: part of a secret is
    // worse than none.
    if (!whole || g_attempt.options.typingMissed) {
        ForgetTypedAhead();
        g_attempt.typedAheadLost = true;
    }
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    if (discovery == Discovery::NotFound) {
        ReportNoKey(owner, found);
        return false;
    }
    if (found.count > 1)
        ForgetTypedAhead(); // the choice comes first: typing answers no list
    const OpenKey* key = discovery == Discovery::Found ? ChooseAmong(owner, found) : nullptr;
    if (key != nullptr) {
        g_attempt.reader = key->reader;
        std::strcpy(g_attempt.keyReader, key->name);
        *keyStatus = key->status;
        if (ReadCardType())
            return true;
    }
    if (g_keyLibGuard.faulted())
        ShowFailure(owner, IDS_INIT_KEY_FAILED);
    return false;
}

void SetUp(HWND owner, bool firstAttempt)
{
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    // A retry keeps the choice of "Clear all Key's data" that the rejected attempt was sent with.
    if (firstAttempt)
        g_attempt.clearAll = false;

    int keyStatus = 0;
    if (!OpenTheKey(owner, &keyStatus))
        return;
    const CardType& type = CardTypeOf(g_attempt.cardType);
    if (type.step == CredentialStep::None || type.step == CredentialStep::ClearAllWarning)
        ForgetTypedAhead(); // what comes next is a question, not a field
    if (!CollectCredential(owner, keyStatus)) {
        CloseAttemptReader();
        return;
    }

    const bool unformat = g_attempt.operation == Operation::Unformat;
    if (keyStatus == kKeyNotFormatted) {
        StartWorker(owner, unformat ? kModeUnformat : kModeFormatUnformatted);
        return;
    }
    if (!IsFormattedStatus(keyStatus)) {
        TellResult(owner, IDS_INIT_KEY_FAILED, MB_ICONERROR, kExitFailed);
        CloseAttemptReader();
        return;
    }
    if (firstAttempt && !g_attempt.clearAll && !ConfirmDestructiveStep(owner)) {
        CloseAttemptReader();
        return;
    }
    StartWorker(owner, unformat ? kModeUnformat : kModeFormat);
}

} // namespace

void StartOperation(HWND owner, bool firstAttempt)
{
    // Its dialogs and message boxes let other messages in; none of them may start a second
    // set-up, nor one beside a running worker.
    if (g_attempt.settingUp || g_attempt.worker != nullptr)
        return;
    g_attempt.settingUp = true;
    g_attempt.reachedSetUp = true;
    SetUp(owner, firstAttempt);
    ForgetTypedAhead();
    // Nor may keys typed during a last CloseReader reach the main dialog's buttons.
    DiscardQueuedInput();
    g_attempt.settingUp = false;
}
