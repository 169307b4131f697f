#include "sim_library.h"

#include "support/test_paths.h"

#include <fstream>

namespace {

class sim_Handles : public SimLibraryTest {};
class sim_CallLog : public SimLibraryTest {};

const char kTwoKeys[] = R"([Reader R]
Key=K
[Reader T]
Key=Transport
[Key K]
CardType=8
Credential=24682468
Capacity=32000
MakerArea=7000
OtherApps=Mail:3000
[Key Transport]
CardType=1
TransportKey=A1B2C3D4E5F60718
MakerArea=7000
)";

std::string Prefix(DWORD thread = GetCurrentThreadId())
{
    return "pid=" + std::to_string(GetCurrentProcessId()) + " tid=" + std::to_string(thread) + " ";
}

struct ThreadCall {
    CloseReaderFn close;
    int handle;
    int result;
};

DWORD WINAPI CloseOnThread(void* parameter)
{
    ThreadCall& call = *static_cast<ThreadCall*>(parameter);
    call.result = call.close(call.handle);
    return 0;
}

} // namespace

TEST_F(sim_Handles, DoubleCloseIsRecorded)
{
    WriteKeySet(kTwoKeys);
    Load();
    const int handle = Open("R");
    ASSERT_NE(kNoHandle, handle);
    EXPECT_EQ(0, CloseReader(handle));
    SetLastError(0);
    EXPECT_EQ(-1, CloseReader(handle));
    EXPECT_EQ(Hex(kScardInvalidHandle), Hex(GetLastError()));
    EXPECT_EQ(kNoHandle, InitCard(handle, 0));
    const std::string h = std::to_string(handle);
    EXPECT_EQ(1u, LogCount(" ERROR double close handle " + h));
    EXPECT_EQ(1u, LogCount(" ERROR closed handle " + h + " used in InitCard"));
    EXPECT_EQ(2u, LogCount(" ERROR "));
    Unload();
    EXPECT_EQ(0u, LogCount("LEAK")) << "a double close does not count as open";
}

TEST_F(sim_Handles, UnknownHandlesAreRecorded)
{
    WriteKeySet(kTwoKeys);
    Load();
    Credential credential = TextCredential("24682468");
    const DWORD space = 7000;
    int cardType = 0;
    const struct {
        const char* call;
        int handle;
        bool failed;
    } cases[] = {
        {"CloseReader", 4711, CloseReader(4711) == -1},
        {"CloseReader", -1, CloseReader(-1) == -1},
        {"CloseReader", 0, CloseReader(0) == -1},
        {"InitCard", 4712, InitCard(4712, 0) == kNoHandle},
        {"GetCardType", 4713, GetCardType(4713, &cardType) != 0},
        {"UnformatCard", 4714, !UnformatCard(4714, credential.data(), 0)},
        {"FormatCard", 4715, !FormatCard(4715, credential.data(), "", &space, 0)},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(c.failed) << c.call << "(" << c.handle << ")";
        EXPECT_EQ(1u, LogCount(" ERROR unknown handle " + std::to_string(c.handle) + " in " + c.call))
            << c.call << "(" << c.handle << ")";
    }
    EXPECT_EQ(7u, LogCount(" ERROR "));
    EXPECT_EQ("7000", Saved("Key K", "MakerArea"));
}

TEST_F(sim_Handles, OpenHandlesAtUnloadAreRecorded)
{
    WriteKeySet(kTwoKeys);
    Load();
    const int first = Open("R");
    const int second = Open("T");
    const int third = InitReader("R");
    EXPECT_EQ(0, CloseReader(second));
    Unload();
    const std::string leak = "LEAK open handles: 2 (" + std::to_string(first) + " " + std::to_string(third) + ")";
    EXPECT_EQ(1u, LogCount(Prefix() + leak)) << ReadWholeFile(LogPath());

    Load();
    const int handle = Open("R");
    EXPECT_EQ(0, CloseReader(handle));
    Unload();
    EXPECT_EQ(1u, LogCount("LEAK")) << "all closed the second time";
}

