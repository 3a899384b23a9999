// The commands of msistub-pack as functions: the program only parses the
// command line and calls these; the tests call them directly. Refusals and
// failures are thrown as PackError.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "chain/placement.h"
#include "commands/decoder_limits.h"
#include "files/key_passphrase.h"
#include "setup/package_plan.h"
#include "setup/stub_branding.h"

struct KeygenOptions {
    std::string privateKeyPath;
    std::string publicKeyPath;
    bool overwrite = false;
};
void RunKeygen(const KeygenOptions& options, std::ostream& out);

struct PackOptions {
    std::string stubPath;
    std::string privateKeyPath;
    std::string outputPath;
    std::string stubPublicKeyPath;  // empty: only the key the stub carries is checked
    Placement placement = Placement::Automatic;
    std::vector<std::string> msiPaths;  // each may end in ":LANGUAGES", the languages of that package
    std::vector<std::string> languagesOptions;  // --languages: once for every MSI, or once per MSI in order
    PackageOverrides overrides;
    // Written into the copy of an unsigned stub; the product name is
    // overrides.productName, which names the package lines too.
    StubBranding branding;
    PassphraseSource passphrase;
    bool force = false;  // replace an existing output file
    bool json = false;   // report what was packed as JSON
    uint64_t sizeLimit = UINT32_MAX;  // the u32 fields of the container; smaller only in tests
    // A tag or certificate-table placement of a larger container is refused
    // (decoder_limits.h); smaller only in tests.
    uint64_t largestContainerInSignature = kLargestContainerInSignature;
    bool forcePlacement = false;  // pack such a placement anyway, with a warning
};
// What was packed goes to `out`, warnings to `warnings`. Nothing is written
// unless every check passes.
void RunPack(const PackOptions& options, std::ostream& out, std::ostream& warnings);

struct ReadOptions {
    std::string setupPath;
    std::string publicKeyPath;  // empty: the key the setup's stub carries; else required as well
};
// list, extract and verify throw PackError "no container found" for a file
// that holds none. Each prints its report first and then, when anything in
// the file is not as its launcher needs it, throws VerificationError that
// names the file and every entry that failed.
void RunList(const ReadOptions& options, bool json, std::ostream& out);
// Writes the payloads of every blob into `outputDir`; an entry that did not
// verify, with a manifest that did, goes under its name plus ".unverified",
// one that does not inflate not at all. Existing files are replaced only
// with `force`; without it nothing is written.
void RunExtract(const ReadOptions& options, const std::string& outputDir, bool force, std::ostream& out);
void RunVerify(const ReadOptions& options, std::ostream& out);
