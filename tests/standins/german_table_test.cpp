// The German language library's string table against the program's own English table:
// the same IDs, placeholders, line breaks and mnemonics, German, and in Windows-1252.
#include "standins_paths.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

namespace {

using Table = std::map<UINT, std::wstring>;

BOOL CALLBACK CollectBlock(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR context)
{
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<UINT>*>(context)->push_back(
            static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)));
    return TRUE;
}

// Every non-empty string of a module, by ID. Strings are stored sixteen to a block, the block
// named after (ID / 16) + 1.
Table ReadTable(HMODULE module)
{
    std::vector<UINT> blocks;
    EnumResourceNamesW(module, MAKEINTRESOURCEW(6), CollectBlock, reinterpret_cast<LONG_PTR>(&blocks));
    Table table;
    for (UINT block : blocks) {
        for (UINT id = (block - 1) * 16; id < block * 16; ++id) {
            wchar_t text[4096] = {};
            if (LoadStringW(module, id, text, 4096) > 0)
                table[id] = text;
        }
    }
    return table;
}

size_t Count(const std::wstring& text, const std::wstring& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

// '&' marks the next letter as the mnemonic; "&&" is a plain ampersand.
size_t Mnemonics(const std::wstring& text)
{
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'&')
            continue;
        if (i + 1 < text.size() && text[i + 1] == L'&')
            ++i;
        else if (i + 1 < text.size() && std::iswalnum(text[i + 1]))
            ++count;
    }
    return count;
}

std::string Narrow(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size > 0 ? size - 1 : 0));
    return out;
}

