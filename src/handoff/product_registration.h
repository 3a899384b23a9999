// Whether the product is installed, as the clean-up needs to know.
#pragma once

// True when the product's Uninstall key holds a non-empty "UninstallString".
bool IsProductRegistered(const char* productCode);
