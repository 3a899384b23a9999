#include "commands/pack_commands.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "chain/blob_locator.h"
#include "chain/container_presence.h"
#include "chain/entry_chain.h"
#include "chain/pe_image.h"
#include "chain/signing_key.h"
#include "commands/container_report.h"
#include "commands/json_text.h"
#include "commands/msi_arguments.h"
#include "commands/pack_report.h"
#include "files/input_checks.h"
#include "files/pack_error.h"
#include "setup/package_conflicts.h"
#include "setup/stub_preparation.h"
#include "setup/stub_resources.h"

namespace fs = std::filesystem;

namespace {
// Entries are checked against the key the setup's own stub carries, since
// that is what its launcher will do; --public-key adds a requirement.
KeyPtr VerificationKeyFor(const ReadOptions& options, const Bytes& file, std::vector<std::string>* problems) {
    if (!options.publicKeyPath.empty() && !FindRcdataResource(file, "MSISTUB_VERIFICATION_KEY")) {
        problems->push_back("the file carries no verification key of its own; checked with " + options.publicKeyPath);
        return LoadPublicKey(options.publicKeyPath);
    }
    KeyPtr key = StubVerificationKey(file, options.setupPath);
    if (!options.publicKeyPath.empty()) {
        KeyPtr required = LoadPublicKey(options.publicKeyPath);
        if (!SamePublicKey(key.get(), required.get()))
            problems->push_back("the setup's launcher checks with " + KeyFingerprint(key.get()) + ", not with " +
                                options.publicKeyPath + " (" + KeyFingerprint(required.get()) + ")");
    }
    return key;
}

struct ExaminedFile {
    std::string keyFingerprint;
    std::vector<std::string> keyProblems;  // also among every blob's problems
    std::vector<BlobReport> blobs;
};

ExaminedFile ExamineFile(const ReadOptions& options) {
    Bytes file = ReadFileBytes(options.setupPath, "setup");
    std::vector<LocatedBlob> blobs = LocateBlobs(file);
    if (SignedWithoutContainer(file, blobs))
        throw PackError("no container found in " + options.setupPath +
                        ": the file has an Authenticode signature but no container: signed or re-signed after "
                        "packing with --placement tag or certificate, the new signature replaced the container; pack "
                        "again, or pack with --placement end and sign last");
    RefuseFileWithoutContainer(options.setupPath, file, blobs);
    std::vector<std::string> keyProblems;
    KeyPtr key = VerificationKeyFor(options, file, &keyProblems);
    ExaminedFile examined{KeyFingerprint(key.get()), keyProblems, {}};
    for (const LocatedBlob& blob : blobs) examined.blobs.push_back(ExamineBlob(blob, key.get()));
    for (BlobReport& blob : examined.blobs)
        blob.problems.insert(blob.problems.begin(), keyProblems.begin(), keyProblems.end());
    return examined;
}

// The one line a reading command ends with when the setup would not install
// as it is: the file, and what failed in each blob.
void RefuseUnlessAllVerify(const std::string& path, const ExaminedFile& examined) {
    std::string failures;
    for (size_t b = 0; b < examined.blobs.size(); ++b)
        for (const std::string& problem : examined.blobs[b].problems) {
            if (b > 0 && std::find(examined.keyProblems.begin(), examined.keyProblems.end(), problem) !=
                             examined.keyProblems.end())
                continue;
            failures += (failures.empty() ? "" : "; ") +
                        (examined.blobs.size() > 1 ? "blob " + std::to_string(b + 1) + ": " : std::string()) + problem;
        }
    if (!failures.empty())
        throw VerificationError(path + " does not verify, so its launcher would refuse it: " + failures);
}

const char* RecordKindName(RecordKind kind) {
    switch (kind) {
        case RecordKind::Package:
            return "package";
        case RecordKind::Cabinet:
            return "cabinet";
        case RecordKind::Other:
            return "other";
    }
    return "";
}

void WriteListJson(const std::string& path, const ExaminedFile& examined, std::ostream& out) {
    const std::vector<BlobReport>& reports = examined.blobs;
    bool allVerify = true;
    out << "{\"file\":" << JsonString(path) << ",\"verificationKey\":" << JsonString(examined.keyFingerprint)
        << ",\"blobs\":[";
    for (size_t b = 0; b < reports.size(); ++b) {
        const BlobReport& blob = reports[b];
        allVerify = allVerify && BlobVerifies(blob);
        out << (b ? "," : "") << "{\"site\":" << JsonString(blob.site) << ",\"size\":" << blob.size
            << ",\"verified\":" << (BlobVerifies(blob) ? "true" : "false") << ",\"records\":[";
        for (size_t r = 0; r < blob.records.size(); ++r)
            out << (r ? "," : "") << "{" << RecordJsonMembers(blob.records[r]) << "}";
        out << "],\"entries\":[";
        for (size_t e = 0; e < blob.entries.size(); ++e) {
            const EntryReport& entry = blob.entries[e];
            out << (e ? "," : "") << "{\"type\":\"" << (entry.isManifest ? "manifest" : "payload")
                << "\",\"id\":" << entry.id << ",\"storedSize\":" << entry.storedSize
                << ",\"signatureSize\":" << entry.signatureSize
                << ",\"inflated\":" << (entry.readable ? "true" : "false") << ",\"contentSize\":" << entry.contentSize
                << ",\"verified\":" << (entry.verified ? "true" : "false") << "}";
        }
        out << "],\"problems\":[";
        for (size_t p = 0; p < blob.problems.size(); ++p) out << (p ? "," : "") << JsonString(blob.problems[p]);
        out << "]}";
    }
    out << "],\"verified\":" << (allVerify ? "true" : "false") << "}\n";
}

void WriteListText(const std::string& path, const ExaminedFile& examined, std::ostream& out) {
    const std::vector<BlobReport>& reports = examined.blobs;
    out << path << ": " << reports.size() << (reports.size() == 1 ? " blob\n" : " blobs\n");
    out << "verification key (the stub's): " << examined.keyFingerprint << "\n";
    for (size_t b = 0; b < reports.size(); ++b) {
        const BlobReport& blob = reports[b];
        out << "blob " << b + 1 << ": " << blob.site << ", " << blob.size << " bytes\n";
        out << "  manifest records:\n";
        for (const ManifestRecord& record : blob.records)
            out << "    " << record.id << "  " << RecordKindName(KindOfRecord(record)) << "  " << record.text << "\n";
        out << "  entries:\n";
        for (const EntryReport& entry : blob.entries) {
            out << "    " << (entry.isManifest ? "manifest" : "payload ") << "  id " << entry.id << "  data "
                << entry.storedSize << " bytes  signature " << entry.signatureSize << " bytes  ";
            if (!entry.readable)
                out << "does not inflate\n";
            else
                out << "content " << entry.contentSize << " bytes  "
                    << (entry.verified ? "signature verifies" : "SIGNATURE DOES NOT VERIFY") << "\n";
        }
        for (const std::string& problem : blob.problems) out << "  problem: " << problem << "\n";
    }
}

// The file names that `extract` gives a blob's payloads: "main.msi" and the
// cabinets' names, in a folder per package when there are several packages.
// Names come from the file being examined, so only plain names are used.
std::map<uint32_t, std::vector<std::string>> ExtractionNames(const BlobReport& blob) {
    std::map<uint32_t, std::vector<std::string>> names;
    std::set<uint32_t> packages;
    for (const ManifestRecord& record : blob.records)
        if (KindOfRecord(record) == RecordKind::Package) packages.insert(record.id);
    const bool folderPerPackage = packages.size() > 1;
    for (const ManifestRecord& record : blob.records) {
        RecordKind kind = KindOfRecord(record);
        if (kind == RecordKind::Package) {
            names[record.id].push_back(folderPerPackage ? std::to_string(record.id) + "/main.msi" : "main.msi");
        } else if (kind == RecordKind::Cabinet) {
            std::vector<std::string> fields = LineFields(record.text, 3);
            try {
                CheckCabinetFileName(fields[2], "the manifest");
            } catch (const PackError&) {
                continue;
            }
            if (!folderPerPackage) {
                names[record.id].push_back(fields[2]);
                continue;
            }
            for (uint32_t owner : OwnerIds(fields[1]))
                if (packages.count(owner)) names[record.id].push_back(std::to_string(owner) + "/" + fields[2]);
        }
    }
    return names;
}

struct ExtractedFile {
    fs::path path;
    fs::path otherName;  // the same payload's name had it verified (or not)
    const EntryReport* entry;
};

// Every file `extract` writes. A payload keeps its real name only when its
// own signature and the manifest that named it verify with the key its
// launcher checks with; otherwise ".unverified" is added, a name no
// installer picks up. A payload that does not inflate has no content to
// write. Several blobs get a folder each.
std::vector<ExtractedFile> PlanExtraction(const ExaminedFile& examined, const std::string& outputDir) {
    std::vector<ExtractedFile> files;
    const std::vector<BlobReport>& reports = examined.blobs;
    for (size_t b = 0; b < reports.size(); ++b) {
        const BlobReport& blob = reports[b];
        fs::path folder =
            reports.size() > 1 ? fs::path(outputDir) / ("blob" + std::to_string(b + 1)) : fs::path(outputDir);
        bool manifestVerifies = !blob.entries.empty() && blob.entries.front().isManifest &&
                                blob.entries.front().verified && examined.keyProblems.empty();
        std::map<uint32_t, std::vector<std::string>> names = ExtractionNames(blob);
        std::set<std::string> used;
        for (const EntryReport& entry : blob.entries) {
            if (entry.isManifest || !entry.readable) continue;
            std::vector<std::string> targets;
            for (const std::string& name : names[entry.id])
                if (used.insert(name).second) targets.push_back(name);
            if (targets.empty()) targets.push_back("payload-" + std::to_string(entry.id) + ".bin");
            const bool trusted = entry.verified && manifestVerifies;
            for (const std::string& name : targets) {
                fs::path real = folder / fs::path(name);
                fs::path unverified = folder / fs::path(name + ".unverified");
                files.push_back({trusted ? real : unverified, trusted ? unverified : real, &entry});
            }
        }
    }
    return files;
}

// Nothing is written when a file of the extraction exists and --force was
// not given, so a refused run leaves the folder as it was.
void RefuseExistingFiles(const std::vector<ExtractedFile>& files, bool force) {
    if (force) return;
    for (const ExtractedFile& file : files)
        for (const fs::path& path : {file.path, file.otherName}) {
            std::error_code error;
            if (fs::exists(fs::symlink_status(path, error)))
                throw PackError(path.string() + " exists already; pass --force to replace it, or extract into an "
                                "empty folder (nothing was written)");
        }
}

// Each MSI with the overrides for every package and the languages of its own.
std::vector<PackageSource> DescribePackages(const PackOptions& options) {
    std::vector<PackageSource> packages;
    for (const MsiArgument& msi : ResolveMsiArguments(options.msiPaths, options.languagesOptions)) {
        PackageOverrides overrides = options.overrides;
        if (msi.languages) overrides.languages = msi.languages;
        packages.push_back(DescribePackage(msi.path, overrides));
    }
    return packages;
}

// Every file the pack command reads, which its output must not replace.
std::vector<std::string> PackInputs(const PackOptions& options, const std::vector<PackageSource>& packages) {
    std::vector<std::string> inputs = {options.stubPath, options.privateKeyPath, options.stubPublicKeyPath,
                                       options.passphrase.filePath};
    if (options.branding.iconPath) inputs.push_back(*options.branding.iconPath);
    for (const PackageSource& package : packages) {
        inputs.push_back(package.msiPath);
        inputs.insert(inputs.end(), package.cabinetPaths.begin(), package.cabinetPaths.end());
    }
    return inputs;
}

void WritePackSummary(const std::string& outputPath, uint64_t setupSize, Placement placement, size_t packageCount,
                      const PackagePlan& plan, std::ostream& out) {
    out << "packed " << packageCount << (packageCount == 1 ? " package" : " packages") << " and "
        << plan.payloads.size() - packageCount << " cabinet(s) into " << outputPath << " ("
        << PlacementName(placement) << " placement, " << setupSize << " bytes)\n";
    for (const ManifestRecord& record : plan.records) out << "  " << record.id << "  " << record.text << "\n";
}

// A container inside the signature is read by the system's certificate
// decoder, which refuses large ones: such a setup would fail on every
// machine, so it is not made unless the vendor insists.
std::string OversizeContainerInSignature(const PackOptions& options, Placement placement, uint64_t chainSize) {
    if (placement == Placement::End || chainSize <= options.largestContainerInSignature) return "";
    return "the container is " + std::to_string(chainSize) + " bytes, more than the " +
           std::to_string(options.largestContainerInSignature) + " known to be read from " +
           (placement == Placement::Tag ? "a tag certificate" : "a certificate table") +
           ": the system's signature decoder reads it whole, and Wine's refuses " + kRefusedContainerInSignatureText +
           " and more (the setup then fails with 0x80092004). Pack the unsigned stub with --placement end and sign "
           "the setup last";
}
}  // namespace

