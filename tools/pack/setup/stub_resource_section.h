// Where a stub keeps its resources, and writing a new resource section into
// it. The resource section must be the last section of the image but for
// the base relocations, which are moved behind the new section; the data
// directories, the image and section sizes and the checksum follow. A stub
// laid out in any other way is refused, naming the file.
#pragma once

#include <string>
#include <vector>

#include "files/byte_files.h"
#include "setup/resource_tree.h"

// Every resource of the image. Throws PackError naming `path` when the image
// has no resource section or one this tool does not understand.
std::vector<ResourceItem> ReadStubResources(const Bytes& image, const std::string& path);

// The image with its resource section replaced by one holding `items`.
// Throws PackError naming `path` for a signed image, data behind the last
// section, or a layout the new section cannot be written into.
Bytes WriteStubResources(const Bytes& image, const std::vector<ResourceItem>& items, const std::string& path);
