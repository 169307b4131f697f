#include "sim_library.h"

#include "support/test_paths.h"

#include <set>

namespace {

class sim_Examples : public SimLibraryTest {
protected:
    // The reader walk of the program: the first reader of type 30 that opens and holds a Key.
    int FindKey(std::string* reader, int* status)
    {
        for (int i = 0;; ++i) {
            const char* name = EnumReaders(i);
            if (!name)
                return kNoHandle;
            const std::string found = name;
            if (GetReaderType(found.c_str()) != kUsableReaderType)
                continue;
            const int handle = InitReader(found.c_str());
            if (handle == kNoHandle)
                continue;
            *status = InitCard(handle, 0);
            if (*status == kNoHandle) {
                CloseReader(handle);
                continue;
            }
            *reader = found;
            return handle;
        }
    }
};

constexpr int kNoCardType = -77;

struct Example {
    const char* file;
    const char* reader; // the reader the walk ends at
    int cardType;
    int status;
    Credential credential;
    int flags;
    DWORD unformatError;
    DWORD formatError;    // FormatCard with 7000, after a successful UnformatCard
    DWORD occupyAllError; // FormatCard with all free space, after SCARD_E_NO_MEMORY
    const char* makerAreaAfter;
};

const char kReader0[] = "Simulated Reader 0";

const Example kExamples[] = {
    {"default.ini", kReader0, 8, 0, TextCredential("24682468"), 0, 0, 0, 0, "7000"},
    {"type01_transport_key.ini", kReader0, 1, 0, HexCredential("1122334455667788"), 0, 0, 0, 0, "7000"},
    {"type02_transport_key.ini", kReader0, 2, 0, HexCredential("8877665544332211"), 0, 0, 0, 0, "7000"},
    {"type03_no_credential.ini", kReader0, 3, 0, TextCredential(""), 0, 0, 0, 0, "7000"},
    {"type04_pin.ini", kReader0, 4, 0, TextCredential(""), 0, kScardInvalidChv, 0, 0, "7000"},
    {"type04_pin.ini", kReader0, 4, 0, TextCredential("1234"), 0, 0, 0, 0, "7000"},
    {"type05_pass_phrase.ini", kReader0, 5, 0, TextCredential("open sesame key"), 0, 0, 0, 0, "7000"},
    {"type05_pass_phrase.ini", kReader0, 5, 0, TextCredential(""), kClearAllData, 0, 0, 0, "7000"},
    {"type05_pass_phrase.ini", kReader0, 5, 0, TextCredential("open sesame"), 0, kScardInvalidChv, 0, 0, "7000"},
    {"type05_clear_all_only.ini", kReader0, 5, kKeyClearAllOnly, TextCredential(""), kClearAllData, 0, 0, 0,
     "7000"},
    {"type06_so_pin.ini", kReader0, 6, 0, TextCredential(""), 0, kScardInvalidChv, 0, 0, "7000"},
    {"type06_so_pin.ini", kReader0, 6, 0, TextCredential("87654321"), 0, 0, 0, 0, "7000"},
    {"type07_clear_all.ini", kReader0, 7, 0, TextCredential(""), kClearAllData, 0, 0, 0, "7000"},
    {"type08_so_pin.ini", kReader0, 8, 0, TextCredential("24682468"), kClearAllData, 0, 0, 0, "7000"},
    {"type09_clear_all_password.ini", kReader0, 9, 0, TextCredential(""), kClearAllData, kScardInvalidChv, 0, 0,
     "7000"},
    {"type09_clear_all_password.ini", kReader0, 9, 0, TextCredential("VORTEMIS"), kClearAllData, 0, 0, 0, "7000"},
    {"type10_admin_pin.ini", kReader0, 10, 0, TextCredential("52738164"), kClearAllData, 0, 0, 0, "7000"},
    {"type11_password.ini", kReader0, 11, 0, TextCredential("TRUVOSEK"), 0, 0, 0, 0, "7000"},
    {"type12_clear_all_transport_key.ini", kReader0, 12, 0, HexCredential(""), kClearAllData, kScardInvalidChv, 0,
     0, "7000"},
    {"type12_clear_all_transport_key.ini", kReader0, 12, 0, HexCredential("0102030405060708"), kClearAllData, 0, 0,
     0, "7000"},
    {"type13_password.ini", kReader0, 13, 0, TextCredential("MOLDIRA+"), 0, 0, 0, 0, "7000"},
    {"two_readers_first_unusable.ini", "Simulated Reader 1", 8, 0, TextCredential("24682468"), 0, 0, 0, 0,
     "7000"},
    {"full_key.ini", kReader0, 8, kKeyNotFormatted, TextCredential("24682468"), 0, 0, kScardNoMemory,
     kScardNoMemory, "0"},
    {"full_key.ini", kReader0, 8, kKeyNotFormatted, TextCredential("24682468"), kClearAllData, 0, 0, 0, "7000"},
    {"nearly_full_key.ini", kReader0, 3, 0, TextCredential(""), 0, 0, kScardNoMemory, 0, "1000"},
    {"cannot_unformat.ini", kReader0, 3, 0, TextCredential(""), 0, kScardUnsupportedFeature, 0, 0, "7000"},
    {"unformatted_key.ini", kReader0, 8, kKeyNotFormatted, TextCredential("24682468"), 0, 0, 0, 0, "7000"},
    {"slow_operations.ini", kReader0, 3, 0, TextCredential(""), 0, 0, 0, 0, "7000"},
    {"pulled_during_unformat.ini", kReader0, 3, 0, TextCredential(""), 0, kScardRemovedCard, 0, 0, "0"},
    {"failing_format.ini", kReader0, 3, 0, TextCredential(""), 0, 0, kScardInternalError, 0, "0"},
};

std::string KeySetsDir() { return JoinPath(SourceDir(), "sim\\keysets"); }

} // namespace

