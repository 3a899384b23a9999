// Cabinets given with --cabinet against the MSI's Media table: msiexec looks
// for each external cabinet under the name the table gives it, beside the
// package, so a cabinet under another name fails the install.
#pragma once

#include <string>
#include <vector>

#include "msi/msi_facts.h"

// Throws PackError for a cabinet the Media table does not name, a cabinet
// the table names that is not given, and any cabinet for an MSI that embeds
// its own.
void CheckCabinetsMatchMedia(const MsiFacts& facts, const std::vector<std::string>& cabinetPaths,
                             const std::string& source);
