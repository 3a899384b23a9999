// Finding the container blobs of a setup file the way the launcher does: one
// per tag extension in the certificates of the file's signature or, when
// there is none, the whole file, whose chain ends at its last byte.
#pragma once

#include <string>
#include <vector>

#include "byte_files.h"

enum class BlobSite {
    TagCertificate,
    CertificateTable,  // whole file; its chain lies inside the signature's WIN_CERTIFICATE entry
    EndOfFile,         // whole file; its chain follows the executable image
};

struct LocatedBlob {
    BlobSite site;
    int certificateNumber;  // for a tag: 1-based position in the certificate set
    Bytes data;
};

// Throws PackError when the file carries a signature that cannot be decoded,
// since the launcher stops there too.
std::vector<LocatedBlob> LocateBlobs(const Bytes& file);

std::string DescribeSite(const LocatedBlob& blob);  // "tag certificate 2", "certificate table", "end of file"
