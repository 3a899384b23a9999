#include "chain/container_presence.h"

#include "chain/entry_chain.h"
#include "chain/pe_image.h"
#include "files/pack_error.h"

namespace {
bool HoldsNoEntry(const LocatedBlob& blob) {
    if (blob.site == BlobSite::TagCertificate) return false;
    ChainWalk walk = WalkEntryChain(blob.data.data(), blob.data.size());
    return walk.entries.empty() && walk.steppedOver.empty() && !walk.reachedManifest &&
           (walk.end == ChainEnd::kUnknownTrailer || walk.end == ChainEnd::kNoRoomForTrailer);
}

std::string LikeliestReason(const Bytes& file) {
    if (!FindPeLayout(file.data(), file.size()))
        return "it is not a 64-bit Windows program, so not a setup that msistub-pack made; name the setup.exe that "
               "`msistub-pack pack` wrote";
    return "it is a Windows program without a container, most likely the bare stub (msistub.exe) rather than the "
           "setup that `msistub-pack pack` made from it";
}
}  // namespace

void RefuseFileWithoutContainer(const std::string& path, const Bytes& file, const std::vector<LocatedBlob>& blobs) {
    if (blobs.size() == 1 && HoldsNoEntry(blobs.front()))
        throw PackError("no container found in " + path + ": " + LikeliestReason(file));
}
