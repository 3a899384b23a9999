// The fixed site numbers carried in the high half of a StatusValue. Each names
// one place that can end a step; the numbers are part of what support staff
// read back from a user's error box, so they never change.
#pragma once

#include <cstdint>

enum SiteLine : uint32_t {
    // Launcher control.
    kLineCommandLineNotSplit = 2411,
    kLineModulePathNotObtained = 2406,

    // Own file.
    kLineOwnFileNotOpened = 2042,
    kLineOwnFileNotImage = 2044,  // the file at the own path is not the running image
    kLineOwnFileSizeUnknown = 2035,
    kLineNoMemoryForSignatureData = 2030,
    kLineOwnFileReadFailed = 2023,
    kLineWholeFileBlobNotAppended = 2001,

    // Tag-extension lookup.
    kLineNothingFound = 789,
    kLineSignatureNotOpened = 831,
    kLineSignatureNotAccepted = 837,
    kLineCertificateCountUnknown = 846,
    kLineCertificateSizeUnknown = 937,
    kLineNoMemoryForCertificate = 932,
    kLineCertificateNotRead = 924,
    kLineCertificateNotDecoded = 919,
    kLineNoMemoryForTagValue = 907,
    kLineTagBlobNotAppended = 892,

    // Entry chain.
    kLineEntryNotFound = 509,
    kLineManifestInflated = 547,
    kLineManifestNotInflated = 551,
    kLineManifestCopied = 562,
    kLineNoMemoryForManifest = 566,
    kLineManifestSignatureBad = 592,
    kLineManifestKeyNotLoaded = 599,
    kLineEmptyPayloadVerified = 662,
    kLineNoMemoryForEmptyPayload = 666,
    kLinePayloadInflated = 687,
    kLinePayloadNotInflated = 691,
    kLinePayloadCopied = 702,
    kLineNoMemoryForPayload = 706,
    kLinePayloadSignatureBad = 732,
    kLinePayloadKeyNotLoaded = 739,

    // Selection, destination, writing, hand-off.
    kLineNoPackage = 2151,
    kLineNoInstaller = 2161,
    kLineDestinationNotMade = 2214,  // unattended: no browser, the error that kept the files from being made
    kLineBrowseCancelled = 2219,
    kLineProgressNotFinished = 2280,  // also unattended, with the error that stopped the writing
    kLineInstallerExitCode = 2349,
    kLineInstallerNotCreated = 2355,
    kLineInstallerCommandTooLong = 2358,
    kLineInstallerNotAwaited = 2362,      // the wait for the installer failed; its files are kept
};
