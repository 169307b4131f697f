#include "workflow/attempt_record.h"

#include "core/app_context.h"
#include "core/card_types.h"
#include "res/resource.h"
#include "text/text.h"

namespace {

// How the Key's attempt ended, in the receipts' fixed words.
const char* ResultWord(const AttemptResult& result)
{
    switch (result.exitCode) {
    case kExitSuccess:
        return "success";
    case kExitRejected:
        return "rejected";
    case kExitBlocked:
        return "blocked";
    case kExitNoKey:
        return "removed";
    case kExitCancelled:
        return result.answeredNo ? "skipped" : "cancelled";
    default:
        return "failed";
    }
}

} // namespace

UINT ResultMessage(const AttemptResult& result)
{
    if (result.answeredNo)
        return IDS_SERIES_SKIPPED;
    return result.message != 0 ? result.message : IDS_SERIES_CANCELLED;
}

Receipt ReceiptOf(const AttemptResult& result, int keyNumber, const char* reader, char* message, int size)
{
    LoadText(ResultMessage(result), message, size);
    return {keyNumber, reader, result.cardType, CardTypeOf(result.cardType).name,
            result.operation == Operation::Format ? kFormatWord : kUnformatWord, result.clearAll,
            ResultWord(result), message, result.error};
}
