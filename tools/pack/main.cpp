// msistub-pack: the command-line shell over the packing library. Exit codes:
// 0 success, 1 usage, 2 bad input (or a setup that does not verify).
#include <CLI/CLI.hpp>
#include <iostream>

#include "pack_commands.h"
#include "pack_error.h"

namespace {
constexpr int kExitUsage = 1;
constexpr int kExitBadInput = 2;

struct CommandLine {
    KeygenOptions keygen;
    PackOptions pack;
    std::string placementName = "auto";
    std::optional<std::string> platform, languages, productCode, productName;
    ReadOptions reading;
    bool json = false;
    std::string extractDir;
};

void AddKeygen(CLI::App& app, CommandLine& line) {
    CLI::App* keygen = app.add_subcommand("keygen", "Make an RSA-2048 key pair (PEM) for signing containers");
    keygen->add_option("--out-private", line.keygen.privateKeyPath, "File for the private key")->required();
    keygen->add_option("--out-public", line.keygen.publicKeyPath, "File for the public key")->required();
    keygen->add_flag("--force", line.keygen.overwrite, "Replace files that exist");
}

void AddPack(CLI::App& app, CommandLine& line) {
    CLI::App* pack = app.add_subcommand(
        "pack", "Make a single-file setup from the stub and one or more x64 MSI packages with their cabinets");
    pack->add_option("--stub", line.pack.stubPath, "The launcher stub, msistub.exe")->required();
    pack->add_option("--key", line.pack.privateKeyPath, "Private key (PEM, RSA-2048) that signs the entries")
        ->required();
    pack->add_option("--out", line.pack.outputPath, "The setup file to write")->required();
    pack->add_option("--placement", line.placementName,
                     "Where the container goes: end (unsigned stub), certificate (after the DER signature in the "
                     "signed stub's certificate table), tag (a certificate added to the stub's signature); "
                     "auto: end for an unsigned stub, tag for a signed one")
        ->check(CLI::IsMember({"auto", "end", "certificate", "tag"}));
    pack->add_option("--stub-public-key", line.pack.stubPublicKeyPath,
                     "A public key (PEM) that the stub's own verification key must be; --key is always checked "
                     "against the key the stub carries");
    pack->add_option("--platform", line.platform, "Platform for every package line instead of the MSI's (x64)");
    pack->add_option("--languages", line.languages,
                     "Language ids for every package line, separated by ';', instead of the MSI's Template");
    pack->add_option("--product-code", line.productCode, "Product code for every package line");
    pack->add_option("--product-name", line.productName, "Product name for every package line");
    pack->add_option("--cabinet", line.pack.overrides.cabinets,
                     "A cabinet file for every package, instead of those named in the MSI's Media table; repeat for "
                     "several")
        ->allow_extra_args(false);
    pack->add_option("msi", line.pack.msiPaths, "MSI packages, one package line each")->required();
}

void AddReaders(CLI::App& app, CommandLine& line) {
    CLI::App* list = app.add_subcommand("list", "Show the blobs, manifest records and entries of a setup file");
    list->add_flag("--json", line.json, "Write JSON for scripts");
    CLI::App* extract = app.add_subcommand("extract", "Write the payloads of a setup file to a folder");
    extract->add_option("--out", line.extractDir, "Folder to write into")->required();
    CLI::App* verify = app.add_subcommand("verify", "Exit with 0 only when every entry of every blob verifies");
    for (CLI::App* command : {list, extract, verify}) {
        command->add_option("setup", line.reading.setupPath, "The setup file")->required();
        command->add_option("--public-key", line.reading.publicKeyPath,
                            "Public key (PEM) the setup's own verification key must be; entries are always checked "
                            "with the key the setup's stub carries");
    }
}

int Run(CLI::App& app, CommandLine& line) {
    if (app.got_subcommand("keygen")) {
        RunKeygen(line.keygen, std::cout);
    } else if (app.got_subcommand("pack")) {
        line.pack.placement = PlacementFromName(line.placementName);
        line.pack.overrides.platform = line.platform;
        line.pack.overrides.languages = line.languages;
        line.pack.overrides.productCode = line.productCode;
        line.pack.overrides.productName = line.productName;
        RunPack(line.pack, std::cout, std::cerr);
    } else if (app.got_subcommand("list")) {
        RunList(line.reading, line.json, std::cout);
    } else if (app.got_subcommand("extract")) {
        RunExtract(line.reading, line.extractDir, std::cout);
    } else if (!RunVerify(line.reading, std::cout)) {
        std::cerr << "msistub-pack: " << line.reading.setupPath << " does not verify\n";
        return kExitBadInput;
    }
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"msistub-pack: builds and examines the signed container of an msistub setup file"};
    app.require_subcommand(1);
    CommandLine line;
    AddKeygen(app, line);
    AddPack(app, line);
    AddReaders(app, line);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : kExitUsage;  // --help is a success
    }
    try {
        return Run(app, line);
    } catch (const PackError& error) {
        std::cerr << "msistub-pack: " << error.what() << "\n";
    } catch (const std::exception& error) {
        std::cerr << "msistub-pack: " << error.what() << "\n";
    }
    return kExitBadInput;
}
