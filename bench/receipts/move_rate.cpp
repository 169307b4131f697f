// How fast the delivering thread's move is: 200,000 queued receipt lines moved to an empty
// folder in one move, timed, and checked to have left the queue empty.
#include "records/delivery.h"
#include "records/receipt_files.h"
#include "records/receipt_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

constexpr int kLines = 200000;

// The queue as a series leaves it while the folder is away: whole lines in one file.
bool FillQueue(const char* path)
{
    DWORD error = 0;
    HANDLE queue = OpenReceiptsFile(path, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS, &error);
    char* text = static_cast<char*>(std::malloc(static_cast<size_t>(kLines) * 400));
    if (queue == nullptr || text == nullptr)
        return false;
    static char line[kReceiptLineSize];
    ReceiptChain chain{};
    size_t length = 0;
    for (int i = 0; i < kLines; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%d", i + 1);
        const char* const fields[kReceiptTextFields] = {"2026-01-01T00:00:00+00:00", number, "Simulated Reader 0", "8",
                                                        "SO PIN with clear all", "format", "no", "success",
                                                        "The process is successfully completed.", "", "1.0.0.0",
                                                        "1.0.0.0", "DOMAIN\\user", "COMPUTER", "0123456789abcdef"};
        const size_t size = ComposeReceiptLine(line, fields, chain);
        std::memcpy(text + length, line, size);
        length += size;
    }
    const bool written = WriteWholeAt(queue, 0, text, length, &error);
    std::free(text);
    CloseHandle(queue);
    return written;
}

} // namespace

int main()
{
    char folder[MAX_PATH];
    DeliveryPaths paths;
    if (GetTempPathA(sizeof folder, folder) == 0 || std::strcat(folder, "keyprep-bench-share") == nullptr)
        return 1;
    CreateDirectoryA(folder, nullptr);
    if (!SetDeliveryPaths(paths, folder) || !FillQueue(paths.queue))
        return std::puts("receipts move: the queue could not be written"), 1;
    for (const char* path : {paths.share, paths.mark, paths.state, paths.aside})
        DeleteFileA(path);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const MoveResult result = MoveQueue(paths, nullptr);
    QueryPerformanceCounter(&end);
    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    const WIN32_FILE_ATTRIBUTE_DATA empty{};
    WIN32_FILE_ATTRIBUTE_DATA queue = empty;
    GetFileAttributesExA(paths.queue, GetFileExInfoStandard, &queue);
    if (result != MoveResult::Moved || queue.nFileSizeLow != 0)
        return std::puts("receipts move: the queue did not move"), 1;
    std::printf("receipts moved to the administrator's folder: %d lines in %.2f s, %.0f lines/s\n", kLines, seconds,
                kLines / seconds);
    DeleteFileA(paths.share);
    return 0;
}
