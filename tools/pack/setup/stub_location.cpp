#include "setup/stub_location.h"

#include <filesystem>

#include "files/byte_files.h"
#include "files/own_executable.h"
#include "files/pack_error.h"
#include "setup/resource_tree.h"
#include "setup/stub_resource_section.h"
#include "setup/version_info.h"

namespace fs = std::filesystem;

namespace {
constexpr char kStubName[] = "msistub.exe";

bool IsRegularFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}
}  // namespace

std::optional<std::string> FindStubNear(const std::string& executablePath) {
    if (executablePath.empty()) return std::nullopt;
    fs::path folder = fs::path(executablePath).parent_path();
    for (const fs::path& candidate : {folder / kStubName, folder / ".." / "share" / "msistub" / kStubName})
        if (IsRegularFile(candidate)) return candidate.lexically_normal().string();
    return std::nullopt;
}

std::string InstalledStubPath() {
    std::string own = OwnExecutablePath();
    if (std::optional<std::string> found = FindStubNear(own)) return *found;
    fs::path folder = fs::path(own).parent_path();
    std::string where = own.empty()
                            ? std::string("beside msistub-pack or in ../share/msistub/ from its folder")
                            : (folder / kStubName).string() + " or " +
                                  (folder / ".." / "share" / "msistub" / kStubName).lexically_normal().string();
    throw UsageError("no launcher stub given and none found at " + where +
                     ": pass --stub PATH to msistub.exe (the launcher the msistub package installs, or the one "
                     "you built)");
}

std::optional<std::string> StubVersionText(const std::string& stubPath) {
    try {
        std::vector<ResourceItem> items = ReadStubResources(ReadFileBytes(stubPath, "stub"), stubPath);
        const ResourceItem* version = FindResource(items, ResourceId(kResourceTypeVersion), ResourceId(1));
        std::optional<VersionInfo> info = version ? DecodeVersionInfo(version->data) : std::nullopt;
        if (!info || info->strings["FileVersion"].empty()) return std::nullopt;
        return info->strings["FileVersion"];
    } catch (const PackError&) {
        return std::nullopt;
    }
}
