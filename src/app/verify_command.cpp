#include "app/verify_command.h"

#include "app/command_line.h"
#include "records/verify_receipts.h"
#include "res/resource.h"
#include "text/message_box.h"
#include "text/text.h"

#include <cstdio>
#include <cstring>

namespace {

// Output that goes to a file or a pipe is read by a script; a console window or nothing at
// all means a person, who gets a box.
bool WriteToCaughtOutput(const char* text)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE)
        return false;
    const DWORD type = GetFileType(output);
    DWORD written = 0;
    return (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) &&
           WriteFile(output, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr) &&
           WriteFile(output, "\r\n", 2, &written, nullptr);
}

UINT VerdictText(ReceiptsFault fault, unsigned long count, unsigned long first)
{
    switch (fault) {
    case ReceiptsFault::None:
        return count == 0 ? IDS_VERIFY_EMPTY : first > 1 ? IDS_VERIFY_WHOLE_CONTINUED : IDS_VERIFY_WHOLE;
    case ReceiptsFault::Unreadable:
        return IDS_VERIFY_UNREADABLE;
    case ReceiptsFault::NoHeader:
        return IDS_VERIFY_NO_HEADER;
    case ReceiptsFault::Missing:
        return IDS_VERIFY_MISSING;
    case ReceiptsFault::Doubled:
        return IDS_VERIFY_DOUBLED;
    case ReceiptsFault::OutOfOrder:
        return IDS_VERIFY_ORDER;
    default:
        return IDS_VERIFY_CHANGED;
    }
}

} // namespace

bool IsVerifyCommand(const char* commandLine)
{
    const char* word = commandLine != nullptr ? commandLine + std::strspn(commandLine, " ") : "";
    const size_t length = std::strlen(kVerifyReceiptsWord);
    return std::strncmp(word, kVerifyReceiptsWord, length) == 0 && (word[length] == ' ' || word[length] == '\0');
}

int RunVerifyCommand(char* commandLine)
{
    char* words[2] = {};
    SplitCommandLine(2, words, commandLine);
    const char* path = words[1] != nullptr ? words[1] : "";
    const ReceiptsVerdict verdict = VerifyReceipts(path);
    char line[16];
    char sequence[16];
    char first[16];
    char last[16];
    std::snprintf(line, sizeof line, "%lu", verdict.line);
    std::snprintf(sequence, sizeof sequence, "%lu", verdict.sequence);
    std::snprintf(first, sizeof first, "%lu", verdict.first);
    std::snprintf(last, sizeof last, "%lu", verdict.last);
    const bool whole = verdict.fault == ReceiptsFault::None;
    const bool namesLine = verdict.fault >= ReceiptsFault::Missing;
    const char* wholeArgs[] = {path, first, last};
    const char* lineArgs[] = {line, path, sequence};
    const int argCount = verdict.fault == ReceiptsFault::Changed ? 2 : namesLine || (whole && verdict.count > 0) ? 3 : 1;
    char text[kSharedTextSize];
    FormatText(VerdictText(verdict.fault, verdict.count, verdict.first), text, sizeof text,
               namesLine ? lineArgs : wholeArgs, argCount);
    if (!WriteToCaughtOutput(text))
        ShowText(nullptr, text, whole ? MB_ICONINFORMATION : MB_ICONWARNING);
    return whole ? 0 : 1;
}
