#include "records/receipts.h"

#include "records/delivery.h"
#include "records/event_log.h"
#include "records/receipt_files.h"

#include <bcrypt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The user-interface thread waits no longer for another writer of the queue.
constexpr DWORD kAddWait = 100;
// While lines wait, the delivering thread tries again this often; else now and then, for the
// lines that another instance left.
constexpr DWORD kRetryDelay = 2000;
constexpr DWORD kIdleDelay = 30000;
constexpr DWORD kQueueShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct Delivery {
    HANDLE thread;
    HANDLE kick; // a line was added, or a series closed its receipts
    HANDLE stop;
    DeliveryPaths paths;
    volatile LONG failing;
    volatile LONG waited;
    ReceiptsListener listener;
};

Delivery g_delivery;

void NoteMove(MoveResult result)
{
    const DWORD error = GetLastError();
    if (result == MoveResult::Failed)
        InterlockedExchange(&g_delivery.waited, 1);
    const LONG failing = result == MoveResult::Failed ? 1 : 0;
    if (InterlockedExchange(&g_delivery.failing, failing) == failing)
        return;
    if (failing)
        LogReceiptsWaiting(g_delivery.paths.share, g_delivery.paths.queue, error);
    else
        LogReceiptsDelivered(g_delivery.paths.share, g_delivery.paths.queue);
    if (g_delivery.listener != nullptr)
        g_delivery.listener(failing != 0);
}

// Moves whenever a line was added, now and then, and once more when asked to stop, so that the
// last Key's line does not wait for the next start when the share answers.
DWORD WINAPI DeliverLoop(LPVOID)
{
    const HANDLE events[] = {g_delivery.stop, g_delivery.kick};
    for (;;) {
        const bool finishing = WaitForSingleObject(g_delivery.stop, 0) == WAIT_OBJECT_0;
        const MoveResult result = MoveQueue(g_delivery.paths, g_delivery.stop);
        // The last try at exit may find another program moving: that is no sign of a share away.
        if (!finishing || result != MoveResult::Failed)
            NoteMove(result);
        if (finishing)
            return 0;
        WaitForMultipleObjects(2, events, FALSE, g_delivery.failing ? kRetryDelay : kIdleDelay);
    }
}

// Local time in ISO 8601, with the offset from UTC that was in force.
void FormatNow(char* text, size_t size)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    TIME_ZONE_INFORMATION zone;
    const DWORD kind = GetTimeZoneInformation(&zone);
    const LONG bias = zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : kind == TIME_ZONE_ID_STANDARD ? zone.StandardBias : 0);
    const LONG offset = bias < 0 ? -bias : bias;
    std::snprintf(text, size, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond, bias > 0 ? '-' : '+', offset / 60, offset % 60);
}

// DOMAIN\user of the account that the program runs as.
void ReadUser(char (&user)[kReceiptNameSize])
{
    std::strcpy(user, "?");
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return;
    union {
        TOKEN_USER user;
        BYTE bytes[256];
    } info;
    DWORD size = 0;
    char name[256];
    char domain[256];
    DWORD nameSize = sizeof name;
    DWORD domainSize = sizeof domain;
    SID_NAME_USE use;
    if (GetTokenInformation(token, TokenUser, &info, sizeof info, &size) &&
        LookupAccountSidA(nullptr, info.user.User.Sid, name, &nameSize, domain, &domainSize, &use))
        std::snprintf(user, sizeof user, "%s\\%s", domain, name);
    CloseHandle(token);
}

// A series identifier that no other series shares: 64 random bits.
void NewSeriesId(char (&series)[kSeriesIdSize])
{
    unsigned char random[8];
    if (BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG) < 0) {
        const DWORD seed[2] = {GetTickCount(), GetCurrentProcessId()};
        std::memcpy(random, seed, sizeof random);
    }
    for (int i = 0; i < 8; ++i)
        std::snprintf(series + 2 * i, 3, "%02x", random[i]);
}

