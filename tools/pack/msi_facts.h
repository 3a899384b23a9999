// What the packer reads from an installer database: the Template summary
// property ("x64;1033"), ProductCode and ProductName from the Property table,
// and the external cabinets named in the Media table.
#pragma once

#include <string>
#include <vector>

struct MsiFacts {
    std::string templateText;
    std::string productCode;  // empty when the Property table lacks it
    std::string productName;
    std::vector<std::string> cabinets;  // Media rows in DiskId order; embedded ("#...") ones left out
};

// Throws PackError when the file is no installer database.
MsiFacts ReadMsiFacts(const std::string& path);
