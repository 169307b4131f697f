// An attempt's end as a record: the receipt's fields, for the receipts and the event log.
#pragma once
#include "records/receipts.h"
#include "workflow/workflow.h"

// The text that tells how the Key ended, in the user's language.
UINT ResultMessage(const AttemptResult& result);
// The record of an attempt on the Key in `reader`; `message` (of `size`) holds its text.
Receipt ReceiptOf(const AttemptResult& result, int keyNumber, const char* reader, char* message, int size);
