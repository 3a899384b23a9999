// The few JSON pieces that `list --json` and `pack --json` write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "chain/manifest_records.h"

std::string JsonString(const std::string& text);
std::string JsonStrings(const std::vector<std::string>& texts);
std::string JsonNumbers(const std::vector<uint32_t>& numbers);

// A manifest record's members, without braces: "id", "kind" and "text", then
// for a package line "platform", "languages", "productCode", "productName",
// for a cabinet line "owners" and "name", as the launcher reads the fields.
std::string RecordJsonMembers(const ManifestRecord& record);