TEST_F(sim_Examples, EachShowsWhatItsCommentSays)
{
    for (const Example& e : kExamples) {
        const std::string text = ReadWholeFile(JoinPath(KeySetsDir(), e.file));
        ASSERT_FALSE(text.empty()) << e.file;
        EXPECT_EQ(0u, text.find("; ")) << e.file << " starts with its comment";
        DeleteFileA(LogPath().c_str());
        WriteKeySet(text);
        Load();

        std::string reader;
        int status = 99;
        const int handle = FindKey(&reader, &status);
        ASSERT_NE(kNoHandle, handle) << e.file;
        EXPECT_EQ(e.reader, reader) << e.file;
        EXPECT_EQ(e.status, status) << e.file;
        int cardType = kNoCardType;
        GetCardType(handle, &cardType);
        EXPECT_EQ(e.cardType, cardType) << e.file;

        Credential credential = e.credential;
        SetLastError(0);
        const BOOL unformatted = UnformatCard(handle, credential.data(), e.flags);
        EXPECT_EQ(Hex(e.unformatError), Hex(unformatted ? 0 : GetLastError())) << e.file << ": UnformatCard";
        if (unformatted) {
            const DWORD space = 7000;
            const BOOL formatted = FormatCard(handle, credential.data(), "", &space, e.flags);
            const DWORD error = formatted ? 0 : GetLastError();
            EXPECT_EQ(Hex(e.formatError), Hex(error)) << e.file << ": FormatCard";
            if (error == kScardNoMemory) {
                const BOOL occupied = FormatCard(handle, credential.data(), "", nullptr, e.flags);
                EXPECT_EQ(Hex(e.occupyAllError), Hex(occupied ? 0 : GetLastError())) << e.file << ": all free space";
            }
        }
        EXPECT_EQ(0, CloseReader(handle)) << e.file;
        Unload();
        const std::string key = "Key " + Saved("Reader " + reader, "Key");
        EXPECT_EQ(e.makerAreaAfter, Saved(key, "MakerArea")) << e.file;
        EXPECT_EQ(0u, LogCount(" WARN ")) << e.file << "\n" << ReadWholeFile(LogPath());
        EXPECT_EQ(0u, LogCount(" ERROR ")) << e.file;
        EXPECT_EQ(0u, LogCount(" LEAK ")) << e.file;
    }
}

TEST_F(sim_Examples, EveryShippedKeySetIsCoveredAndDocumented)
{
    std::set<std::string> covered;
    for (const Example& e : kExamples)
        covered.insert(e.file);
    const std::string readme = ReadWholeFile(JoinPath(KeySetsDir(), "README.md"));
    ASSERT_FALSE(readme.empty());
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(JoinPath(KeySetsDir(), "*.ini").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    size_t files = 0;
    do {
        ++files;
        EXPECT_EQ(1u, covered.count(found.cFileName)) << found.cFileName << " has no case above";
        EXPECT_NE(std::string::npos, readme.find(std::string("`") + found.cFileName + "`"))
            << found.cFileName << " is not listed in README.md";
    } while (FindNextFileA(search, &found));
    FindClose(search);
    EXPECT_EQ(covered.size(), files);
}
