// Finding the Key: which readers are asked, opened and closed, and when nothing is found.
#include "workflow_fixture.h"

#include "core/attempt_state.h"

namespace {

std::vector<std::string> Opened(const FakeKeyLibrary& keys)
{
    std::vector<std::string> names;
    for (const FakeCall& call : keys.callsNamed("InitReader"))
        names.push_back(call.text);
    return names;
}

// A Format of a Key without a credential step, answered Yes twice.
void ExpectConfirmedFormat(DialogRobot& robot)
{
    robot.add(AnswerMessageBoxWithText(kConfirmReformat, IDYES));
    robot.add(AnswerMessageBoxWithText(kConfirmDataLoss, IDYES));
    robot.add(AnswerMessageBoxWithText(kSuccess, IDOK));
}

} // namespace

TEST_F(WorkflowTest, NoReaderMeansNoKey)
{
    robot->add(AnswerMessageBox(IDOK));
    run(true);
    ASSERT_EQ(1u, robot->messageBoxes().size());
    const SeenWindow box = robot->messageBoxes()[0];
    EXPECT_EQ(kNoReader, box.text);
    EXPECT_EQ("warning", box.icon);
    EXPECT_EQ(mainDialog, box.owner);
    EXPECT_EQ("Key formatting utility", box.title);
    EXPECT_EQ((std::vector<std::string>{"EnumReaders"}), keys->callNames());
}

TEST_F(WorkflowTest, OnlyReadersOfTypeThirtyAreOpened)
{
    keys->readers = {{"Other kind", 12, 5, 0}, {"Token slot", 30, 6, 0}};
    ExpectConfirmedFormat(*robot);
    run(true);
    EXPECT_EQ((std::vector<std::string>{"Token slot"}), Opened(*keys));
    EXPECT_EQ(0, keys->closesOf(5));
    EXPECT_EQ(1, keys->closesOf(6));
}

TEST_F(WorkflowTest, ReaderThatDoesNotOpenIsNotClosed)
{
    keys->readers = {{"Busy reader", 30, -1, 0}, {"Free reader", 30, 7, 0}};
    ExpectConfirmedFormat(*robot);
    run(true);
    EXPECT_EQ((std::vector<std::string>{"Busy reader", "Free reader"}), Opened(*keys));
    EXPECT_EQ(0, keys->closesOf(-1));
    EXPECT_EQ(1, keys->closesOf(7));
}

TEST_F(WorkflowTest, ReaderWithoutKeyIsClosedAndPassedOver)
{
    keys->readers = {{"Empty reader", 30, 3, -1}, {"Reader with Key", 30, 4, 0}};
    ExpectConfirmedFormat(*robot);
    run(true);
    EXPECT_EQ(1, keys->closesOf(3));
    EXPECT_EQ(1, keys->closesOf(4));
    const auto unformats = keys->callsNamed("UnformatCard");
    ASSERT_EQ(1u, unformats.size());
    EXPECT_EQ(4, unformats[0].reader);
    // The empty reader was closed before the next one was looked at.
    const auto names = keys->callNames();
    EXPECT_EQ("CloseReader", names.at(4));
}

TEST_F(WorkflowTest, NoUsableKeyAnywhere)
{
    keys->readers = {{"A", 30, 1, -1}, {"B", 31, 2, 0}, {"C", 30, -1, 0}};
    robot->add(AnswerMessageBoxWithText(kKeyNotFound, IDOK));
    run(false);
    EXPECT_EQ(1, keys->closesOf(1));
    EXPECT_EQ(0, keys->closesOf(2));
    EXPECT_TRUE(keys->callsNamed("GetCardType").empty());
}

TEST_F(WorkflowTest, CommandLineReaderNameIsComparedExactly)
{
    keys->readers = {{"Simulated Reader 0", 30, 1, 0}};
    setCommandLine({"format", "simulated reader 0"});
    robot->add(AnswerMessageBoxWithText("The reader \"simulated reader 0\" named on the command line was not found. "
                                        "Connected readers: Simulated Reader 0. The name must match exactly, capital "
                                        "letters included.",
                                        IDOK));
    run(true);
    EXPECT_TRUE(keys->callsNamed("InitReader").empty());
}

TEST_F(WorkflowTest, CommandLineReaderNameSelectsTheReader)
{
    keys->readers = {{"First Reader", 30, 1, 0}, {"Second Reader", 30, 2, 0}};
    setCommandLine({"unformat", "Second Reader"});
    robot->add(AnswerMessageBoxWithText(kConfirmDataLoss, IDYES));
    robot->add(AnswerMessageBoxWithText(kSuccess, IDOK));
    run(false);
    EXPECT_EQ((std::vector<std::string>{"Second Reader"}), Opened(*keys));
    // A later attempt in the same run is restricted too.
    robot->add(AnswerMessageBoxWithText(kConfirmDataLoss, IDNO));
    run(false);
    EXPECT_EQ((std::vector<std::string>{"Second Reader", "Second Reader"}), Opened(*keys));
}

TEST_F(WorkflowTest, EmptyCommandLineReaderNameSelectsOnlyTheReaderWithoutName)
{
    keys->readers = {{"First Reader", 30, 1, 0}, {"", 30, 2, 0}};
    setCommandLine({"unformat", ""});
    robot->add(AnswerMessageBoxWithText(kConfirmDataLoss, IDNO));
    run(false);
    EXPECT_EQ((std::vector<std::string>{""}), Opened(*keys));
}

TEST_F(WorkflowTest, CardTypeIsZeroWhenTheLibraryWritesNothing)
{
    keys->readers = {{"Reader", 30, 1, 0, std::nullopt}};
    g_attempt.cardType = 8;
    ExpectConfirmedFormat(*robot);
    run(true);
    EXPECT_EQ(0, g_attempt.cardType);
    const auto unformats = keys->callsNamed("UnformatCard");
    ASSERT_EQ(1u, unformats.size());
    EXPECT_EQ(0, unformats[0].credential[0]) << "the credential buffer is empty";
    EXPECT_EQ(0, unformats[0].flags);
}

TEST_F(WorkflowTest, UnexpectedKeyStatusIsAnError)
{
    keys->readers = {{"Reader", 30, 9, 42, 0}};
    robot->add(AnswerMessageBox(IDOK));
    run(true);
    ASSERT_EQ(1u, robot->messageBoxes().size());
    EXPECT_EQ(kInitFailed, robot->messageBoxes()[0].text);
    EXPECT_EQ("error", robot->messageBoxes()[0].icon);
    EXPECT_EQ(1, keys->closesOf(9));
    EXPECT_TRUE(keys->callsNamed("UnformatCard").empty());
}

// A library that never ends its list must not freeze the window: the walk gives up at the
// first name it has seen before, or after 256 readers.
TEST_F(WorkflowTest, EndlessReaderListIsGivenUp)
{
    const struct {
        Listing listing;
        size_t walked;
    } cases[] = {{Listing::SameNameForEveryIndex, 2}, {Listing::NewNameForEveryIndex, 256}};
    for (const auto& c : cases) {
        keys->calls.clear();
        keys->listing = c.listing;
        robot->add(AnswerMessageBoxWithText(kKeyNotFound, IDOK));
        run(true);
        EXPECT_EQ(c.walked, keys->callsNamed("EnumReaders").size()) << c.walked;
        EXPECT_TRUE(keys->callsNamed("InitReader").empty());
    }
    EXPECT_EQ(2u, robot->messageBoxes().size());
}
