// The worker: its call sequence per mode, the space request, failures and the buttons.
#include "workflow_fixture.h"

#include "core/attempt_state.h"
#include "core/key_contract.h"
#include "keylib/key_library.h"
#include "res/resource.h"

namespace {

constexpr DWORD kOtherError = 0x80100001;
const char kUnformatFailed[] = "An error occurred while unformatting the Key. Please contact support@veltrax.example.";
const char kKeyLibraryStopped[] =
    "The key library stopped working. Close this program, reconnect the Key and start the program again.";
const char kFormatFailed[] = "An error occurred while formatting the Key. Please contact support@veltrax.example.";
const char kNoSpace[] = "Not enough free space on Key for formatting.";
const char kCannotUnformat[] = "Unable to unformat this type of Key!";

class WorkerTest : public WorkflowTest {
protected:
    // One attempt on a Key of card type 0 (no credential step) with status `keyStatus`.
    void runOn(int keyStatus, bool format, std::vector<const char*> answers)
    {
        keys->readers = {{"Reader", 30, 21, keyStatus, 0}};
        if (keyStatus != -2) {
            if (format)
                robot->add(AnswerMessageBoxWithText(kConfirmReformat, IDYES));
            robot->add(AnswerMessageBoxWithText(kConfirmDataLoss, IDYES));
        }
        for (const char* text : answers)
            robot->add(AnswerMessageBoxWithText(text, IDOK));
        run(format);
    }

    std::vector<std::string> workCalls() const
    {
        std::vector<std::string> names;
        for (const FakeCall& call : keys->calls)
            if (call.name == "UnformatCard" || call.name == "FormatCard" ||
                (call.name == "CloseReader" && call.thread != keys->uiThread))
                names.push_back(call.name);
        return names;
    }

    std::vector<std::string> spaceRequests() const
    {
        std::vector<std::string> requests;
        for (const FakeCall& call : keys->callsNamed("FormatCard"))
            requests.push_back(call.hasSpaceRequest ? std::to_string(call.spaceRequest) : "null");
        return requests;
    }
};

const std::vector<std::string> kFullFormat = {"UnformatCard", "FormatCard", "CloseReader"};

} // namespace

TEST_F(WorkerTest, FormatUnformatsThenFormatsWithTheUsualSpace)
{
    runOn(0, true, {kSuccess});
    EXPECT_EQ(kFullFormat, workCalls());
    EXPECT_EQ((std::vector<std::string>{"7000"}), spaceRequests());
    EXPECT_EQ("", keys->callsNamed("FormatCard")[0].text);
    EXPECT_EQ((std::vector<unsigned>{2, 1, 0}), g_mainLog.codes);
    EXPECT_EQ((std::vector<std::string>{"Unformatting . . .", "Formatting . . .", "Key formatting utility"}),
              g_mainLog.titles);
    EXPECT_EQ(1, g_mainLog.exitCommands);
    EXPECT_EQ(-1, g_attempt.reader);
    for (const FakeCall& call : keys->calls) {
        if (call.name == "UnformatCard" || call.name == "FormatCard") {
            EXPECT_NE(keys->uiThread, call.thread) << call.name << " ran on the user-interface thread";
        }
    }
}

TEST_F(WorkerTest, ButtonsAreDisabledWhileTheWorkerRuns)
{
    runOn(0, true, {kSuccess});
    EXPECT_EQ(std::vector<bool>{false}, keys->formatButtonEnabledDuringUnformat);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(mainDialog, IDC_MAIN_FORMAT)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(mainDialog, IDC_MAIN_UNFORMAT)));
    EXPECT_FALSE(g_attempt.busy);
}

TEST_F(WorkerTest, UnformatNeverFormats)
{
    runOn(0, false, {kSuccess});
    EXPECT_EQ((std::vector<std::string>{"UnformatCard", "CloseReader"}), workCalls());
    EXPECT_EQ((std::vector<unsigned>{2, 5}), g_mainLog.codes);
    EXPECT_EQ(1, g_mainLog.exitCommands);
}

TEST_F(WorkerTest, OccupyAllOmitsTheSpaceRequest)
{
    const struct {
        std::vector<const char*> commandLine;
        std::string request;
    } cases[] = {
        {{"format", "Reader", "occupy_all"}, "null"},
        {{"format", "Reader", "Occupy_all"}, "7000"},
        {{"format", "Reader"}, "7000"},
        {{}, "7000"},
    };
    for (const auto& c : cases) {
        keys->calls.clear();
        setCommandLine(c.commandLine);
        runOn(0, true, {kSuccess});
        EXPECT_EQ(std::vector<std::string>{c.request}, spaceRequests())
            << c.commandLine.size() << " words";
    }
}

TEST_F(WorkerTest, NoMemoryIsRetriedOnceWithoutSpaceRequest)
{
    keys->formatResults = {Fail(kScardNoMemory), Ok()};
    runOn(0, true, {kSuccess});
    EXPECT_EQ((std::vector<std::string>{"7000", "null"}), spaceRequests());
    EXPECT_EQ(0u, g_mainLog.codes.back());
}

TEST_F(WorkerTest, NoMemoryWithOccupyAllRepeatsTheSameCall)
{
    setCommandLine({"format", "Reader", "occupy_all"});
    keys->formatResults = {Fail(kScardNoMemory), Fail(kScardNoMemory)};
    runOn(0, true, {kNoSpace});
    EXPECT_EQ((std::vector<std::string>{"null", "null"}), spaceRequests());
    EXPECT_EQ(7u, g_mainLog.codes.back());
}

