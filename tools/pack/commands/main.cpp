// msistub-pack: the command-line shell over the packing library. Every
// command exits with the same codes, listed in kExitCodes for --help.
#include <CLI/CLI.hpp>
#include <cstring>
#include <iostream>

#include "commands/json_text.h"
#include "commands/pack_commands.h"
#include "files/own_executable.h"
#include "files/pack_error.h"
#include "setup/stub_location.h"
#include "setup/stub_preparation.h"

namespace {
constexpr int kExitUsage = 1;
constexpr int kExitRefused = 2;
constexpr int kExitUnverified = 3;

constexpr char kExitCodes[] =
    "Exit codes: 0 done; 1 usage error (unknown option, missing argument, contradicting options); 2 input refused "
    "or the work could not be done (the one message says why and what to do; no output file is left behind); "
    "3 a check of the setup failed (list, verify and extract name each entry that failed; extract writes such "
    "payloads as *.unverified).";

constexpr char kStubHelp[] =
    "The launcher stub, msistub.exe; default: the one beside msistub-pack, else in ../share/msistub/ from its folder";

struct CommandLine {
    KeygenOptions keygen;
    PackOptions pack;
    StubOptions stub;
    std::string placementName = "auto";
    std::optional<std::string> platform, productCode, productName;
    bool anyCabinet = false;
    ReadOptions reading;
    bool json = false;
    bool quiet = false;
    std::string extractDir;
    bool extractForce = false;
};

void AddCommon(CLI::App* command, CommandLine& line) {
    command->add_flag("-q,--quiet", line.quiet, "Print nothing but warnings and errors");
    command->footer(kExitCodes);
}

void AddKeygen(CLI::App& app, CommandLine& line) {
    CLI::App* keygen = app.add_subcommand("keygen", "Make an RSA-2048 key pair (PEM) for signing containers");
    keygen->add_option("--out-private", line.keygen.privateKeyPath, "File for the private key")->required();
    keygen->add_option("--out-public", line.keygen.publicKeyPath, "File for the public key")->required();
    keygen->add_flag("--force", line.keygen.overwrite, "Replace files that exist");
    AddCommon(keygen, line);
}

void AddPackKey(CLI::App* pack, CommandLine& line) {
    pack->add_option("--key", line.pack.privateKeyPath, "Private key (PEM, RSA-2048) that signs the entries")
        ->required();
    pack->add_option("--key-passphrase-env", line.pack.passphrase.environmentVariable,
                     "Name of an environment variable that holds the pass phrase of an encrypted --key");
    pack->add_option("--key-passphrase-file", line.pack.passphrase.filePath,
                     "File whose first line is the pass phrase of an encrypted --key (the tool never prompts)");
}

void AddPackOverrides(CLI::App* pack, CommandLine& line) {
    pack->add_option("--platform", line.platform, "Platform for every package line instead of the MSI's (x64)");
    pack->add_option("--languages", line.pack.languagesOptions,
                     "Language ids separated by ';' instead of the MSI's Template: given once, for every MSI; "
                     "given once per MSI, for each in order. PATH:LANGUAGES (de/product.msi:1031) sets one MSI's")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
    pack->add_option("--product-code", line.productCode, "Product code for every package line");
    pack->add_option("--product-name", line.productName,
                     "Product name for every package line and the setup's version resource; default: the MSI's "
                     "ProductName (the first MSI's in the version resource)");
    pack->add_option("--cabinet", line.pack.overrides.cabinets,
                     "A cabinet file for every package, instead of those named in the MSI's Media table; repeat for "
                     "several. Each must be a cabinet the Media table names")
        ->allow_extra_args(false);
    pack->add_flag("--no-cabinet-check", line.anyCabinet,
                   "Take cabinets as given: check neither their signature nor their names against the Media table");
}

// Branding written into the copy of the stub. Without an option the version
// resource takes the first MSI's ProductName, ProductVersion and Manufacturer.
void AddBranding(CLI::App* command, StubBranding& branding) {
    command->add_option("--icon", branding.iconPath,
                        "The setup's icon: an .ico file with 16x16 and 32x32 images; default: the stub's");
    command->add_option("--product-version", branding.productVersion,
                        "Version of the version resource, one to four numbers (2.1.0); default: the MSI's "
                        "ProductVersion");
    command->add_option("--company", branding.company, "CompanyName of the version resource; default: the MSI's "
                        "Manufacturer");
    command->add_option("--copyright", branding.copyright, "LegalCopyright of the version resource");
    command->add_option("--description", branding.description,
                        "FileDescription of the version resource and the manifest's description; default: the "
                        "product name and \"Setup\"");
}

void AddStub(CLI::App& app, CommandLine& line) {
    CLI::App* stub = app.add_subcommand(
        "stub", "Write the verification key and the branding into a copy of the stub without packing, for a stub "
                "that is signed before packing (--placement tag or certificate)");
    stub->add_option("--stub", line.stub.stubPath, kStubHelp);
    stub->add_option("--key", line.stub.privateKeyPath, "Private key (PEM, RSA-2048) whose public half is written")
        ->required();
    stub->add_option("--key-passphrase-env", line.stub.passphrase.environmentVariable,
                     "Name of an environment variable that holds the pass phrase of an encrypted --key");
    stub->add_option("--key-passphrase-file", line.stub.passphrase.filePath,
                     "File whose first line is the pass phrase of an encrypted --key (the tool never prompts)");
    stub->add_option("--out", line.stub.outputPath, "The stub file to write; never one of the inputs")->required();
    stub->add_flag("--force", line.stub.force, "Replace the output file when it exists");
    stub->add_option("--product-name", line.stub.branding.productName,
                     "ProductName of the version resource; default: the MSI's, or the stub's without an MSI");
    AddBranding(stub, line.stub.branding);
    stub->add_option("msi", line.stub.msiPaths,
                     "Optional: the MSI whose ProductName, ProductVersion and Manufacturer are the defaults");
    AddCommon(stub, line);
}

void AddPack(CLI::App& app, CommandLine& line) {
    CLI::App* pack = app.add_subcommand(
        "pack", "Make a single-file setup from the stub and one or more x64 MSI packages with their cabinets");
    pack->add_option("--stub", line.pack.stubPath, kStubHelp);
    AddPackKey(pack, line);
    pack->add_option("--out", line.pack.outputPath, "The setup file to write; never one of the inputs")->required();
    pack->add_flag("--force", line.pack.force, "Replace the output file when it exists");
    pack->add_option("--placement", line.placementName,
                     "Where the container goes: end (unsigned stub), certificate (after the DER signature in the "
                     "signed stub's certificate table), tag (a certificate added to the stub's signature); "
                     "auto: end for an unsigned stub, tag for a signed one")
        ->check(CLI::IsMember({"auto", "end", "certificate", "tag"}));
    pack->add_flag("--force-placement", line.pack.forcePlacement,
                   "Pack into the signature a container larger than the system's signature decoder is known to read "
                   "(" + std::string(kLargestContainerInSignatureText) + "), which is refused otherwise");
    pack->add_option("--stub-public-key", line.pack.stubPublicKeyPath,
                     "A public key (PEM) that the stub's own verification key must be; --key is always checked "
                     "against the key the stub carries");
    AddPackOverrides(pack, line);
    AddBranding(pack, line.pack.branding);
    pack->add_flag("--json", line.pack.json, "Report what was packed as JSON for scripts");
    pack->add_option("msi", line.pack.msiPaths, "MSI packages, one package line each; PATH:LANGUAGES gives its languages")
        ->required();
    AddCommon(pack, line);
}

void AddReaders(CLI::App& app, CommandLine& line) {
    CLI::App* list = app.add_subcommand("list", "Show the blobs, manifest records and entries of a setup file");
    list->add_flag("--json", line.json, "Write JSON for scripts");
    CLI::App* extract = app.add_subcommand("extract", "Write the payloads of a setup file to a folder");
    extract->add_option("--out", line.extractDir, "Folder to write into")->required();
    extract->add_flag("--force", line.extractForce, "Replace files that exist");
    CLI::App* verify = app.add_subcommand("verify", "Exit with 0 only when every entry of every blob verifies");
    for (CLI::App* command : {list, extract, verify}) {
        command->add_option("setup", line.reading.setupPath, "The setup file")->required();
        command->add_option("--public-key", line.reading.publicKeyPath,
                            "Public key (PEM) the setup's own verification key must be; entries are always checked "
                            "with the key the setup's stub carries");
        AddCommon(command, line);
    }
}

int Run(CLI::App& app, CommandLine& line, std::ostream& out) {
    if (app.got_subcommand("keygen")) {
        RunKeygen(line.keygen, out);
    } else if (app.got_subcommand("pack")) {
        if (line.pack.stubPath.empty()) line.pack.stubPath = InstalledStubPath();
        line.pack.placement = PlacementFromName(line.placementName);
        line.pack.overrides.platform = line.platform;
        line.pack.overrides.productCode = line.productCode;
        line.pack.overrides.productName = line.productName;
        line.pack.branding.productName = line.productName;
        line.pack.overrides.checkCabinets = !line.anyCabinet;
        RunPack(line.pack, out, std::cerr);
    } else if (app.got_subcommand("stub")) {
        if (line.stub.stubPath.empty()) line.stub.stubPath = InstalledStubPath();
        RunStub(line.stub, out);
    } else if (app.got_subcommand("list")) {
        RunList(line.reading, line.json, out);
    } else if (app.got_subcommand("extract")) {
        RunExtract(line.reading, line.extractDir, line.extractForce, out);
    } else {
        RunVerify(line.reading, out);
    }
    return 0;
}

// Before the "--" that ends the options.
bool HasOption(int argc, char** argv, const char* option) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        if (std::strcmp(argv[i], option) == 0) return true;
    return false;
}