void RunKeygen(const KeygenOptions& options, std::ostream& out) {
    if (fs::path(options.privateKeyPath) == fs::path(options.publicKeyPath))
        throw PackError("the private and the public key need two different files");
    for (const std::string& path : {options.privateKeyPath, options.publicKeyPath}) {
        CheckOutputFolder(path, path == options.privateKeyPath ? "--out-private" : "--out-public");
        std::error_code error;
        if (!options.overwrite && fs::exists(fs::symlink_status(path, error)))
            throw PackError(path + " exists already; pass --force to replace it");
    }
    KeyPairPem pair = GenerateKeyPair();
    WriteFileReplacing(options.privateKeyPath, reinterpret_cast<const uint8_t*>(pair.privatePem.data()),
                       pair.privatePem.size(), true);
    WriteFileReplacing(options.publicKeyPath, reinterpret_cast<const uint8_t*>(pair.publicPem.data()),
                       pair.publicPem.size());
    out << "wrote the RSA-2048 key pair " << options.privateKeyPath << " and " << options.publicKeyPath << "\n";
}

void RunPack(const PackOptions& options, std::ostream& out, std::ostream& warnings) {
    if (options.msiPaths.empty()) throw PackError("name at least one MSI package");
    KeyPtr key = LoadSigningKey(options.privateKeyPath, ReadKeyPassphrase(options.passphrase));
    if (FileSizeOf(options.stubPath, "stub") > options.sizeLimit)
        throw PackError("the stub " + options.stubPath + " is larger than the launcher can read");
    Bytes stub = ReadFileBytes(options.stubPath, "stub");
    if (!FindPeLayout(stub.data(), stub.size()))
        throw PackError("the stub " + options.stubPath +
                        " is not a 64-bit Windows executable (PE32+); give --stub the msistub.exe that the Windows "
                        "build made (build/windows/msistub.exe)");
    Placement placement = ResolvePlacement(stub, options.placement);
    // A key the stub carries must be the signing key's; a stub without one
    // gets it written below.
    CheckStubKey(stub, options.stubPath, key.get(), options.privateKeyPath, options.stubPublicKeyPath);

    std::vector<PackageSource> packages = DescribePackages(options);
    RefuseUnreachablePackages(packages);
    CheckOutputTarget(options.outputPath, PackInputs(options, packages), options.force);
    PackagePlan plan = PlanPackages(packages);
    stub = PrepareStub(stub, options.stubPath, key.get(), options.branding, packages, warnings);

    // Payloads are read while they are compressed, and the chain goes to a
    // file beside the output: the padding in front of it depends on its
    // length, so the setup is written once that is known. Neither a payload
    // nor the chain is ever held whole.
    std::vector<StreamedPayload> streamed;
    for (const PlannedPayload& payload : plan.payloads) {
        uint64_t size = FileSizeOf(payload.path, payload.name);
        if (size > options.sizeLimit)
            throw PackError(payload.path + " is " + std::to_string(size) +
                            " bytes; the container's 32-bit fields hold at most " + std::to_string(options.sizeLimit));
        streamed.push_back({payload.id, payload.path, payload.name, size});
    }
    Bytes manifest = EncodeManifest(plan.records);
    PartialFile chain(options.outputPath, ".chain.partial");
    std::vector<WrittenEntry> entries = WriteEntryChain(manifest, streamed, key.get(), options.sizeLimit, &chain);
    const uint64_t chainSize = chain.Position();
    std::string oversize = OversizeContainerInSignature(options, placement, chainSize);
    if (!oversize.empty() && !options.forcePlacement)
        throw PackError(oversize + "; --force-placement packs it anyway (" + options.outputPath + " was not written)");
    PartialFile setup(options.outputPath, ".partial");
    const uint64_t setupSize = WriteSetupFile(stub, &chain, chainSize, placement, options.sizeLimit, &setup);
    setup.Commit();

    if (options.json)
        WritePackJson({options.outputPath, setupSize, PlacementName(placement), &plan, &entries}, out);
    else
        WritePackSummary(options.outputPath, setupSize, placement, packages.size(), plan, out);
    if (!oversize.empty()) warnings << "msistub-pack: warning: packed as --force-placement asked: " << oversize << "\n";
}

