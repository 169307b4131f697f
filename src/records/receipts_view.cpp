// Show receipts: on a thread of its own, since reading the administrator's folder may take
// as long as the share likes.
#include "records/receipt_files.h"
#include "records/receipts.h"

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct ViewRequest {
    char path[MAX_PATH];
    char queue[MAX_PATH]; // empty without an administrator's folder
    char computer[MAX_COMPUTERNAME_LENGTH + 1];
};

// The whole file, or null when it is missing or cannot be read.
char* ReadWhole(const char* path, size_t* length)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    const LONGLONG size = FileSizeOf(file);
    char* text = size >= 0 ? ReadFileRange(file, 0, static_cast<size_t>(size)) : nullptr;
    *length = text != nullptr ? static_cast<size_t>(size) : 0;
    CloseHandle(file);
    return text;
}

// The share's file as it is, or a header when there is none yet, and the waiting lines after it.
bool WriteView(const ViewRequest& request, char (&view)[MAX_PATH])
{
    char folder[MAX_PATH];
    if (GetTempPathA(sizeof folder, folder) == 0 ||
        std::snprintf(view, sizeof view, "%skeyprep receipts of %s.csv", folder, request.computer) >= MAX_PATH)
        return false;
    size_t shareLength = 0;
    size_t queueLength = 0;
    char* share = ReadWhole(request.path, &shareLength);
    char* queue = ReadWhole(request.queue, &queueLength);
    DWORD error = 0;
    HANDLE file = OpenReceiptsFile(view, FILE_SHARE_READ, CREATE_ALWAYS, &error);
    bool written = file != nullptr;
    if (written && shareLength > 0)
        written = WriteWholeAt(file, 0, share, shareLength, &error);
    else if (written)
        written = WriteWholeAt(file, 0, kReceiptsStart, kReceiptsStartLength, &error);
    if (written && queueLength > 0)
        written = WriteWholeAt(file, FileSizeOf(file), queue, queueLength, &error);
    if (file != nullptr)
        CloseHandle(file);
    std::free(share);
    std::free(queue);
    return written;
}

DWORD WINAPI ShowView(LPVOID parameter)
{
    auto* request = static_cast<ViewRequest*>(parameter);
    char view[MAX_PATH];
    const char* path = request->path;
    if (request->queue[0] != '\0')
        path = WriteView(*request, view) ? view : nullptr;
    if (path != nullptr && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES &&
        reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", path, nullptr, "", SW_SHOWNORMAL)) <= 32) {
        char quoted[MAX_PATH + 2];
        std::snprintf(quoted, sizeof quoted, "\"%s\"", path);
        ShellExecuteA(nullptr, "open", "notepad.exe", quoted, "", SW_SHOWNORMAL);
    }
    std::free(request);
    return 0;
}

} // namespace

void ShowReceiptsFile(const Receipts& receipts)
{
    auto* request = static_cast<ViewRequest*>(std::calloc(1, sizeof(ViewRequest)));
    if (request == nullptr)
        return;
    std::memcpy(request->path, receipts.path, sizeof request->path);
    std::memcpy(request->computer, receipts.computer, sizeof request->computer);
    if (receipts.toShare && !LocalReceiptsPath(request->queue, "receipts-queue.csv"))
        request->path[0] = '\0';
    HANDLE thread = CreateThread(nullptr, 0, ShowView, request, 0, nullptr);
    if (thread != nullptr)
        CloseHandle(thread);
    else
        std::free(request);
}
