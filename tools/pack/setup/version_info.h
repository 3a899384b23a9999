// The version resource (VS_VERSIONINFO) that Explorer's Properties and
// deployment tools read: the four-number file and product versions and the
// strings of one table, U.S. English with UTF-16 (040904B0).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "files/byte_files.h"

struct VersionInfo {
    std::array<uint16_t, 4> fileVersion{};
    std::array<uint16_t, 4> productVersion{};
    std::map<std::string, std::string> strings;  // UTF-8 names and values, such as "ProductName"
};

// "2", "2.1", "2.1.0" or "2.1.0.17": one to four numbers of at most 65535.
// Nothing for any other text.
std::optional<std::array<uint16_t, 4>> ParseVersionNumbers(const std::string& text);

Bytes EncodeVersionInfo(const VersionInfo& info);

// Nothing when the bytes are no version resource, or a length in them
// points outside them.
std::optional<VersionInfo> DecodeVersionInfo(const Bytes& data);
