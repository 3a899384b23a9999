#include "msi/cabinet_media.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "files/pack_error.h"

namespace fs = std::filesystem;

namespace {
// Windows file names, and so the installer's look-up, ignore case.
bool SameFileName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return SameFileName(n, name); });
}

std::string NameList(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
    return list;
}
}  // namespace

void CheckCabinetsMatchMedia(const MsiFacts& facts, const std::vector<std::string>& cabinetPaths,
                             const std::string& source) {
    const char* escape = "; or pass --no-cabinet-check if you know better";
    if (facts.cabinets.empty())
        throw PackError(source + " names no external cabinet in its Media table" +
                        (facts.embeddedCabinets.empty() ? std::string() : " (it embeds " + NameList(facts.embeddedCabinets) + ")") +
                        ", so it needs no --cabinet; leave --cabinet out" + escape);
    std::vector<std::string> given;
    for (const std::string& path : cabinetPaths) {
        std::string name = fs::path(path).filename().string();
        if (!Contains(facts.cabinets, name))
            throw PackError("the cabinet " + path + " is not one that the Media table of " + source + " names (" +
                            NameList(facts.cabinets) + "); the installer would not find it under that name" + escape);
        given.push_back(name);
    }
    for (const std::string& name : facts.cabinets)
        if (!Contains(given, name))
            throw PackError("the Media table of " + source + " names the cabinet " + name +
                            ", which no --cabinet gives; add --cabinet PATH/" + name + escape);
}
