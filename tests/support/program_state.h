// Puts the program's process-wide state back to a fresh start between tests.
#pragma once
#include <string>

void ResetProgramState();

// Makes the libraries of test variant `variant` (tests/dlls/<variant>) the first found by
// name, as if they lay beside the program. An empty variant restores the normal search.
void UseTestLibraries(const std::string& variant);
