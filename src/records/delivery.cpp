#include "records/delivery.h"

#include "records/receipt_files.h"
#include "records/receipt_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Adding a line holds this lock for a moment only; a mover waits longer than any of those.
constexpr DWORD kAddLockWait = 5000;

// How far a move got. Written before the share's file is touched: a move found cut off
// (`done` 0) cuts the share's file back to `shareEnd` and moves [from, to) again. After the
// write `done` is 1: the queue up to `to` is on the share. `hash` tells whether the queue
// is still the one that the mark speaks of, or was emptied since.
struct Mark {
    long long shareEnd;
    long long from;
    long long to;
    int done;
    char hash[kChainSize];
};

bool ReadSmallFile(const char* path, char* text, size_t size)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD read = 0;
    const bool ok = ReadFile(file, text, static_cast<DWORD>(size - 1), &read, nullptr) != 0;
    text[ok ? read : 0] = '\0';
    CloseHandle(file);
    return ok;
}

bool WriteSmallFile(const char* path, const char* text)
{
    DWORD error = 0;
    HANDLE file = OpenReceiptsFile(path, 0, CREATE_ALWAYS, &error);
    if (file == nullptr)
        return false;
    const bool written = WriteWholeAt(file, 0, text, std::strlen(text), &error);
    CloseHandle(file);
    return written;
}

// The numbers and the word of a small file, space-separated; false when it has fewer.
bool ReadFields(const char* path, long long* numbers, int count, char (&word)[kChainSize])
{
    char text[160];
    if (!ReadSmallFile(path, text, sizeof text))
        return false;
    char* at = text;
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        numbers[i] = std::strtoll(at, &end, 10);
        if (end == at)
            return false;
        at = end;
    }
    at += std::strspn(at, " ");
    const size_t length = std::strcspn(at, " \r\n");
    if (length >= sizeof word)
        return false;
    std::memcpy(word, at, length);
    word[length] = '\0';
    return true;
}

bool ReadMark(const char* path, Mark& mark)
{
    long long numbers[4];
    if (!ReadFields(path, numbers, 4, mark.hash) || mark.hash[0] == '\0')
        return false;
    mark.shareEnd = numbers[0];
    mark.from = numbers[1];
    mark.to = numbers[2];
    mark.done = static_cast<int>(numbers[3]);
    return true;
}

bool WriteMark(const char* path, const Mark& mark)
{
    char text[160];
    std::snprintf(text, sizeof text, "%lld %lld %lld %d %s", mark.shareEnd, mark.from, mark.to, mark.done, mark.hash);
    return WriteSmallFile(path, text);
}

bool ReadChainState(const char* path, ReceiptChain& chain)
{
    long long sequence = 0;
    const bool read = ReadFields(path, &sequence, 1, chain.value);
    chain.sequence = read ? static_cast<unsigned long>(sequence) : 0;
    if (!read)
        chain.value[0] = '\0';
    return read;
}

void WriteChainState(const char* path, const ReceiptChain& chain)
{
    char text[96];
    std::snprintf(text, sizeof text, "%lu %s", chain.sequence, chain.value);
    WriteSmallFile(path, text);
}

// The queue's lines sorted: whole receipts for the share, with Windows line ends; every other
// byte aside, never joined to a line. Bytes that a crash leaves before a line (zeros, a
// byte-order mark) go aside without taking the line with them.
struct Sorted {
    char* good; // room for the byte-order mark and header before the lines
    size_t goodLength;
    char* aside;
    size_t asideLength;
    ReceiptChain last;
    bool any;
};

void PutAside(Sorted& sorted, const char* bytes, size_t length)
{
    std::memcpy(sorted.aside + sorted.asideLength, bytes, length);
    sorted.asideLength += length;
    std::memcpy(sorted.aside + sorted.asideLength, "\r\n", 2);
    sorted.asideLength += 2;
}

bool SortQueued(const char* text, size_t length, Sorted& sorted)
{
    sorted = Sorted{};
    sorted.good = static_cast<char*>(std::malloc(2 * length + kReceiptsStartLength + 4));
    sorted.aside = static_cast<char*>(std::malloc(3 * length + 4));
    if (sorted.good == nullptr || sorted.aside == nullptr)
        return false;
    char* out = sorted.good + kReceiptsStartLength + 2;
    for (size_t at = 0; at < length;) {
        const char* start = text + at;
        const char* newline = static_cast<const char*>(std::memchr(start, '\n', length - at));
        size_t size = newline != nullptr ? static_cast<size_t>(newline - start) : length - at;
        at += size + (newline != nullptr ? 1 : 0);
        const size_t junk = LeadingJunk(start, size);
        if (junk > 0)
            PutAside(sorted, start, junk);
        start += junk;
        size -= junk;
        const size_t content = size > 0 && start[size - 1] == '\r' ? size - 1 : size;
        ReceiptLineParts parts;
        if (newline != nullptr && content > 0 && ParseReceiptLine(start, content, parts)) {
            std::memcpy(out + sorted.goodLength, start, content);
            std::memcpy(out + sorted.goodLength + content, "\r\n", 2);
            sorted.goodLength += content + 2;
            sorted.last.sequence = parts.sequence;
            std::memcpy(sorted.last.value, parts.chain, kChainSize);
            sorted.any = true;
        } else if (content > 0) {
            PutAside(sorted, start, content);
        }
    }
    return true;
}

void FreeSorted(Sorted& sorted)
{
    std::free(sorted.good);
    std::free(sorted.aside);
}

