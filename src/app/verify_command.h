#pragma once

inline constexpr char kVerifyReceiptsWord[] = "verify-receipts";

// keyprep.exe verify-receipts FILE: says whether the receipts file is whole, or names its
// first line that is missing, doubled, out of order or changed. To a script that catches the
// output it is written there, else it is shown. 0 for a whole file, 1 otherwise.
bool IsVerifyCommand(const char* commandLine);
int RunVerifyCommand(char* commandLine);