// A line added to the queue: whole, in one write, after the queue's last line. A last line
// that a crash cut off gets its line end first, so that nothing is glued to it; the move
// puts it aside.
bool AddToQueue(HANDLE queue, Receipts& receipts, const char* const (&fields)[kReceiptTextFields])
{
    const FileLock adding(queue, kQueueAddLock, kAddWait);
    static char line[kReceiptLineSize];
    ReceiptChain chain;
    QueueChain(g_delivery.paths, queue, chain);
    const size_t length = adding.held() ? ComposeReceiptLine(line, fields, chain) : 0;
    LONGLONG end = length > 0 ? FileSizeOf(queue) : -1;
    receipts.error = !adding.held() ? ERROR_LOCK_VIOLATION : ERROR_INVALID_DATA;
    if (end > 0 && LastByteOf(queue) != '\n' && WriteWholeAt(queue, end, "\r\n", 2, &receipts.error))
        end += 2;
    return end >= 0 && LastByteOf(queue) == '\n' && WriteWholeAt(queue, end, line, length, &receipts.error);
}

bool QueueLine(Receipts& receipts, const char* const (&fields)[kReceiptTextFields])
{
    HANDLE queue = OpenReceiptsFile(g_delivery.paths.queue, kQueueShareMode, OPEN_ALWAYS, &receipts.error);
    if (queue == nullptr)
        return false;
    const bool written = AddToQueue(queue, receipts, fields);
    CloseHandle(queue);
    if (written)
        SetEvent(g_delivery.kick);
    return written;
}

// A file of the program's own ends in whole lines: a line cut off by a crash or a full disk
// goes aside, next to it, before the next line is added.
bool EndInWholeLines(HANDLE file, const char* path)
{
    const LONGLONG size = FileSizeOf(file);
    if (size <= 0 || LastByteOf(file) == '\n')
        return size >= 0;
    const LONGLONG tail = size < static_cast<LONGLONG>(kReceiptLineSize) ? size : static_cast<LONGLONG>(kReceiptLineSize);
    char* text = ReadFileRange(file, size - tail, static_cast<size_t>(tail));
    if (text == nullptr)
        return false;
    LONGLONG cut = tail;
    while (cut > 0 && text[cut - 1] != '\n')
        --cut;
    char aside[MAX_PATH];
    const bool kept = PathWithSuffix(aside, path, ".aside") && KeepAside(aside, text + cut, static_cast<size_t>(tail - cut)) &&
                      KeepAside(aside, "\r\n", 2);
    std::free(text);
    return kept && CutFileAt(file, size - tail + cut);
}

bool OpenOwnFile(Receipts& receipts)
{
    receipts.file = OpenReceiptsFile(receipts.path, FILE_SHARE_READ, OPEN_ALWAYS, &receipts.error);
    if (receipts.file == nullptr || !EndInWholeLines(receipts.file, receipts.path))
        return false;
    if (FileSizeOf(receipts.file) == 0)
        return WriteWholeAt(receipts.file, 0, kReceiptsStart, kReceiptsStartLength, &receipts.error);
    ReadTailChain(receipts.file, receipts.chain);
    return true;
}

bool WriteOwnFile(Receipts& receipts, const char* const (&fields)[kReceiptTextFields])
{
    static char line[kReceiptLineSize];
    ReceiptChain chain = receipts.chain;
    const size_t length = receipts.file != nullptr ? ComposeReceiptLine(line, fields, chain) : 0;
    const LONGLONG end = length > 0 ? FileSizeOf(receipts.file) : -1;
    receipts.error = receipts.file == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_DATA;
    if (end < 0 || !WriteWholeAt(receipts.file, end, line, length, &receipts.error))
        return false;
    receipts.chain = chain;
    return true;
}

} // namespace

