// Package lines that the launcher could never choose between.
#pragma once

#include <vector>

#include "setup/package_plan.h"

// The launcher takes the first line whose platform and language fit, so a
// later line claiming a platform and language an earlier one claims is never
// chosen. Throws PackError naming both MSIs and the language.
void RefuseUnreachablePackages(const std::vector<PackageSource>& packages);
