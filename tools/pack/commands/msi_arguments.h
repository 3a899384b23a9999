// The MSI arguments of `pack`: a path, optionally followed by ":" and the
// languages of that package alone ("de/product.msi:1031"), and the
// --languages options, given once for every package or once per package.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct MsiArgument {
    std::string path;
    std::optional<std::string> languages;  // ';'-separated; none: the MSI's Template
};

// Throws UsageError when --languages is given neither once nor once per MSI.
std::vector<MsiArgument> ResolveMsiArguments(const std::vector<std::string>& arguments,
                                             const std::vector<std::string>& languagesOptions);
