// Where the build put the program, the stand-ins and the test libraries (Windows paths).
#pragma once
#include <string>

std::string BinDir();             // keyprep.exe, cardwyn32.dll, plinth.dll
std::string TestDllDir();         // tests/dlls/<variant>/<library>
std::string SourceDir();          // the source tree
std::string JoinPath(const std::string& folder, const std::string& name);
// tests/dlls/<variant>/<file>
std::string TestLibrary(const std::string& variant, const std::string& file);
bool Exists(const std::string& path);
bool CopyInto(const std::string& file, const std::string& folder, const std::string& asName = "");
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& text);
