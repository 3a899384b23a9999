// From MSI files (and the options that override what they say) to the
// manifest records and the list of payload files, with the ids assigned.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chain/manifest_records.h"

struct PackageOverrides {
    std::optional<std::string> platform;
    std::optional<std::string> languages;
    std::optional<std::string> productCode;
    std::optional<std::string> productName;
    std::vector<std::string> cabinets;  // paths; when given, used instead of the Media table's cabinets
    // Off: cabinets are taken as given, without their signature or their
    // names checked against the Media table.
    bool checkCabinets = true;
};

// One package line and the cabinet files that belong to it.
struct PackageSource {
    std::string msiPath;
    std::string platform;
    std::string languages;  // ';'-separated
    std::string productCode;
    std::string productName;
    std::vector<std::string> cabinetPaths;
    std::string productVersion;  // as the MSI says; only the version resource uses it
    std::string manufacturer;
};

struct PlannedPayload {
    uint32_t id;
    std::string path;
    std::string name;  // "main.msi" or the cabinet's file name
};

struct PackagePlan {
    std::vector<ManifestRecord> records;
    std::vector<PlannedPayload> payloads;  // in id order
};

// Payload ids count up from here, in the order of the command line.
constexpr uint32_t kFirstPayloadId = 1000;

// Reads the MSI, applies the overrides and checks every field; throws
// PackError for a package the launcher could not use.
PackageSource DescribePackage(const std::string& msiPath, const PackageOverrides& overrides);

// Each MSI gets the next id, then each of its cabinets that no earlier
// package named; a cabinet shared by several packages has one entry whose
// line lists every owner.
PackagePlan PlanPackages(const std::vector<PackageSource>& packages);
