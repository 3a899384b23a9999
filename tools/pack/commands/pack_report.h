// What `pack --json` prints: the setup written, its placement, every manifest
// line as fields with the file it came from, and every entry with its sizes
// and the SHA-256 of its content, for release scripts to record.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "chain/entry_chain.h"
#include "setup/package_plan.h"

struct PackedSetup {
    std::string path;
    uint64_t size;
    std::string placement;
    const PackagePlan* plan;
    const std::vector<WrittenEntry>* entries;  // in chain order
};

void WritePackJson(const PackedSetup& setup, std::ostream& out);
