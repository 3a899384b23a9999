#include "files/input_checks.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "files/pack_error.h"

namespace fs = std::filesystem;

namespace {
// Reads up to `count` leading bytes; fewer come back from a shorter file.
std::string LeadingBytes(const std::string& path, size_t count) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(count, '\0');
    in.read(&bytes[0], static_cast<std::streamsize>(count));
    bytes.resize(in ? count : static_cast<size_t>(in.gcount()));
    return bytes;
}
}  // namespace

void CheckMsiFile(const std::string& path) {
    // Every installer database is an OLE compound file.
    static const char kCompoundFileSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    std::error_code error;
    if (fs::is_directory(path, error)) throw PackError(path + " is a folder; name the MSI package inside it");
    if (!fs::exists(path, error)) throw PackError("no MSI package at " + path + "; check the path");
    if (!fs::is_regular_file(path, error) || fs::file_size(path, error) == 0 || error)
        throw PackError(path + " is empty, not an MSI package; build or copy it again");
    if (LeadingBytes(path, 8) != std::string(kCompoundFileSignature, 8))
        throw PackError(path + " is not an MSI package (it lacks the installer database's file signature); "
                        "build or copy it again");
}

void CheckCabinetSignature(const std::string& path, const std::string& source) {
    if (LeadingBytes(path, 4) != "MSCF")
        throw PackError("the cabinet " + path + " of " + source +
                        " is not a cabinet file (it lacks the \"MSCF\" signature); give the .cab file the MSI's "
                        "Media table names");
}

void CheckOutputFolder(const std::string& outputPath, const std::string& option) {
    fs::path folder = fs::path(outputPath).parent_path();
    if (folder.empty()) return;
    std::error_code error;
    if (fs::is_directory(folder, error)) return;
    if (fs::exists(folder, error))
        throw PackError(option + " " + outputPath + ": " + folder.string() + " is not a folder; name a file in a folder");
    throw PackError(option + " " + outputPath + ": the folder " + folder.string() +
                    " does not exist; create it first, or name a file in a folder that exists");
}

void CheckOutputTarget(const std::string& outputPath, const std::vector<std::string>& inputs, bool force) {
    std::error_code error;
    if (fs::is_directory(outputPath, error))
        throw PackError("--out " + outputPath + " is a folder; name the setup file to write, e.g. " +
                        (fs::path(outputPath) / "setup.exe").string());
    CheckOutputFolder(outputPath, "--out");
    if (!fs::exists(outputPath, error)) return;
    for (const std::string& input : inputs) {
        if (input.empty() || !fs::equivalent(outputPath, input, error)) continue;
        throw PackError("--out " + outputPath + " is the same file as the input " + input +
                        "; write the setup to another file");
    }
    if (!force) throw PackError(outputPath + " exists already; pass --force to replace it");
}
