// Puts the program's process-wide state back to a fresh start between tests.
#pragma once
#include <string>

void ResetProgramState();

// Puts the folder of test variant `variant` (tests/dlls/<variant>) first on PATH, where the
// maker's libraries are looked for after the program's folder and System32. An empty
// variant restores PATH.
void UseTestLibraries(const std::string& variant);
