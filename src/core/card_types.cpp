#include "core/card_types.h"

#include "res/resource.h"

#include <iterator>

namespace {

using enum CredentialStep;
using enum RetryMessageWhen;

constexpr CardType kNothingToAsk{None, 0, nullptr, 0, Always, 0, false, 0, IDS_CREDENTIAL_BLOCKED};

// Indexed by card type code.
constexpr CardType kCardTypes[] = {
    /* 0 */ kNothingToAsk,
    /* 1 */ {Dialog, IDD_TRANSPORT_KEY, nullptr, IDS_WRONG_FORMATTING_PASSWORD, Always, 0, true, 0,
             IDS_CREDENTIAL_BLOCKED},
    /* 2 */ {Dialog, IDD_TRANSPORT_KEY, nullptr, IDS_WRONG_FORMATTING_PASSWORD, Always, 0, true, 0,
             IDS_CREDENTIAL_BLOCKED},
    /* 3 */ kNothingToAsk,
    /* 4 */ {None, 0, nullptr, IDS_WRONG_PIN, IfCredentialTyped, IDD_PIN, true, 4, IDS_CREDENTIAL_BLOCKED},
    // A blocked pass phrase still lets "Clear all Key's data" format the Key.
    /* 5 */ {DialogUnlessClearAllOnly, IDD_PASS_PHRASE, nullptr, IDS_WRONG_PASS_PHRASE, Always, 0, true, 0,
             IDS_PASS_PHRASE_BLOCKED},
    /* 6 */ {None, 0, nullptr, IDS_WRONG_SO_PIN, IfCredentialTyped, IDD_SO_PIN, true, 0, IDS_CREDENTIAL_BLOCKED},
    /* 7 */ {ClearAllWarning, 0, nullptr, IDS_SERIOUS_ERROR, Always, 0, false, 0, IDS_CREDENTIAL_BLOCKED},
    /* 8 */ {Dialog, IDD_SO_PIN_CLEAR_ALL, nullptr, IDS_WRONG_SO_PIN, IfCredentialTyped, 0, true, 0,
             IDS_CREDENTIAL_BLOCKED},
    /* 9 */ {ClearAllWarning, 0, nullptr, IDS_WRONG_FORMATTING_PASSWORD, IfCredentialTyped,
             IDD_FORMATTING_PASSWORD, true, 0, IDS_CREDENTIAL_BLOCKED},
    /* 10 */ {Dialog, IDD_ADMIN_PIN, nullptr, IDS_WRONG_ADMIN_PIN, Always, 0, true, 0, IDS_CREDENTIAL_BLOCKED},
    /* 11 */ {Dialog, IDD_FORMATTING_PASSWORD, "TRUVOSEK", IDS_WRONG_FORMATTING_PASSWORD, Always, 0, true, 0,
              IDS_CREDENTIAL_BLOCKED},
    /* 12 */ {ClearAllWarning, 0, nullptr, IDS_WRONG_FORMATTING_PASSWORD, IfCredentialTyped, IDD_TRANSPORT_KEY,
              true, 0, IDS_CREDENTIAL_BLOCKED},
    /* 13 */ {Dialog, IDD_FORMATTING_PASSWORD, "MOLDIRA+", IDS_WRONG_FORMATTING_PASSWORD, Always, 0, true, 0,
              IDS_CREDENTIAL_BLOCKED},
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
