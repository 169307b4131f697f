#include "core/attempt_state.h"

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
    g_attempt.settingUp = false;
    g_attempt.reachedSetUp = false;
    g_attempt.stoppedTold = false;
    g_attempt.worker = nullptr;
    g_attempt.workerDone = false;
    g_attempt.outcome = 0;
    g_attempt.chosenReader[0] = '\0';
    ForgetRejectedCredential();
    ForgetTypedAhead();
}

void ForgetRejectedCredential()
{
    SecureZeroMemory(g_attempt.rejected, sizeof g_attempt.rejected);
    g_attempt.hasRejected = false;
}

void ForgetTypedAhead()
{
    SecureZeroMemory(g_attempt.typedAhead, sizeof g_attempt.typedAhead);
    g_attempt.typedAheadLost = false;
}
