// Opens a credential dialog as the workflow does: from the program's own template, owned by
// a window of ours, on this thread, with the dialog robot playing the user.
#pragma once
#include "support/dialog_robot.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

// A caption unlike the templates' title, so that a title taken from the template shows.
inline constexpr char kTestCaption[] = "Caption of the test run";

class CredentialDialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // DialogBoxParamA(executable, templateId, owner, procedure, creation parameter).
    INT_PTR Open(int templateId, DLGPROC procedure, const char* defaultText = nullptr);
    // Open with a one-step script: `act` runs once the dialog is up.
    INT_PTR OpenAndDo(int templateId, DLGPROC procedure, std::function<void(HWND)> act,
                      const char* defaultText = nullptr);
    HWND owner() const { return owner_; }

    // Makes the marked test language library (every dialog string tagged) the language module.
    void UseMarkedLanguage();
    // As above, with the prompt sentences long enough to fill the prompt buffer.
    void UseLongPromptLanguage();

    // The robot answers the dialog run by `procedure` with `act` (one activation).
    void InDialog(DLGPROC procedure, std::function<void(HWND)> act);
    // The next message box: recorded by the robot and closed with OK; then, once it has gone,
    // `then` runs in the dialog that owns it. (Waiting for the dialog to be activated again
    // is not reliable under Wine while another process has the foreground.)
    void AnswerMessageBoxThen(std::function<void(HWND)> then);
    // The one dialog the robot saw, as it came up.
    SeenWindow OnlyDialog() const;
    // Everything scripted happened, nothing unscripted opened, nothing hung.
    void ExpectScriptDone();

    DialogRobot robot_;

private:
    void UseLanguage(const char* folder);
    HWND owner_ = nullptr;
    HMODULE language_ = nullptr;
};

// What a control shows and how it is set, read while its dialog is open.
std::string ControlText(HWND dialog, int id);
bool ControlEnabled(HWND dialog, int id);
LONG ControlStyle(HWND dialog, int id);
int EditLimit(HWND dialog, int editId);
bool BoxTicked(HWND dialog, int boxId);

// The first `count` bytes of the credential buffer, as text for readable failures.
std::string CredentialHex(int count);
// `pair` written `count` times, to compare with CredentialHex.
std::string RepeatHex(const std::string& pair, int count);
// Fills the credential buffer with a recognisable pattern, so that writes show.
void FillCredential(unsigned char pattern);
void SetCredentialText(const char* text);
