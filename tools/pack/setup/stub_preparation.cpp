#include "setup/stub_preparation.h"

#include "chain/pe_image.h"
#include "chain/placement.h"
#include "chain/signing_key.h"
#include "files/input_checks.h"
#include "files/pack_error.h"
#include "msi/msi_facts.h"
#include "setup/stub_resource_section.h"
#include "setup/stub_resources.h"
#include "setup/version_info.h"

namespace {
bool IsSigned(const Bytes& stub) {
    std::optional<PeLayout> layout = FindPeLayout(stub.data(), stub.size());
    return layout && HasCertificateTable(*layout, stub.size());
}

MsiBranding BrandingOf(const PackageSource& package) {
    return {package.msiPath, package.productName, package.productVersion, package.manufacturer};
}

// A signed stub keeps the branding it was signed with; a setup whose version
// resource names another product than the one it installs is most likely a
// stub left from another release.
void WarnOfOtherProduct(const Bytes& stub, const std::string& stubPath, const PackageSource& package,
                        std::ostream& warnings) {
    std::optional<VersionInfo> info;
    try {
        std::vector<ResourceItem> items = ReadStubResources(stub, stubPath);
        const ResourceItem* version = FindResource(items, ResourceId(kResourceTypeVersion), ResourceId(1));
        if (version) info = DecodeVersionInfo(version->data);
    } catch (const PackError&) {
        return;
    }
    if (!info) return;
    std::string name = info->strings["ProductName"], version = info->strings["ProductVersion"];
    if (name == package.productName && version == package.productVersion) return;
    warnings << "msistub-pack: warning: the signed stub " << stubPath << " says it sets up \"" << name << "\" "
             << version << ", but " << package.msiPath << " is \"" << package.productName << "\" "
             << package.productVersion << "; write the branding into the unsigned stub with msistub-pack stub "
             << "and sign it again, or the setup's Properties name the wrong product\n";
}
}  // namespace

void CheckStubKey(const Bytes& stub, const std::string& stubPath, EVP_PKEY* signingKey,
                  const std::string& signingKeyPath, const std::string& stubPublicKeyPath) {
    bool carriesKey = FindRcdataResource(stub, "MSISTUB_VERIFICATION_KEY").has_value();
    if (!carriesKey && IsSigned(stub))
        throw PackError("the signed stub " + stubPath + " carries no verification key, and writing one would break "
                        "its signature: write the key into the unsigned stub with msistub-pack stub, then sign it");
    KeyPtr stubKey = carriesKey ? StubVerificationKey(stub, stubPath) : nullptr;
    if (stubKey && !SamePublicKey(signingKey, stubKey.get()))
        throw PackError("the private key " + signingKeyPath + " does not match the verification key of " + stubPath +
                        " (" + KeyFingerprint(stubKey.get()) +
                        "); the launcher would reject every entry. Sign with the private half of the key the stub "
                        "carries, or start from a stub without a key (the msistub.exe the project builds)");
    if (stubPublicKeyPath.empty()) return;
    KeyPtr given = LoadPublicKey(stubPublicKeyPath);
    if (!SamePublicKey(given.get(), stubKey ? stubKey.get() : signingKey))
        throw PackError("the stub " + stubPath + " carries another verification key than " + stubPublicKeyPath);
}

Bytes PrepareStub(const Bytes& stub, const std::string& stubPath, EVP_PKEY* signingKey, const StubBranding& branding,
                  const std::vector<PackageSource>& packages, std::ostream& warnings) {
    if (IsSigned(stub)) {
        if (branding.Any())
            throw PackError("the stub " + stubPath + " is signed, so its icon and version resource cannot change: "
                            "write the branding with msistub-pack stub before signing, or pack the unsigned stub");
        if (!packages.empty()) WarnOfOtherProduct(stub, stubPath, packages.front(), warnings);
        return stub;
    }
    std::optional<MsiBranding> msi;
    if (!packages.empty()) msi = BrandingOf(packages.front());
    return BrandStub(StubWithoutChain(stub), stubPath, VerificationKeyBlob(signingKey), branding, msi);
}

void RunStub(const StubOptions& options, std::ostream& out) {
    KeyPtr key = LoadSigningKey(options.privateKeyPath, ReadKeyPassphrase(options.passphrase));
    std::vector<std::string> inputs = {options.stubPath, options.privateKeyPath, options.stubPublicKeyPath,
                                       options.passphrase.filePath};
    inputs.insert(inputs.end(), options.msiPaths.begin(), options.msiPaths.end());
    if (options.branding.iconPath) inputs.push_back(*options.branding.iconPath);
    CheckOutputTarget(options.outputPath, inputs, options.force);
    Bytes stub = ReadFileBytes(options.stubPath, "stub");
    CheckStubKey(stub, options.stubPath, key.get(), options.privateKeyPath, options.stubPublicKeyPath);
    std::optional<MsiBranding> msi;
    if (!options.msiPaths.empty()) {
        CheckMsiFile(options.msiPaths.front());
        MsiFacts facts = ReadMsiFacts(options.msiPaths.front());
        msi = MsiBranding{options.msiPaths.front(), facts.productName, facts.productVersion, facts.manufacturer};
    }
    Bytes branded = BrandStub(StubWithoutChain(stub), options.stubPath, VerificationKeyBlob(key.get()),
                              options.branding, msi);
    WriteFileReplacing(options.outputPath, branded);
    out << "wrote " << options.outputPath << " (" << branded.size() << " bytes): " << options.stubPath
        << " with the verification key " << KeyFingerprint(key.get())
        << (options.branding.Any() || msi ? " and the branding" : "") << "\n";
}
