#include "core/card_types.h"

#include "res/resource.h"

#include <iterator>

namespace {

using enum CredentialStep;
using enum RetryMessageWhen;

constexpr CardType kNothingToAsk{None, 0, nullptr, 0, Always, 0, false, 0, IDS_CREDENTIAL_BLOCKED, 0, "unknown"};

// Indexed by card type code.
constexpr CardType kCardTypes[] = {
    /* 0 */ kNothingToAsk,
    /* 1 */ {Dialog, IDD_TRANSPORT_KEY, nullptr, IDS_WRONG_FORMATTING_PASSWORD, Always, 0, true, 0,
             IDS_CREDENTIAL_BLOCKED, IDS_NAME_TRANSPORT_KEY, "transport key"},
    /* 2 */ {Dialog, IDD_TRANSPORT_KEY, nullptr, IDS_WRONG_FORMATTING_PASSWORD, Always, 0, true, 0,
             IDS_CREDENTIAL_BLOCKED, IDS_NAME_TRANSPORT_KEY, "transport key"},
    /* 3 */ {None, 0, nullptr, 0, Always, 0, false, 0, IDS_CREDENTIAL_BLOCKED, 0, "no credential"},
    /* 4 */ {None, 0, nullptr, IDS_WRONG_PIN, IfCredentialTyped, IDD_PIN, true, 4, IDS_CREDENTIAL_BLOCKED,
             IDS_NAME_PIN, "PIN"},
    // A blocked pass phrase still lets "Clear all Key's data" format the Key.
    /* 5 */ {DialogUnlessClearAllOnly, IDD_PASS_PHRASE, nullptr, IDS_WRONG_PASS_PHRASE, Always, 0, true, 0,
             IDS_PASS_PHRASE_BLOCKED, IDS_NAME_PASS_PHRASE, "pass phrase"},
    /* 6 */ {None, 0, nullptr, IDS_WRONG_SO_PIN, IfCredentialTyped, IDD_SO_PIN, true, 0, IDS_CREDENTIAL_BLOCKED,
             IDS_NAME_SO_PIN, "SO PIN"},
    /* 7 */ {ClearAllWarning, 0, nullptr, IDS_SERIOUS_ERROR, Always, 0, false, 0, IDS_CREDENTIAL_BLOCKED, 0,
             "clear all"},
    /* 8 */ {Dialog, IDD_SO_PIN_CLEAR_ALL, nullptr, IDS_WRONG_SO_PIN, IfCredentialTyped, 0, true, 0,
             IDS_CREDENTIAL_BLOCKED, IDS_NAME_SO_PIN, "SO PIN with clear all"},
    /* 9 */ {ClearAllWarning, 0, nullptr, IDS_WRONG_FORMATTING_PASSWORD, IfCredentialTyped,
             IDD_FORMATTING_PASSWORD, true, 0, IDS_CREDENTIAL_BLOCKED, IDS_NAME_FORMATTING_PASSWORD,
             "clear all with formatting password"},
    /* 10 */ {Dialog, IDD_ADMIN_PIN, nullptr, IDS_WRONG_ADMIN_PIN, Always, 0, true, 0, IDS_CREDENTIAL_BLOCKED,
              IDS_NAME_ADMIN_PIN, "Admin PIN"},
    /* 11 */ {Dialog, IDD_FORMATTING_PASSWORD, "TRUVOSEK", IDS_WRONG_FORMATTING_PASSWORD, Always, 0, true, 0,
              IDS_CREDENTIAL_BLOCKED, IDS_NAME_FORMATTING_PASSWORD, "formatting password"},
    /* 12 */ {ClearAllWarning, 0, nullptr, IDS_WRONG_FORMATTING_PASSWORD, IfCredentialTyped, IDD_TRANSPORT_KEY,
              true, 0, IDS_CREDENTIAL_BLOCKED, IDS_NAME_TRANSPORT_KEY, "clear all with transport key"},
    /* 13 */ {Dialog, IDD_FORMATTING_PASSWORD, "MOLDIRA+", IDS_WRONG_FORMATTING_PASSWORD, Always, 0, true, 0,
              IDS_CREDENTIAL_BLOCKED, IDS_NAME_FORMATTING_PASSWORD, "formatting password"},
};

} // namespace

const CardType& CardTypeOf(int code)
{
    if (code < 0 || code >= static_cast<int>(std::size(kCardTypes)))
        return kNothingToAsk;
    return kCardTypes[code];
}

bool OffersClearAll(const CardType& type)
{
    return type.dialogTemplate == IDD_PASS_PHRASE || type.dialogTemplate == IDD_SO_PIN_CLEAR_ALL ||
           type.dialogTemplate == IDD_ADMIN_PIN;
}
