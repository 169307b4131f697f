#include "workflow/workflow.h"

#include "common/queued_input.h"
#include "core/app_context.h"
#include "core/attempt_state.h"
#include "core/card_types.h"
#include "dialogs/credential_dialogs.h"
#include "keylib/key_library.h"
#include "res/resource.h"
#include "text/message_box.h"

#include <cstdlib>
#include <cstring>

namespace {

// A library that never ends its list, or lists the same readers in circles, must not keep
// the window frozen: the walk gives up after this many readers or at the first repeat.
constexpr int kMostReaders = 256;

bool IsRequestedReader(const char* name)
{
    return g_app.argumentCount <= 1 || ArgumentIs(1, name);
}

// The reader names seen in this walk, to notice a library that lists in circles.
class SeenReaders {
public:
    SeenReaders() = default;
    SeenReaders(const SeenReaders&) = delete;
    SeenReaders& operator=(const SeenReaders&) = delete;
    ~SeenReaders()
    {
        for (int i = 0; i < count_; ++i)
            std::free(names_[i]);
    }

    bool contains(const char* name) const
    {
        for (int i = 0; i < count_; ++i)
            if (std::strcmp(names_[i], name) == 0)
                return true;
        return false;
    }

    bool add(const char* name)
    {
        char* copy = count_ < kMostReaders ? _strdup(name) : nullptr;
        if (copy == nullptr)
            return false;
        names_[count_++] = copy;
        return true;
    }

private:
    char* names_[kMostReaders] = {};
    int count_ = 0;
};

enum class Discovery { Found, NotFound, Failed };

// Opens the reader and reads the Key's status and card type; NotFound when the reader holds
// no usable Key, which is then closed again at once. After a fault nothing is closed: the
// library is not called again.
Discovery OpenKeyIn(const char* name, int* keyStatus)
{
    int reader = kNoHandle;
    if (!g_keyLibGuard.call(&reader, g_keyLib.InitReader, name))
        return Discovery::Failed;
    if (reader == kNoHandle)
        return Discovery::NotFound;
    g_attempt.reader = reader;
    if (!g_keyLibGuard.call(keyStatus, g_keyLib.InitCard, reader, 0))
        return Discovery::Failed;
    if (*keyStatus == kNoHandle) {
        CloseAttemptReader();
        return Discovery::NotFound;
    }
    g_attempt.cardType = 0;
    int ignored = 0;
    return g_keyLibGuard.call(&ignored, g_keyLib.GetCardType, reader, &g_attempt.cardType) ? Discovery::Found
                                                                                        : Discovery::Failed;
}

// Longest reader name taken from the library, terminator included; a longer one is no
// reader that this program could name.
constexpr size_t kReaderNameSize = 512;

enum class Listed { Name, End, TooLong };

// The name of reader `index`, copied inside the guarded call: the library's pointer may be
// bad, and reading it is then the library's fault, not the program's.
bool ListReader(int index, char (&name)[kReaderNameSize], Listed* listed)
{
    return g_keyLibGuard.call([&] {
        const char* listedName = g_keyLib.EnumReaders(index);
        *listed = Listed::End;
        if (listedName == nullptr)
            return;
        const size_t length = strnlen(listedName, kReaderNameSize);
        *listed = length < kReaderNameSize ? Listed::Name : Listed::TooLong;
        if (*listed == Listed::Name)
            std::memcpy(name, listedName, length + 1);
    });
}

// Walks the readers to the first usable Key. Each key-library call is guarded on its own, so
// a fault anywhere in the library ends the walk as Failed.
Discovery OpenFirstUsableKey(int* keyStatus)
{
    SeenReaders seen;
    for (int index = 0; index < kMostReaders; ++index) {
        char name[kReaderNameSize];
        Listed listed = Listed::End;
        if (!ListReader(index, name, &listed))
            return Discovery::Failed;
        if (listed == Listed::TooLong)
            continue;
        if (listed == Listed::End || seen.contains(name) || !seen.add(name))
            return Discovery::NotFound;
        int readerType = 0;
        if (!g_keyLibGuard.call(&readerType, g_keyLib.GetReaderType, name))
            return Discovery::Failed;
        if (readerType != kUsableReaderType || !IsRequestedReader(name))
            continue;
        const Discovery discovery = OpenKeyIn(name, keyStatus);
        if (discovery != Discovery::NotFound)
            return discovery;
    }
    return Discovery::NotFound;
}

// Warning 31: going on means clearing all the Key's data, with no confirmation after. A
// message box that could not be shown (0) is no consent.
bool AcceptClearAll(HWND owner)
{
    if (ShowMessage(owner, IDS_WARN_DATA_DELETED, MB_OKCANCEL | MB_ICONWARNING) != IDOK)
        return false;
    g_attempt.clearAll = true;
    return true;
}

// Asks for what this type of Key needs; false when the user cancelled.
bool CollectCredential(HWND owner, int keyStatus)
{
    const CardType& type = CardTypeOf(g_attempt.cardType);
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
    return AskInCredentialDialog(owner, type.dialogTemplate, type.defaultText);
}

bool IsFormattedStatus(int keyStatus)
{
    return (keyStatus >= 0 && keyStatus <= 3) || keyStatus == kKeyClearAllOnly;
}

bool Confirmed(HWND owner, UINT textId)
{
    return ShowMessage(owner, textId, MB_YESNO | MB_ICONWARNING) == IDYES;
}

bool ConfirmDestructiveStep(HWND owner)
{
    if (g_attempt.operation == Operation::Format && !Confirmed(owner, IDS_CONFIRM_REFORMAT))
        return false;
    return Confirmed(owner, IDS_CONFIRM_DATA_LOSS);
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
    ShowMessage(owner, OperationFailedMessage(), MB_ICONERROR);
}

void SetUp(HWND owner, bool firstAttempt)
{
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    g_attempt.clearAll = false;

    int keyStatus = 0;
    const Discovery discovery = OpenFirstUsableKey(&keyStatus);
    // The window did not answer during the walk: keys typed meanwhile must not answer what
    // comes next.
    DiscardQueuedInput();
    switch (discovery) {
    case Discovery::Found:
        break;
    case Discovery::NotFound:
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
        ShowMessage(owner, IDS_KEY_NOT_FOUND, MB_ICONWARNING);
        return;
    case Discovery::Failed:
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
        ShowFailure(owner, IDS_INIT_KEY_FAILED);
        return;
    }

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
        ShowMessage(owner, IDS_INIT_KEY_FAILED, MB_ICONERROR);
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
    // Nor may keys typed during a last CloseReader reach the main dialog's buttons.
    DiscardQueuedInput();
    g_attempt.settingUp = false;
}
