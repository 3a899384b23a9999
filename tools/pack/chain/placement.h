// Putting an entry chain into the stub: at the end of an unsigned stub, inside
// the WIN_CERTIFICATE entry of a signed one after the DER signature, or as a
// tag certificate added to the signature's certificate set.
#pragma once

#include <cstdint>
#include <string>

#include "files/byte_files.h"

enum class Placement {
    Automatic,  // End for an unsigned stub, Tag for a signed one
    End,
    Certificate,
    Tag,
};

Placement PlacementFromName(const std::string& name);  // "auto", "end", "certificate", "tag"
const char* PlacementName(Placement placement);
// Automatic becomes End or Tag by whether the stub is signed.
Placement ResolvePlacement(const Bytes& stub, Placement placement);

// An unsigned stub that already carries a chain at its end (an earlier pack)
// cut back to the bytes in front of that chain and of the zeros that padded
// it, so packing it again gives the bytes a fresh stub would give.
Bytes StubWithoutChain(const Bytes& stub);

// Throws PackError for a stub that is no PE32+ image, a placement that does
// not fit the stub, or a result larger than `sizeLimit`. A chain that an
// earlier run placed is replaced, not added to.
Bytes PlaceContainer(const Bytes& stub, const Bytes& chain, Placement placement, uint64_t sizeLimit);

// The same setup for a chain written to a file, itself written to `out`:
// the stub's bytes in front of the chain, the chain copied piece by piece,
// and the header checksum, which covers the chain, put in last. A tag
// certificate is made from the whole chain, so only that placement reads
// it into memory (the system's decoder limits such a chain anyway).
// Returns the setup's size.
uint64_t WriteSetupFile(const Bytes& stub, PartialFile* chain, uint64_t chainSize, Placement placement,
                        uint64_t sizeLimit, PartialFile* out);