// The tool's version, and the version and place of the launcher it packs
// when no --stub is given, so one look tells whether the two belong together.
void PrintVersion(std::ostream& out) {
    out << "msistub-pack " << MSISTUB_VERSION << "\n";
    std::optional<std::string> stub = FindStubNear(OwnExecutablePath());
    if (!stub) return;
    out << "msistub.exe " << StubVersionText(*stub).value_or("(no version resource)") << " (" << *stub << ")\n";
}

// The one error line; with --json, one JSON object that scripts can parse.
int ReportError(bool json, int code, const std::string& message) {
    if (json)
        std::cerr << "{\"code\":" << code << ",\"message\":" << JsonString(message) << "}\n";
    else
        std::cerr << "msistub-pack: " << message << "\n";
    return code;
}
}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"msistub-pack: builds and examines the signed container of an msistub setup file"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("msistub-pack ") + MSISTUB_VERSION);
    app.footer(kExitCodes);
    CommandLine line;
    AddKeygen(app, line);
    AddPack(app, line);
    AddStub(app, line);
    AddReaders(app, line);
    // The version answers wherever it stands, before any required option is
    // missed: `msistub-pack pack --version` too.
    if (HasOption(argc, argv, "--version") && !HasOption(argc, argv, "--help") && !HasOption(argc, argv, "-h")) {
        PrintVersion(std::cout);
        return 0;
    }
    const bool json = HasOption(argc, argv, "--json");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        if (!json) return app.exit(error) == 0 ? 0 : kExitUsage;
        return ReportError(true, kExitUsage, error.what());
    }
    std::ostream silent(nullptr);
    try {
        return Run(app, line, line.quiet ? silent : std::cout);
    } catch (const UsageError& error) {
        return ReportError(json, kExitUsage, error.what());
    } catch (const VerificationError& error) {
        return ReportError(json, kExitUnverified, error.what());
    } catch (const std::exception& error) {
        return ReportError(json, kExitRefused, error.what());
    }
}
