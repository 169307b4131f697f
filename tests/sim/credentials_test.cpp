#include "sim_library.h"

#include "support/test_paths.h"

namespace {

class sim_Credentials : public SimLibraryTest {};

enum class Call { Unformat, Format };

struct CredentialCase {
    const char* what;
    const char* keyLines; // the Key's credential lines; every Key has Tries=5, MaxTries=10
    Call call;
    Credential credential;
    int flags;
    DWORD error; // 0: accepted
    const char* triesAfter;
};

const char kSoPin[] = "CardType=8\nCredential=24682468";
const char kPassPhrase[] = "CardType=5\nCredential=\" open sesame \"";
const char kTransport[] = "CardType=1\nTransportKey=A1B2C3D4E5F60718";
const char kOpenKey[] = "CardType=3";

Credential WithTail(Credential credential, const char* tail)
{
    for (size_t i = 0; tail[i]; ++i)
        credential[8 + i] = static_cast<unsigned char>(tail[i]);
    return credential;
}

const CredentialCase kCases[] = {
    {"right text", kSoPin, Call::Unformat, TextCredential("24682468"), 0, 0, "10"},
    {"right text, format", kSoPin, Call::Format, TextCredential("24682468"), 0, 0, "10"},
    {"wrong text", kSoPin, Call::Unformat, TextCredential("24682469"), 0, kScardInvalidChv, "4"},
    {"wrong text, format", kSoPin, Call::Format, TextCredential("11111111"), 0, kScardInvalidChv, "4"},
    {"text too short", kSoPin, Call::Unformat, TextCredential("2468246"), 0, kScardInvalidChv, "4"},
    {"text too long", kSoPin, Call::Unformat, TextCredential("246824680"), 0, kScardInvalidChv, "4"},
    {"empty text", kSoPin, Call::Unformat, TextCredential(""), 0, kScardInvalidChv, "5"},
    {"empty text, format", kSoPin, Call::Format, TextCredential(""), 0, kScardInvalidChv, "5"},
    {"clear-all does not waive an SO PIN", kSoPin, Call::Unformat, TextCredential("x"), kClearAllData,
     kScardInvalidChv, "4"},
    {"spaces count", kPassPhrase, Call::Unformat, TextCredential("open sesame"), 0, kScardInvalidChv, "4"},
    {"quoted pass phrase", kPassPhrase, Call::Unformat, TextCredential(" open sesame "), 0, 0, "10"},
    {"letter case counts", kPassPhrase, Call::Unformat, TextCredential(" Open Sesame "), 0, kScardInvalidChv, "4"},
    {"clear-all waives a pass phrase", kPassPhrase, Call::Unformat, TextCredential("wrong"), kClearAllData, 0, "5"},
    {"clear-all waives an empty pass phrase", kPassPhrase, Call::Format, TextCredential(""), kClearAllData, 0, "5"},
    {"right transport key", kTransport, Call::Unformat, HexCredential("A1B2C3D4E5F60718"), 0, 0, "10"},
    {"only 8 bytes count", kTransport, Call::Format, WithTail(HexCredential("A1B2C3D4E5F60718"), "tail"), 0, 0,
     "10"},
    {"wrong last byte", kTransport, Call::Unformat, HexCredential("A1B2C3D4E5F60719"), 0, kScardInvalidChv, "4"},
    {"transport key as text", kTransport, Call::Unformat, TextCredential("A1B2C3D4E5F60718"), 0,
     kScardInvalidChv, "4"},
    {"zero transport key is empty", kTransport, Call::Unformat, HexCredential(""), kClearAllData,
     kScardInvalidChv, "5"},
    {"zero bytes but one", kTransport, Call::Unformat, HexCredential("0000000000000001"), 0, kScardInvalidChv, "4"},
    {"no credential: anything", kOpenKey, Call::Unformat, TextCredential("whatever"), 0, 0, "5"},
    {"no credential: empty", kOpenKey, Call::Format, TextCredential(""), 0, 0, "5"},
};

} // namespace

TEST_F(sim_Credentials, AreCheckedOnUnformatAndFormat)
{
    std::string keySet;
    for (size_t i = 0; i < std::size(kCases); ++i)
        keySet += "[Reader R" + std::to_string(i) + "]\nKey=K" + std::to_string(i) + "\n";
    for (size_t i = 0; i < std::size(kCases); ++i)
        keySet += "[Key K" + std::to_string(i) + "]\n" + kCases[i].keyLines +
                  "\nTries=5\nMaxTries=10\nCapacity=32000\nMakerArea=7000\n";
    WriteKeySet(keySet);
    Load();
    for (size_t i = 0; i < std::size(kCases); ++i) {
        const CredentialCase& c = kCases[i];
        const std::string reader = "R" + std::to_string(i);
        const int handle = Open(reader.c_str());
        ASSERT_NE(kNoHandle, handle) << c.what;
        Credential credential = c.credential;
        const DWORD space = 9000;
        SetLastError(0);
        const BOOL ok = c.call == Call::Unformat
                            ? UnformatCard(handle, credential.data(), c.flags)
                            : FormatCard(handle, credential.data(), "", &space, c.flags);
        const DWORD error = ok ? 0 : GetLastError();
        EXPECT_EQ(c.error == 0, ok != 0) << c.what;
        EXPECT_EQ(Hex(c.error), Hex(error)) << c.what;
        const std::string key = "Key K" + std::to_string(i);
        EXPECT_EQ(c.triesAfter, Saved(key, "Tries")) << c.what;
        const char* area = c.error ? "7000" : c.call == Call::Unformat ? "0" : "9000";
        EXPECT_EQ(area, Saved(key, "MakerArea")) << c.what;
        EXPECT_EQ(0, CloseReader(handle)) << c.what;
    }
}

