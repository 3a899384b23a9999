// Reading a named RCDATA resource out of a PE32+ stub, natively: the
// verification key the stub's build stored there tells the packing tool
// which signing key the launcher will accept.
#pragma once

#include <optional>
#include <string>

#include "chain/signing_key.h"
#include "files/byte_files.h"

// The content of the RCDATA resource `name` (ASCII, compared without case,
// as the resource compiler stores names in upper case), first language.
// Nothing when the image is no PE32+ file, has no such resource, or any
// offset on the way points outside the image or its resource section.
std::optional<Bytes> FindRcdataResource(const Bytes& image, const std::string& name);

// The key the launcher in `stub` checks every entry with. Throws PackError
// when the stub carries none (no msistub launcher, or one built before the
// key became a resource) or one that does not load.
KeyPtr StubVerificationKey(const Bytes& stub, const std::string& stubPath);
