// What `pack --json` prints: the setup written, its placement, every manifest
// line as fields with the file it came from, and every entry with its sizes
// and the SHA-256 of its content, for release scripts to record.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "files/byte_files.h"
#include "setup/package_plan.h"

struct PackedSetup {
    std::string path;
    uint64_t size;
    std::string placement;
    const PackagePlan* plan;
    const Bytes* manifest;
    const std::vector<Bytes>* contents;  // in the order of plan->payloads
    const Bytes* chain;
};

void WritePackJson(const PackedSetup& setup, std::ostream& out);