class standins_GermanTable : public testing::Test {
protected:
    void SetUp() override
    {
        const std::string englishPath = JoinPath(StandinsDllDir(), "standins_english_table.dll");
        english_ = LoadLibraryExA(englishPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(english_, nullptr) << englishPath;
        german_ = LoadLibraryExA(GermanLibraryPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(german_, nullptr) << GermanLibraryPath();
        englishTable_ = ReadTable(english_);
        germanTable_ = ReadTable(german_);
        ASSERT_GT(englishTable_.size(), 40u) << "the program's table did not load";
    }

    void TearDown() override
    {
        if (english_)
            FreeLibrary(english_);
        if (german_)
            FreeLibrary(german_);
    }

    // Pairs of texts with the same ID, for the checks that compare them.
    template <typename Check>
    void ForEachPair(Check check)
    {
        for (const auto& [id, english] : englishTable_) {
            const auto german = germanTable_.find(id);
            if (german == germanTable_.end())
                continue;
            SCOPED_TRACE("string " + std::to_string(id) + ": " + Narrow(german->second));
            check(english, german->second);
        }
    }

    HMODULE english_ = nullptr;
    HMODULE german_ = nullptr;
    Table englishTable_;
    Table germanTable_;
};

TEST_F(standins_GermanTable, HoldsExactlyTheProgramsStringIds)
{
    for (const auto& [id, text] : englishTable_)
        EXPECT_EQ(germanTable_.count(id), 1u) << "missing string " << id << ": " << Narrow(text);
    for (const auto& [id, text] : germanTable_)
        EXPECT_EQ(englishTable_.count(id), 1u) << "extra string " << id << ": " << Narrow(text);
}

TEST_F(standins_GermanTable, KeepsEveryPlaceholder)
{
    ForEachPair([](const std::wstring& english, const std::wstring& german) {
        EXPECT_EQ(Count(german, L"%s"), Count(english, L"%s"));
        EXPECT_EQ(Count(german, L"%"), Count(english, L"%"));
    });
}

TEST_F(standins_GermanTable, KeepsEveryLineBreak)
{
    ForEachPair([](const std::wstring& english, const std::wstring& german) {
        EXPECT_EQ(Count(german, L"\n"), Count(english, L"\n"));
    });
}

TEST_F(standins_GermanTable, HasAMnemonicWhereTheProgramHasOne)
{
    ForEachPair([](const std::wstring& english, const std::wstring& german) {
        EXPECT_EQ(Mnemonics(german), Mnemonics(english));
    });
}

// Quoted default values and the support address are typed by the user or read literally.
TEST_F(standins_GermanTable, KeepsQuotedDefaultsAndTheSupportAddress)
{
    ForEachPair([](const std::wstring& english, const std::wstring& german) {
        for (size_t open = english.find(L'"'); open != std::wstring::npos;) {
            const size_t close = english.find(L'"', open + 1);
            if (close == std::wstring::npos)
                break;
            const std::wstring quoted = english.substr(open, close - open + 1);
            if (std::none_of(quoted.begin(), quoted.end(), [](wchar_t c) { return std::iswlower(c); })) {
                EXPECT_NE(german.find(quoted), std::wstring::npos) << Narrow(quoted);
            }
            open = english.find(L'"', close + 1);
        }
        const size_t at = english.find(L'@');
        if (at != std::wstring::npos) {
            const size_t start = english.rfind(L' ', at) + 1;
            const size_t end = english.find_first_of(L" \n", at);
            std::wstring address = english.substr(start, end == std::wstring::npos ? end : end - start);
            while (!address.empty() && address.back() == L'.')
                address.pop_back();
            EXPECT_NE(german.find(address), std::wstring::npos) << Narrow(address);
        }
    });
}

// Alt and a letter reaches one control of a window, in either language.
TEST_F(standins_GermanTable, MnemonicsAreUniqueInEveryWindow)
{
    const std::vector<UINT> mainWindow = {2008, 2012, 80, 2022, 64, 87, 88, 106, 134}; // Stop or Go on
    const struct {
        const char* window;
        std::vector<UINT> ids;
    } windows[] = {
        {"pass phrase", {2010, 2016, 29, 89}},
        {"SO PIN clear-all", {2010, 2016, 33, 89}},
        {"Admin PIN", {2010, 2016, 36, 89}},
        {"PIN", {2010, 60, 89}},
        {"transport key", {2010, 61, 89}},
        {"formatting password", {2010, 62, 89}},
        {"choice of Key", {2010, 51}},
        {"series confirmation", {82, 94}},
    };
    for (const Table* table : {&englishTable_, &germanTable_})
        for (const auto& window : windows) {
            std::wstring letters;
            std::vector<UINT> ids = mainWindow;
            ids.insert(ids.end(), window.ids.begin(), window.ids.end());
            for (UINT id : ids)
                for (size_t i = table->at(id).find(L'&'); i != std::wstring::npos; i = table->at(id).find(L'&', i + 2))
                    letters += static_cast<wchar_t>(std::towlower(table->at(id)[i + 1]));
            std::sort(letters.begin(), letters.end());
            EXPECT_EQ(letters.end(), std::adjacent_find(letters.begin(), letters.end()))
                << window.window << (table == &germanTable_ ? ", German: " : ", English: ") << Narrow(letters);
        }
}

// Only the labels that read the same in German may stay as they are.
TEST_F(standins_GermanTable, TranslatesEveryText)
{
    const std::wstring sameInGerman[] = {L"&SO PIN:", L"&PIN:", L"Admin &PIN:", L"&OK",
                                         L"PIN", L"SO PIN", L"Admin PIN", L"Key %s: %s"};
    ForEachPair([&](const std::wstring& english, const std::wstring& german) {
        if (std::find(std::begin(sameInGerman), std::end(sameInGerman), english) == std::end(sameInGerman)) {
            EXPECT_NE(german, english) << "left in English";
        }
    });
}

TEST_F(standins_GermanTable, IsMarkedGerman)
{
    const WORD german = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
    for (const auto& [id, text] : germanTable_)
        EXPECT_NE(FindResourceExW(german_, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(id / 16 + 1), german), nullptr)
            << "string " << id << " is not in a German block";
}

TEST_F(standins_GermanTable, UmlautsComeThroughInWindows1252)
{
    // Words whose letters only survive when the script was read as Windows-1252.
    const struct {
        UINT id;
        const wchar_t* word;
        const char* bytes;
    } words[] = {
        {1, L"schlie\u00dfen", "schlie\xdf" "en"},
        {2, L"f\u00fcr", "f\xfcr"},
        {2016, L"l\u00f6schen", "l\xf6schen"},
        {27, L"w\u00e4hlen", "w\xe4hlen"},
        {40, L"Transportschl\u00fcssel", "Transportschl\xfcssel"},
    };
    for (const auto& w : words) {
        SCOPED_TRACE("string " + std::to_string(w.id));
        ASSERT_EQ(germanTable_.count(w.id), 1u);
        const std::wstring& text = germanTable_.at(w.id);
        EXPECT_NE(text.find(w.word), std::wstring::npos) << Narrow(text);
        char bytes[4096] = {};
        BOOL lossy = FALSE;
        WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, bytes, sizeof bytes, nullptr, &lossy);
        EXPECT_FALSE(lossy);
        EXPECT_NE(std::string(bytes).find(w.bytes), std::string::npos);
        if (GetACP() == 1252) {
            char ansi[4096] = {};
            LoadStringA(german_, w.id, ansi, sizeof ansi);
            EXPECT_NE(std::string(ansi).find(w.bytes), std::string::npos) << "through LoadStringA";
        }
    }
}

// UTF-8 read as Windows-1252 shows as "Ã¼" and the like; nothing may fall outside 1252.
TEST_F(standins_GermanTable, HoldsNoMisreadOrForeignCharacters)
{
    for (const auto& [id, text] : germanTable_) {
        SCOPED_TRACE("string " + std::to_string(id) + ": " + Narrow(text));
        EXPECT_EQ(text.find(L'\u00c3'), std::wstring::npos);
        EXPECT_EQ(text.find(L'\u00c2'), std::wstring::npos);
        EXPECT_EQ(text.find(L'\ufffd'), std::wstring::npos);
        BOOL lossy = FALSE;
        char bytes[4096] = {};
        WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, bytes, sizeof bytes, nullptr, &lossy);
        EXPECT_FALSE(lossy);
    }
}

} // namespace