void StartDeliveringReceipts(const char* shareFolder)
{
    if (g_delivery.thread != nullptr || !SetDeliveryPaths(g_delivery.paths, shareFolder))
        return;
    g_delivery.kick = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    g_delivery.stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_delivery.thread = CreateThread(nullptr, 0, DeliverLoop, nullptr, 0, nullptr);
}

bool StopDeliveringReceipts(DWORD milliseconds)
{
    if (g_delivery.thread == nullptr)
        return true;
    SetEvent(g_delivery.stop);
    return WaitForSingleObject(g_delivery.thread, milliseconds) == WAIT_OBJECT_0;
}

ReceiptsState CurrentReceiptsState()
{
    WIN32_FILE_ATTRIBUTE_DATA aside;
    const bool keptAside = g_delivery.thread != nullptr &&
                           GetFileAttributesExA(g_delivery.paths.aside, GetFileExInfoStandard, &aside) &&
                           (aside.nFileSizeLow != 0 || aside.nFileSizeHigh != 0);
    return {g_delivery.failing != 0, g_delivery.failing == 0 && g_delivery.waited != 0, keptAside};
}

const char* ReceiptsAsidePath() { return g_delivery.paths.aside; }

void SetReceiptsListener(ReceiptsListener listener) { g_delivery.listener = listener; }

bool OpenReceipts(Receipts& receipts, const char* path, const char* shareFolder, const char* programVersion,
                  const char* keyLibraryVersion)
{
    receipts = Receipts{};
    std::snprintf(receipts.programVersion, sizeof receipts.programVersion, "%s", programVersion);
    std::snprintf(receipts.keyLibraryVersion, sizeof receipts.keyLibraryVersion, "%s", keyLibraryVersion);
    DWORD size = sizeof receipts.computer;
    if (!GetComputerNameA(receipts.computer, &size))
        std::strcpy(receipts.computer, "?");
    ReadUser(receipts.user);
    NewSeriesId(receipts.series);
    if (shareFolder != nullptr) {
        StartDeliveringReceipts(shareFolder);
        receipts.toShare = g_delivery.thread != nullptr;
        std::snprintf(receipts.path, sizeof receipts.path, "%s", g_delivery.paths.share);
        receipts.error = receipts.toShare ? 0 : ERROR_FILENAME_EXCED_RANGE;
        return receipts.toShare;
    }
    if (path != nullptr && std::strlen(path) >= sizeof receipts.path) {
        std::snprintf(receipts.path, sizeof receipts.path, "%s", path);
        receipts.error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    if (path != nullptr)
        std::snprintf(receipts.path, sizeof receipts.path, "%s", path);
    else if (!LocalReceiptsPath(receipts.path, "receipts.csv")) {
        receipts.error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    if (OpenOwnFile(receipts))
        return true;
    CloseReceipts(receipts);
    return false;
}

bool WriteReceipt(Receipts& receipts, const Receipt& receipt)
{
    char time[40];
    char number[16];
    char type[16];
    char code[16] = "";
    FormatNow(time, sizeof time);
    std::snprintf(number, sizeof number, "%d", receipt.keyNumber);
    std::snprintf(type, sizeof type, "%d", receipt.cardType);
    if (receipt.error != 0)
        std::snprintf(code, sizeof code, "0x%08lX", receipt.error);
    const char* const fields[kReceiptTextFields] = {
        time,           number,          receipt.reader,           type,
        receipt.cardTypeName, receipt.operation, receipt.clearAll ? "yes" : "no", receipt.result,
        receipt.message, code,           receipts.programVersion,  receipts.keyLibraryVersion,
        receipts.user,  receipts.computer, receipts.series};
    return receipts.toShare ? QueueLine(receipts, fields) : WriteOwnFile(receipts, fields);
}

void CloseReceipts(Receipts& receipts)
{
    if (receipts.file != nullptr)
        CloseHandle(receipts.file);
    receipts.file = nullptr;
    if (receipts.toShare && g_delivery.kick != nullptr)
        SetEvent(g_delivery.kick);
}