// Where the share's file's chain stands, learnt from the file itself when this computer has
// not kept it (a first run, or a fresh profile).
void LearnChainState(const DeliveryPaths& paths)
{
    if (GetFileAttributesA(paths.state) != INVALID_FILE_ATTRIBUTES)
        return;
    HANDLE share = CreateFileA(paths.share, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (share == INVALID_HANDLE_VALUE)
        return;
    ReceiptChain chain{};
    if (ReadTailChain(share, chain))
        WriteChainState(paths.state, chain);
    CloseHandle(share);
}

// Empties a queue that was moved whole; lines added meanwhile wait for the next move.
void EmptyMovedQueue(const DeliveryPaths& paths, HANDLE queue, LONGLONG end)
{
    const FileLock adding(queue, kQueueAddLock, kAddLockWait);
    if (adding.held() && FileSizeOf(queue) == end && CutFileAt(queue, 0))
        DeleteFileA(paths.mark);
}

// The lines [from, end) of `text` onto the share, after cutting off what a move left there.
MoveResult Deliver(const DeliveryPaths& paths, const char* text, LONGLONG from, LONGLONG end, const Mark* resumed)
{
    Sorted sorted;
    DWORD error = 0;
    HANDLE share = nullptr;
    Mark mark{0, from, end, 0, ""};
    bool moved = SortQueued(text + from, static_cast<size_t>(end - from), sorted) && ChainValue("", text, static_cast<size_t>(end), mark.hash) &&
                 (share = OpenReceiptsFile(paths.share, FILE_SHARE_READ, OPEN_ALWAYS, &error)) != nullptr;
    if (moved) {
        mark.shareEnd = FileSizeOf(share);
        if (resumed != nullptr && resumed->shareEnd <= mark.shareEnd && CutFileAt(share, resumed->shareEnd))
            mark.shareEnd = resumed->shareEnd;
        // A new file starts with the byte-order mark and header, in the same write as its lines.
        const char* prefix = mark.shareEnd == 0 ? kReceiptsStart : LastByteOf(share) != '\n' ? "\r\n" : "";
        const size_t prefixLength = std::strlen(prefix);
        char* write = sorted.good + kReceiptsStartLength + 2 - prefixLength;
        std::memcpy(write, prefix, prefixLength);
        moved = mark.shareEnd >= 0 && WriteMark(paths.mark, mark) &&
                (sorted.goodLength == 0 || WriteWholeAt(share, mark.shareEnd, write, prefixLength + sorted.goodLength, &error));
    }
    if (share != nullptr)
        CloseHandle(share);
    if (moved && sorted.asideLength > 0)
        KeepAside(paths.aside, sorted.aside, sorted.asideLength);
    if (moved && sorted.any)
        WriteChainState(paths.state, sorted.last);
    mark.done = 1;
    if (moved)
        WriteMark(paths.mark, mark);
    FreeSorted(sorted);
    return moved ? MoveResult::Moved : MoveResult::Failed;
}

MoveResult MoveHeld(const DeliveryPaths& paths, HANDLE queue)
{
    LONGLONG end = -1;
    {
        const FileLock adding(queue, kQueueAddLock, kAddLockWait);
        if (adding.held())
            end = FileSizeOf(queue);
    }
    char* text = end >= 0 ? ReadFileRange(queue, 0, static_cast<size_t>(end)) : nullptr;
    if (text == nullptr)
        return MoveResult::Failed;
    Mark mark;
    LONGLONG from = 0;
    const bool marked = ReadMark(paths.mark, mark);
    char hash[kChainSize] = "";
    const bool current = marked && mark.to <= end && mark.from <= mark.to &&
                         ChainValue("", text, static_cast<size_t>(mark.to), hash) && std::strcmp(hash, mark.hash) == 0;
    if (current)
        from = mark.done ? mark.to : mark.from;
    else if (marked)
        DeleteFileA(paths.mark); // the queue that it speaks of was emptied after its move
    const bool resume = current && !mark.done;
    MoveResult result = MoveResult::Nothing;
    if (from < end)
        result = Deliver(paths, text, from, end, resume ? &mark : nullptr);
    std::free(text);
    if (result != MoveResult::Failed && end > 0)
        EmptyMovedQueue(paths, queue, end);
    if (result == MoveResult::Nothing)
        LearnChainState(paths);
    return result;
}

} // namespace

bool SetDeliveryPaths(DeliveryPaths& paths, const char* shareFolder)
{
    return ShareReceiptsPath(paths.share, shareFolder) && LocalReceiptsPath(paths.queue, "receipts-queue.csv") &&
           PathWithSuffix(paths.mark, paths.queue, ".moving") && PathWithSuffix(paths.state, paths.queue, ".chain") &&
           PathWithSuffix(paths.aside, paths.queue, ".aside");
}

MoveResult MoveQueue(const DeliveryPaths& paths, HANDLE stop)
{
    DWORD error = 0;
    HANDLE queue = OpenReceiptsFile(paths.queue, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_ALWAYS, &error);
    if (queue == nullptr)
        return MoveResult::Failed;
    MoveResult result = MoveResult::Failed;
    {
        const FileLock moving(queue, kQueueMoveLock, INFINITE, stop);
        if (moving.held())
            result = MoveHeld(paths, queue);
    }
    CloseHandle(queue);
    return result;
}

bool QueueChain(const DeliveryPaths& paths, HANDLE queue, ReceiptChain& chain)
{
    chain = ReceiptChain{};
    return ReadTailChain(queue, chain) || ReadChainState(paths.state, chain);
}
