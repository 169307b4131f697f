#include "workflow/attempt_state.h"

#include <cstring>

AttemptState g_attempt;

void ResetAttemptState()
{
    g_attempt.reader = 0;
    g_attempt.cardType = 0;
    std::memset(g_attempt.credential, 0, sizeof g_attempt.credential);
    g_attempt.clearAll = false;
    g_attempt.operation = Operation::Format;
    g_attempt.busy = false;
}