TEST_F(sim_CallLog, RecordsEveryCallWithItsResult)
{
    WriteKeySet(kTwoKeys);
    Load();
    EnumReaders(0);
    EnumReaders(2);
    GetReaderType("R");
    InitReader("Nowhere");
    const int handle = InitReader("R");
    InitCard(handle, 0);
    int cardType = 0;
    GetCardType(handle, &cardType);
    Credential wrong = TextCredential("12345");
    Credential pin = TextCredential("24682468");
    UnformatCard(handle, wrong.data(), kKeepOtherData);
    UnformatCard(handle, pin.data(), kClearAllData);
    const DWORD space = 7000;
    FormatCard(handle, pin.data(), "", &space, kClearAllData);
    const DWORD tooMuch = 40000;
    FormatCard(handle, pin.data(), "label", &tooMuch, kKeepOtherData);
    FormatCard(handle, pin.data(), "", nullptr, kKeepOtherData);
    CloseReader(handle);

    const std::string h = std::to_string(handle);
    const std::vector<std::string> expected = {
        "EnumReaders(0) -> \"R\"",
        "EnumReaders(2) -> NULL",
        "GetReaderType(\"R\") -> 30",
        "InitReader(\"Nowhere\") -> -1 err=0x80100009",
        "InitReader(\"R\") -> " + h,
        "InitCard(" + h + ", 0) -> 0",
        "GetCardType(" + h + ") -> 0 cardType=8",
        "UnformatCard(" + h + ", credential[len=5], 0) -> 0 err=0x8010002A",
        "UnformatCard(" + h + ", credential[len=8], 2) -> 1",
        "FormatCard(" + h + ", credential[len=8], \"\", space=7000, 2) -> 1",
        "FormatCard(" + h + ", credential[len=8], \"label\", space=40000, 0) -> 0 err=0x80100006",
        "FormatCard(" + h + ", credential[len=8], \"\", space=NULL, 0) -> 1",
        "CloseReader(" + h + ") -> 0",
    };
    std::vector<std::string> calls;
    for (const std::string& line : LogLines()) {
        ASSERT_EQ(0u, line.find(Prefix())) << line;
        const std::string rest = line.substr(Prefix().size());
        if (rest.rfind("INFO ", 0) != 0)
            calls.push_back(rest);
    }
    ASSERT_EQ(expected.size(), calls.size()) << ReadWholeFile(LogPath());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(expected[i], calls[i]) << "line " << i;
}

TEST_F(sim_CallLog, NamesTheCallingThread)
{
    WriteKeySet(kTwoKeys);
    Load();
    const int handle = Open("R");
    ThreadCall call{CloseReader, handle, 99};
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, CloseOnThread, &call, 0, &threadId);
    ASSERT_NE(nullptr, thread);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(0, call.result);
    ASSERT_NE(GetCurrentThreadId(), threadId);
    EXPECT_EQ(1u, LogCount(Prefix(threadId) + "CloseReader(" + std::to_string(handle) + ") -> 0"));
    EXPECT_EQ(1u, LogCount(Prefix() + "InitReader(\"R\") -> " + std::to_string(handle)));
}

