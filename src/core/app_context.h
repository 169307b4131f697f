// Process-wide values written at start-up and read everywhere afterwards.
#pragma once
#include <windows.h>

constexpr int kCaptionSize = 100;
constexpr int kArgumentSlots = 3;

struct AppContext {
    HINSTANCE instance;       // templates, icons, bitmaps and cursors load from here
    HMODULE languageModule;   // the language library, or the executable itself
    char caption[kCaptionSize];
    HMODULE supportLibrary;
    HMODULE keyLibrary;
    int argumentCount;        // words on the command line, 0 to 3
    char* arguments[kArgumentSlots]; // operation word, reader name, option word
    HWND mainDialog;
    // What a command-line start ends with: set when an attempt or a series started from the
    // window or the command line ends, or is refused.
    int exitCode;
};

extern AppContext g_app;

// The support library's file and the maker's contact details shown by the program.
inline constexpr char kSupportLibraryFile[] = "plinth.dll";
inline constexpr char kKeyLibraryFile[] = "cardwyn32.dll";
inline constexpr char kLanguageLibraryFile[] = "keyprep_lang.dll";
inline constexpr char kExecutableFile[] = "keyprep.exe";
inline constexpr char kWebHost[] = "www.veltrax.example";
inline constexpr char kSupportEmail[] = "support@veltrax.example";
inline constexpr char kCompanyWord[] = "Veltrax";

inline constexpr char kFormatWord[] = "format";
inline constexpr char kUnformatWord[] = "unformat";
inline constexpr char kOccupyAllWord[] = "occupy_all";
inline constexpr char kSeriesWord[] = "series";

// True when command-line slot `slot` holds exactly `word` (case-sensitive, whole word).
bool ArgumentIs(int slot, const char* word);
