// The key library's contract as this program relies on it: the types of the eight entry
// points that it calls, WINAPI, and the PC/SC error codes that they leave as last error.
#pragma once
#include <windows.h>

// Published PC/SC (WinSCard) error codes.
constexpr DWORD kScardInvalidChv = 0x8010002A;         // SCARD_E_INVALID_CHV
constexpr DWORD kScardUnsupportedFeature = 0x80100022; // SCARD_E_UNSUPPORTED_FEATURE
constexpr DWORD kScardNoMemory = 0x80100006;           // SCARD_E_NO_MEMORY
constexpr DWORD kScardChvBlocked = 0x8010006C;         // SCARD_W_CHV_BLOCKED
constexpr DWORD kScardNoSmartcard = 0x8010000C;        // SCARD_E_NO_SMARTCARD
constexpr DWORD kScardRemovedCard = 0x80100069;        // SCARD_W_REMOVED_CARD
constexpr DWORD kScardReaderUnavailable = 0x80100017;  // SCARD_E_READER_UNAVAILABLE
constexpr DWORD kScardSharingViolation = 0x8010000B;   // SCARD_E_SHARING_VIOLATION

constexpr int kCredentialSize = 256;
constexpr int kUsableReaderType = 30;
constexpr int kNoHandle = -1; // InitReader: not opened; InitCard: no usable Key

// Key statuses from InitCard that the program tells apart.
constexpr int kKeyNotFormatted = -2;
constexpr int kKeyClearAllOnly = -7;

// Flags of UnformatCard and FormatCard.
constexpr int kKeepOtherData = 0;
constexpr int kClearAllData = 2;

using EnumReadersFn = const char*(WINAPI*)(int index);
using GetReaderTypeFn = int(WINAPI*)(const char* readerName);
using InitReaderFn = int(WINAPI*)(const char* readerName);
using InitCardFn = int(WINAPI*)(int reader, int reserved);
using GetCardTypeFn = int(WINAPI*)(int reader, int* cardType);
using CloseReaderFn = int(WINAPI*)(int reader);
using UnformatCardFn = BOOL(WINAPI*)(int reader, unsigned char* credential, int flags);
using FormatCardFn = BOOL(WINAPI*)(int reader, unsigned char* credential, const char* text,
                                   const DWORD* spaceRequest, int flags);

// Bound for completeness, never called: only their presence matters.
using UnusedKeyFn = int(WINAPI*)();

// Every entry point of the key library, in binding order.
#define KEY_LIBRARY_ENTRY_POINTS(X)        \
    X(EnumReaders, EnumReadersFn)          \
    X(InitReader, InitReaderFn)            \
    X(CloseReader, CloseReaderFn)          \
    X(InitCard, InitCardFn)                \
    X(CloseCard, UnusedKeyFn)              \
    X(VerifyPIN, UnusedKeyFn)              \
    X(ChangePIN, UnusedKeyFn)              \
    X(UnblockPIN, UnusedKeyFn)             \
    X(ReadData, UnusedKeyFn)               \
    X(WriteData, UnusedKeyFn)              \
    X(DeleteData, UnusedKeyFn)             \
    X(SetDataSize, UnusedKeyFn)            \
    X(GetRandom, UnusedKeyFn)              \
    X(GetReaderName, UnusedKeyFn)          \
    X(GetReaderType, GetReaderTypeFn)      \
    X(IsDataExist, UnusedKeyFn)            \
    X(GetCardID, UnusedKeyFn)              \
    X(GetCardType, GetCardTypeFn)          \
    X(EnumApplications, UnusedKeyFn)       \
    X(GetApplicationInfo, UnusedKeyFn)     \
    X(ReadLabel, UnusedKeyFn)              \
    X(WriteLabel, UnusedKeyFn)             \
    X(ReadDataApp, UnusedKeyFn)            \
    X(WriteDataApp, UnusedKeyFn)           \
    X(SetDataSizeApp, UnusedKeyFn)         \
    X(ReadBIR, UnusedKeyFn)                \
    X(WriteBIR, UnusedKeyFn)               \
    X(SetBIRSize, UnusedKeyFn)             \
    X(DeleteBIR, UnusedKeyFn)              \
    X(AnyReadersChanges, UnusedKeyFn)      \
    X(ExternalAuth, UnusedKeyFn)           \
    X(ChangeIssuerKey, UnusedKeyFn)        \
    X(FormatCard, FormatCardFn)            \
    X(UnformatCard, UnformatCardFn)