TEST_F(WorkerTest, FormatFailuresBecomeOutcomes)
{
    const struct {
        std::vector<FakeResult> formatResults;
        unsigned outcome;
        const char* message;
    } cases[] = {
        {{Fail(kOtherError)}, 4, kFormatFailed},
        {{Fail(kScardNoMemory), Fail(kScardNoMemory)}, 7, kNoSpace},
        {{Fail(kScardNoMemory), Fail(kScardInvalidChv)}, 4, kFormatFailed},
        {{Fail(kScardNoMemory), Fail(kOtherError)}, 4, kFormatFailed},
        {{Fail(kScardUnsupportedFeature)}, 4, kFormatFailed},
    };
    for (const auto& c : cases) {
        keys->formatResults = c.formatResults;
        runOn(0, true, {c.message});
        EXPECT_EQ(c.outcome, g_mainLog.codes.back()) << c.message;
        const SeenWindow box = robot->messageBoxes().back();
        EXPECT_EQ(c.message, box.text);
        EXPECT_EQ("error", box.icon);
        EXPECT_EQ(mainDialog, box.owner);
    }
    EXPECT_EQ(0, g_mainLog.exitCommands);
}

TEST_F(WorkerTest, UnformatFailuresBecomeOutcomes)
{
    const struct {
        int keyStatus;
        bool format;
        DWORD error;
        unsigned outcome;
        const char* message;
        bool formats;
    } cases[] = {
        {0, true, kOtherError, 4, kFormatFailed, false}, // the unformat step of a Format
        {0, false, kOtherError, 3, kUnformatFailed, false},
        {0, true, kScardUnsupportedFeature, 11, kCannotUnformat, false},
        {-2, true, kScardUnsupportedFeature, 11, kCannotUnformat, false},
        {-2, false, kOtherError, 3, kUnformatFailed, false},
        {-2, true, kOtherError, 0, kSuccess, true}, // a Key without our area may refuse to unformat
        {-2, true, kScardNoMemory, 0, kSuccess, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("status " + std::to_string(c.keyStatus) + (c.format ? " Format " : " Unformat ") +
                     std::to_string(c.error));
        keys->calls.clear();
        keys->unformatResults = {Fail(c.error)};
        runOn(c.keyStatus, c.format, {c.message});
        EXPECT_EQ(c.outcome, g_mainLog.codes.back());
        EXPECT_EQ(c.formats ? 1u : 0u, keys->callsNamed("FormatCard").size());
        EXPECT_EQ(1u, keys->callsNamed("CloseReader").size());
    }
}

TEST_F(WorkerTest, LowByteDecidesSuccess)
{
    // 0x100 has a zero low byte: the library said no; 0x201 says yes.
    keys->unformatResults = {Returns(0x100, kOtherError)};
    runOn(0, true, {kFormatFailed});
    EXPECT_EQ(4u, g_mainLog.codes.back());
    keys->unformatResults = {Returns(0x201, 0)};
    runOn(0, true, {kSuccess});
    EXPECT_EQ(0u, g_mainLog.codes.back());
}

TEST_F(WorkerTest, ClearAllBecomesFlagsTwoForBothCalls)
{
    keys->readers = {{"Reader", 30, 21, 0, 7}};
    robot->add(AnswerMessageBoxWithText(kWarnDataDeleted, IDOK));
    robot->add(AnswerMessageBoxWithText(kSuccess, IDOK));
    run(true);
    EXPECT_EQ(2, keys->callsNamed("UnformatCard").at(0).flags);
    EXPECT_EQ(2, keys->callsNamed("FormatCard").at(0).flags);
}

// A fault inside the key library ends in the failure message of the step it hit and the
// advice to start again. The library is never called again, not even to close the reader.
TEST_F(WorkerTest, FaultInTheKeyLibraryEndsInAFailureMessage)
{
    const struct {
        const char* entryPoint;
        const char* message;
    } cases[] = {{"EnumReaders", kInitFailed}, {"InitCard", kInitFailed}, {"GetCardType", kInitFailed},
                 {"UnformatCard", kFormatFailed}, {"FormatCard", kFormatFailed}};
    for (const auto& c : cases) {
        g_keyLibGuard.reset();
        keys->calls.clear();
        keys->faultIn = c.entryPoint;
        keys->readers = {{"Reader", 30, 21, 0, 0}};
        if (c.message != kInitFailed) {
            robot->add(AnswerMessageBoxWithText(kConfirmReformat, IDYES));
            robot->add(AnswerMessageBoxWithText(kConfirmDataLoss, IDYES));
        }
        robot->add(AnswerMessageBoxWithText(c.message, IDOK));
        robot->add(AnswerMessageBoxWithText(kKeyLibraryStopped, IDOK));
        run(true);
        EXPECT_EQ(kKeyLibraryStopped, messageTexts().back()) << c.entryPoint;
        EXPECT_TRUE(keys->faultIn.empty()) << c.entryPoint << " was not called";
        EXPECT_EQ(c.entryPoint, keys->callNames().back()) << "a call followed the fault";
    }
    keys->openHandles = 0; // still held by the library that faulted
}