TEST_F(sim_Credentials, LastTryBlocksTheKey)
{
    WriteKeySet("[Reader R]\nKey=K\n[Key K]\nCardType=6\nCredential=87654321\nMaxTries=3\nMakerArea=7000\n");
    Load();
    const int handle = Open("R");
    const struct {
        const char* credential;
        DWORD error;
        const char* triesAfter;
    } attempts[] = {
        {"00000000", kScardInvalidChv, "2"}, {"", kScardInvalidChv, "2"},
        {"11111111", kScardInvalidChv, "1"}, {"22222222", kScardInvalidChv, "0"},
        {"87654321", kScardChvBlocked, "0"}, {"", kScardChvBlocked, "0"},
    };
    for (const auto& attempt : attempts) {
        Credential credential = TextCredential(attempt.credential);
        SetLastError(0);
        EXPECT_FALSE(UnformatCard(handle, credential.data(), kKeepOtherData)) << attempt.credential;
        EXPECT_EQ(Hex(attempt.error), Hex(GetLastError())) << "\"" << attempt.credential << "\"";
        EXPECT_EQ(attempt.triesAfter, Saved("Key K", "Tries")) << "\"" << attempt.credential << "\"";
    }
    EXPECT_EQ(0, CloseReader(handle));

    Reload();
    const int again = Open("R");
    Credential right = TextCredential("87654321");
    const DWORD space = 7000;
    EXPECT_FALSE(FormatCard(again, right.data(), "", &space, kClearAllData));
    EXPECT_EQ(Hex(kScardChvBlocked), Hex(GetLastError())) << "still blocked after a reload";
    EXPECT_EQ("7000", Saved("Key K", "MakerArea"));
    EXPECT_EQ(0, CloseReader(again));
}

TEST_F(sim_Credentials, RightCredentialRestoresTheTries)
{
    WriteKeySet("[Reader R]\nKey=K\n[Key K]\nCardType=10\nCredential=52738164\nMaxTries=4\nMakerArea=7000\n");
    Load();
    const int handle = Open("R");
    Credential wrong = TextCredential("12345678");
    Credential right = TextCredential("52738164");
    EXPECT_FALSE(UnformatCard(handle, wrong.data(), kClearAllData));
    EXPECT_FALSE(UnformatCard(handle, wrong.data(), kClearAllData));
    EXPECT_EQ("2", Saved("Key K", "Tries"));
    EXPECT_TRUE(UnformatCard(handle, right.data(), kClearAllData));
    EXPECT_EQ("4", Saved("Key K", "Tries"));
    EXPECT_EQ("0", Saved("Key K", "MakerArea"));
    EXPECT_EQ(0, CloseReader(handle));
}

TEST_F(sim_Credentials, BlockedPassPhraseKeyCanStillBeClearedAll)
{
    WriteKeySet("[Reader R]\nKey=K\n[Key K]\nCardType=5\nCredential=phrase\nTries=0\nMaxTries=5\n"
                "MakerArea=7000\nOtherApps=Mail:100\n");
    Load();
    const int handle = Open("R");
    Credential empty = TextCredential("");
    Credential right = TextCredential("phrase");
    EXPECT_FALSE(UnformatCard(handle, right.data(), kKeepOtherData));
    EXPECT_EQ(Hex(kScardChvBlocked), Hex(GetLastError()));
    EXPECT_TRUE(UnformatCard(handle, empty.data(), kClearAllData));
    const DWORD space = 7000;
    EXPECT_TRUE(FormatCard(handle, empty.data(), "", &space, kClearAllData));
    EXPECT_EQ("7000", Saved("Key K", "MakerArea"));
    EXPECT_EQ("", Saved("Key K", "OtherApps"));
    EXPECT_EQ(0, CloseReader(handle));
}

TEST_F(sim_Credentials, FirstPinAttemptIsRejectedWithoutUsingATry)
{
    WriteKeySet("[Reader R]\nKey=K\n[Key K]\nCardType=4\nCredential=1234\nMaxTries=3\nMakerArea=7000\n");
    Load();
    const std::string before = ReadWholeFile(KeySetPath());
    Credential buffer{}; // as the program zeroes it before a first attempt
    int handle = Open("R");
    EXPECT_FALSE(UnformatCard(handle, buffer.data(), kKeepOtherData));
    EXPECT_EQ(Hex(kScardInvalidChv), Hex(GetLastError()));
    EXPECT_EQ(0, CloseReader(handle));
    EXPECT_EQ(before, ReadWholeFile(KeySetPath())) << "no try used, nothing saved";

    buffer = TextCredential("1234");
    handle = Open("R");
    EXPECT_TRUE(UnformatCard(handle, buffer.data(), kKeepOtherData));
    const DWORD space = 7000;
    EXPECT_TRUE(FormatCard(handle, buffer.data(), "", &space, kKeepOtherData));
    EXPECT_EQ(0, CloseReader(handle));
    EXPECT_EQ("3", Saved("Key K", "Tries"));
    EXPECT_EQ("7000", Saved("Key K", "MakerArea"));
}
