#include "core/attempt_state.h"

#include "core/policy.h"

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
    g_attempt.readerNamed = false;
    g_attempt.namedReader[0] = '\0';
    g_attempt.chosenReader[0] = '\0';
    g_attempt.occupyAll = false;
    g_attempt.startedBy = 0;
    g_attempt.answeredNo = false;
    g_attempt.quiet = false;
    g_attempt.usedKept = false;
    g_attempt.exitCode = kExitSuccess;
    g_attempt.resultMessage = 0;
    g_attempt.resultError = 0;
    g_attempt.options = {};
    g_attempt.keepCredential = false;
    ForgetRejectedCredential();
    ForgetTypedAhead();
    ForgetKeptCredentials();
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

namespace {

bool IsCardTypeCode(int cardType) { return cardType >= 0 && cardType < kCardTypeCodes; }

} // namespace

void KeepCredential(int cardType)
{
    if (!IsCardTypeCode(cardType) || !KeptCredentialsAllowed())
        return;
    std::memcpy(g_attempt.kept[cardType].credential, g_attempt.credential, kCredentialSize);
    g_attempt.kept[cardType].kept = true;
}

bool TakeKeptCredential(int cardType)
{
    if (!HasKeptCredential(cardType) || !KeptCredentialsAllowed())
        return false;
    std::memcpy(g_attempt.credential, g_attempt.kept[cardType].credential, kCredentialSize);
    return true;
}

void ForgetKeptCredential(int cardType)
{
    if (!IsCardTypeCode(cardType))
        return;
    SecureZeroMemory(&g_attempt.kept[cardType], sizeof g_attempt.kept[cardType]);
}

bool HasKeptCredential(int cardType) { return IsCardTypeCode(cardType) && g_attempt.kept[cardType].kept; }

void ForgetKeptCredentials()
{
    SecureZeroMemory(g_attempt.kept, sizeof g_attempt.kept);
}
