// A file that holds no container at all, told apart from one whose container
// is damaged: the first is most likely the wrong file, the second a setup to
// look into.
#pragma once

#include <string>
#include <vector>

#include "chain/blob_locator.h"

// Throws PackError "no container found in PATH" with the likeliest reason
// when the file's only blob ends in no entry trailer of either type.
void RefuseFileWithoutContainer(const std::string& path, const Bytes& file, const std::vector<LocatedBlob>& blobs);
