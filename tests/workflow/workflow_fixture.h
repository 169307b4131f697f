// A stand-in main dialog (template 101) around the workflow, a scripted key library and
// the dialog robot, with helpers to run one attempt to its end.
#pragma once
#include "support/dialog_robot.h"
#include "support/fake_key_library.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

// Steps for the credential dialog whose procedure is `procedure`.
RobotStep TypeAndPress(DLGPROC procedure, int editId, const std::string& text, int button = IDOK);
RobotStep PressIn(DLGPROC procedure, int button);

// What the stand-in main dialog saw.
struct MainDialogLog {
    std::vector<unsigned> codes;       // every status code, in order
    std::vector<std::string> titles;   // the title after each status code was handled
    int exitCommands = 0;
};

class WorkflowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Sets the operation, zeroes the credential buffer and runs StartOperation as the main
    // dialog does; then pumps messages until every opened reader is closed and every
    // worker's outcome has been handled.
    void run(bool format, bool firstAttempt = true);
    // Pumps until the same quiet state after the test called the workflow directly.
    void waitForQuiet();
    void setCommandLine(std::vector<const char*> words);

    // Names of the message boxes' texts that the robot saw, in order.
    std::vector<std::string> messageTexts() const;
    // The dialogs that opened besides the main dialog.
    std::vector<SeenWindow> credentialDialogs() const;

    FakeKeyLibrary* keys = nullptr;
    DialogRobot* robot = nullptr;
    HWND mainDialog = nullptr;
    std::vector<std::string> commandLineWords_;
    std::vector<char*> commandLineSlots_;
};

extern MainDialogLog g_mainLog;

// Texts of the string table that the tests look for.
extern const char kKeyNotFound[];
extern const char kNoReader[];
extern const char kConfirmReformat[];
extern const char kConfirmDataLoss[];
extern const char kWarnDataDeleted[];
extern const char kInitFailed[];
extern const char kSuccess[];
