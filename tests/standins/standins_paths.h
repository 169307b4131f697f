// Where the build put the stand-ins' test libraries and the German language library.
#pragma once
#include "support/test_paths.h"

#include <string>

inline std::string StandinsDllDir() { return STANDINS_DLL_DIR; }
inline std::string GermanLibraryPath() { return JoinPath(STANDINS_GERMAN_DIR, "keyprep_lang.dll"); }
inline std::string PlinthPath() { return JoinPath(BinDir(), "plinth.dll"); }
