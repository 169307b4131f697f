#include "records/verify_receipts.h"

#include "records/receipt_files.h"
#include "records/receipt_line.h"

#include <cstdlib>
#include <cstring>

namespace {

struct Line {
    const char* text;
    size_t length; // without the line end
    bool whole;    // ended by CR LF
};

// The line that starts at `at`; `at` moves past it.
Line NextLine(const char* text, size_t size, size_t& at)
{
    const char* start = text + at;
    const char* newline = static_cast<const char*>(std::memchr(start, '\n', size - at));
    const size_t length = newline != nullptr ? static_cast<size_t>(newline - start) : size - at;
    at += length + (newline != nullptr ? 1 : 0);
    const bool whole = newline != nullptr && length > 0 && start[length - 1] == '\r';
    return {start, whole ? length - 1 : length, whole};
}

// Whether a line further on carries `sequence`: then the lines were swapped, not lost.
bool ComesLater(const char* text, size_t size, size_t at, unsigned long sequence)
{
    while (at < size) {
        const Line line = NextLine(text, size, at);
        ReceiptLineParts parts;
        if (line.whole && ParseReceiptLine(line.text, line.length, parts) && parts.sequence == sequence)
            return true;
    }
    return false;
}

// Whether the line with `parts` repeats one before `end`: then it is doubled, not misplaced.
bool CameBefore(const char* text, size_t end, const ReceiptLineParts& parts)
{
    for (size_t at = kReceiptsStartLength; at < end;) {
        const Line line = NextLine(text, end, at);
        ReceiptLineParts earlier;
        if (line.whole && ParseReceiptLine(line.text, line.length, earlier) && earlier.sequence == parts.sequence)
            return std::strcmp(earlier.chain, parts.chain) == 0;
    }
    return false;
}

ReceiptsVerdict Check(const char* text, size_t size)
{
    ReceiptsVerdict verdict{ReceiptsFault::None, 1, 0, 0, 0, 0};
    if (size < kReceiptsStartLength || std::memcmp(text, kReceiptsStart, kReceiptsStartLength) != 0) {
        verdict.fault = ReceiptsFault::NoHeader;
        return verdict;
    }
    ReceiptChain chain{};
    for (size_t at = kReceiptsStartLength; at < size;) {
        ++verdict.line;
        const Line line = NextLine(text, size, at);
        ReceiptLineParts parts;
        char value[kChainSize];
        if (!line.whole || !ParseReceiptLine(line.text, line.length, parts)) {
            verdict.fault = ReceiptsFault::Changed;
            return verdict;
        }
        verdict.sequence = parts.sequence;
        const bool first = verdict.count++ == 0;
        if (first)
            verdict.first = parts.sequence;
        if (!first && parts.sequence == chain.sequence)
            verdict.fault = ReceiptsFault::Doubled;
        else if (!first && parts.sequence < chain.sequence)
            verdict.fault = CameBefore(text, static_cast<size_t>(line.text - text), parts) ? ReceiptsFault::Doubled
                                                                                          : ReceiptsFault::OutOfOrder;
        else if (!first && parts.sequence > chain.sequence + 1)
            verdict.fault = ComesLater(text, size, at, chain.sequence + 1) ? ReceiptsFault::OutOfOrder : ReceiptsFault::Missing;
        // The first line of a file that continues an earlier one cannot be tied to it here.
        else if ((!first || parts.sequence == 1) &&
                 (!ChainValue(chain.value, line.text, parts.chainedLength, value) || std::strcmp(value, parts.chain) != 0))
            verdict.fault = ReceiptsFault::Changed;
        if (verdict.fault == ReceiptsFault::Missing)
            verdict.sequence = chain.sequence + 1;
        if (verdict.fault != ReceiptsFault::None)
            return verdict;
        chain.sequence = parts.sequence;
        std::memcpy(chain.value, parts.chain, kChainSize);
    }
    verdict.last = chain.sequence;
    return verdict;
}

} // namespace

ReceiptsVerdict VerifyReceipts(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    const LONGLONG size = file != INVALID_HANDLE_VALUE ? FileSizeOf(file) : -1;
    char* text = size >= 0 ? ReadFileRange(file, 0, static_cast<size_t>(size)) : nullptr;
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (text == nullptr)
        return {ReceiptsFault::Unreadable, 0, 0, 0, 0, 0};
    const ReceiptsVerdict verdict = Check(text, static_cast<size_t>(size));
    std::free(text);
    return verdict;
}
