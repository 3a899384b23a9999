// StatusValue: the result of every launcher step that can fail. Bits 0 to 31
// carry the code (0 = success; otherwise a Win32 error, an HRESULT or the
// installer's exit code), bits 32 to 63 the fixed number of the site that
// produced it. Callers test the code only.
#pragma once

#include <cstdint>

using StatusValue = uint64_t;

constexpr StatusValue StatusOf(uint32_t code, uint32_t line) {
    return (static_cast<uint64_t>(line) << 32) | code;
}
constexpr uint32_t StatusCode(StatusValue status) { return static_cast<uint32_t>(status); }
constexpr uint32_t StatusLine(StatusValue status) { return static_cast<uint32_t>(status >> 32); }
constexpr bool StatusSucceeded(StatusValue status) { return StatusCode(status) == 0; }
constexpr bool StatusFailed(StatusValue status) { return StatusCode(status) != 0; }

using ErrorSource = uint32_t (*)();

// The source's code when it gives a non-zero one, else `defaultCode`.
StatusValue MakeStatus(ErrorSource source, uint32_t defaultCode, uint32_t line);

// Win32 codes and HRESULTs the launcher reports by name.
enum : uint32_t {
    kErrorSuccess = 0,
    kErrorInvalidHandle = 6,
    kErrorNotEnoughMemory = 8,
    kErrorInvalidData = 13,
    kErrorWriteFault = 29,
    kErrorReadFault = 30,
    kErrorCannotMake = 82,
    kErrorNoProcSlots = 89,
    kErrorOpenFailed = 110,
    kErrorSeekOnDevice = 132,
    kErrorAlreadyExists = 183,
    kErrorFilenameExcedRange = 206,
    kErrorMoreData = 234,
    kErrorNoAssociation = 1155,
    kErrorNotFound = 1168,
    kErrorCancelled = 1223,
    kErrorFileCorrupt = 1392,
    kErrorInstallServiceFailure = 1601,
    kErrorCantResolveFilename = 1921,
    kErrorInvalidCommandLine = 1639,  // installer command line too long to pass on whole
    kEInvalidArg = 0x80070057u,
    kNteBadKey = 0x80090003u,
};
