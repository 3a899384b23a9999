// What the packer reads from an installer database: the Template summary
// property ("x64;1033"), ProductCode, ProductName, ProductVersion and
// Manufacturer from the Property table,
// and the external cabinets named in the Media table.
#pragma once

#include <string>
#include <vector>

struct MsiFacts {
    std::string templateText;
    std::string productCode;  // empty when the Property table lacks it
    std::string productName;
    std::string productVersion;  // the setup's version resource takes these two
    std::string manufacturer;
    std::vector<std::string> cabinets;  // Media rows in DiskId order; embedded ("#...") ones left out
    std::vector<std::string> embeddedCabinets;  // the "#..." rows: streams inside the database
};

// Throws PackError when the file is no installer database. Run CheckMsiFile
// first: it tells a missing, empty or foreign file apart.
MsiFacts ReadMsiFacts(const std::string& path);
