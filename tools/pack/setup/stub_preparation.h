// The stub a setup is built on: the vendor's key and branding written into
// a copy of an unsigned stub, or a signed stub checked to carry the key
// already. Also the `stub` command, which writes them without packing, for
// a stub that is signed before the container goes into its signature.
#pragma once

#include <openssl/evp.h>

#include <ostream>
#include <string>
#include <vector>

#include "files/byte_files.h"
#include "files/key_passphrase.h"
#include "setup/package_plan.h"
#include "setup/stub_branding.h"

// A stub's key, when it has one, must be the signing key's public half (and
// `stubPublicKeyPath`'s, when given). A signed stub must have one, since its
// resources cannot change. Throws PackError otherwise.
void CheckStubKey(const Bytes& stub, const std::string& stubPath, EVP_PKEY* signingKey,
                  const std::string& signingKeyPath, const std::string& stubPublicKeyPath);

// The stub to place the container into. An unsigned one (cut back to the
// image if it carries a container) gets the key and the branding; the
// version resource takes its defaults from the first package. A signed one
// is returned as it is and refuses branding options; when its version
// resource names another product or version than the first package, a
// warning says so.
Bytes PrepareStub(const Bytes& stub, const std::string& stubPath, EVP_PKEY* signingKey, const StubBranding& branding,
                  const std::vector<PackageSource>& packages, std::ostream& warnings);

struct StubOptions {
    std::string stubPath;
    std::string privateKeyPath;
    std::string outputPath;
    std::string stubPublicKeyPath;
    std::vector<std::string> msiPaths;  // optional: the first gives the version resource's defaults
    StubBranding branding;
    PassphraseSource passphrase;
    bool force = false;
};
void RunStub(const StubOptions& options, std::ostream& out);