TEST_F(sim_CallLog, HidesCredentialsUnlessAsked)
{
    const struct {
        const char* secrets; // CARDWYN_SIM_LOG_SECRETS, null: not set
        const char* reader;
        Credential credential;
        const char* shown;
        const char* hidden;
    } cases[] = {
        {nullptr, "R", TextCredential("24682468"), "credential[len=8]", "24682468"},
        {"0", "R", TextCredential("24682468"), "credential[len=8]", "24682468"},
        {"yes", "R", TextCredential("24682468"), "credential[len=8]", "24682468"},
        {"1", "R", TextCredential("24682468"), "credential=\"24682468\"", "len="},
        {"1", "R", TextCredential("a\"b\\c\x01"), "credential=\"a\\\"b\\\\c\\x01\"", "len="},
        {nullptr, "T", HexCredential("A1B2C3D4E5F60718"), "credential[len=8]", "A1B2C3D4E5F60718"},
        {"1", "T", HexCredential("A1B2C3D4E5F60718"), "credential=hex:A1B2C3D4E5F60718", "len="},
        {"1", "T", HexCredential("00B2C3D4E5F60718"), "credential=hex:00B2C3D4E5F60718", "len="},
    };
    for (const auto& c : cases) {
        const std::string what = std::string(c.secrets ? c.secrets : "unset") + " " + c.shown;
        DeleteFileA(LogPath().c_str());
        WriteKeySet(kTwoKeys);
        SetEnvironmentVariableA("CARDWYN_SIM_LOG_SECRETS", c.secrets);
        Load();
        const int handle = Open(c.reader);
        Credential credential = c.credential;
        UnformatCard(handle, credential.data(), kKeepOtherData);
        FormatCard(handle, credential.data(), "", nullptr, kKeepOtherData);
        CloseReader(handle);
        Unload();
        EXPECT_EQ(2u, LogCount(c.shown)) << what << "\n" << ReadWholeFile(LogPath());
        EXPECT_EQ(0u, LogCount(c.hidden)) << what << "\n" << ReadWholeFile(LogPath());
    }
}

TEST_F(sim_CallLog, LinesAreOnDiskAtOnceAndAppended)
{
    WriteWholeFile(LogPath(), "an earlier run\r\n");
    WriteKeySet(kTwoKeys);
    Load();
    EnumReaders(0);
    std::vector<std::string> lines = LogLines();
    ASSERT_LE(2u, lines.size());
    EXPECT_EQ("an earlier run", lines[0]);
    EXPECT_EQ(Prefix() + "EnumReaders(0) -> \"R\"", lines.back()) << "written before the call returned";
    GetReaderType("T");
    lines = LogLines();
    EXPECT_EQ(Prefix() + "GetReaderType(\"T\") -> 30", lines.back());
}

TEST_F(sim_CallLog, NoLogWithoutTheVariable)
{
    WriteKeySet(kTwoKeys);
    Load(false);
    const int handle = Open("R");
    Credential pin = TextCredential("24682468");
    EXPECT_TRUE(UnformatCard(handle, pin.data(), kKeepOtherData));
    CloseReader(handle);
    CloseReader(handle);
    Unload();
    const std::vector<std::string> expected = {"cardwyn32.dll", "keys.ini"};
    EXPECT_EQ(expected, FolderContent());
}

TEST_F(sim_CallLog, CallTimesWrittenAtUnloadInMilliseconds)
{
    WriteKeySet("[Reader R]\nKey=K\n[Key K]\nInitCardMs=30\n");
    const std::string times = folder_.file("times.txt");
    SetEnvironmentVariableA("CARDWYN_SIM_TIMES", times.c_str());
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&before);
    Load(false);
    CloseReader(Open("R"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(times.c_str())) << "no file access during the calls";
    Unload();
    QueryPerformanceCounter(&after);
    const double ticksPerMs = static_cast<double>(frequency.QuadPart) / 1000.0;
    double previousEnd = static_cast<double>(before.QuadPart) / ticksPerMs;
    std::ifstream file(times);
    for (const char* expected : {"InitReader", "InitCard", "CloseReader"}) {
        std::string name;
        double begin = 0, end = 0;
        ASSERT_TRUE(file >> name >> begin >> end) << expected;
        EXPECT_EQ(expected, name);
        EXPECT_LE(previousEnd, begin) << name;
        EXPECT_LE(begin + (name == "InitCard" ? 29 : 0), end) << name << " took its delay";
        previousEnd = end;
    }
    EXPECT_LE(previousEnd, static_cast<double>(after.QuadPart) / ticksPerMs);
}