void RunList(const ReadOptions& options, bool json, std::ostream& out) {
    ExaminedFile examined = ExamineFile(options);
    if (json)
        WriteListJson(options.setupPath, examined, out);
    else
        WriteListText(options.setupPath, examined, out);
    RefuseUnlessAllVerify(options.setupPath, examined);
}

void RunExtract(const ReadOptions& options, const std::string& outputDir, bool force, std::ostream& out) {
    ExaminedFile examined = ExamineFile(options);
    std::vector<ExtractedFile> files = PlanExtraction(examined, outputDir);
    RefuseExistingFiles(files, force);
    for (const ExtractedFile& file : files) {
        std::error_code error;
        fs::create_directories(file.path.parent_path(), error);
        if (error) throw PackError("cannot make the folder " + file.path.parent_path().string() + ": " + error.message());
        // A name that an earlier run gave the same payload, verified or not,
        // must not stay beside this run's file and say otherwise.
        fs::remove(file.otherName, error);
        WriteFileReplacing(file.path.string(), file.entry->content);
        out << "wrote " << file.path.string() << " (" << file.entry->content.size() << " bytes)\n";
    }
    RefuseUnlessAllVerify(options.setupPath, examined);
}

void RunVerify(const ReadOptions& options, std::ostream& out) {
    ExaminedFile examined = ExamineFile(options);
    const std::vector<BlobReport>& reports = examined.blobs;
    out << "verification key (the stub's): " << examined.keyFingerprint << "\n";
    for (size_t b = 0; b < reports.size(); ++b) {
        const BlobReport& blob = reports[b];
        out << "blob " << b + 1 << " (" << blob.site << "): " << blob.entries.size() << " entries, "
            << (BlobVerifies(blob) ? "all verify" : "FAILS") << "\n";
        for (const std::string& problem : blob.problems) out << "  " << problem << "\n";
    }
    RefuseUnlessAllVerify(options.setupPath, examined);
}
