// Finding the container blobs of a setup file with the launcher's own
// placement decision (DecideChainPlacement): a chain in front of a
// certificate table that closes the file (a setup signed after packing),
// else one blob per tag extension in the certificates of the file's
// signature, else the whole file, whose chain ends at its last byte or at
// the first byte of such a table.
#pragma once

#include <string>
#include <vector>

#include "files/byte_files.h"

enum class BlobSite {
    TagCertificate,
    CertificateTable,  // whole file; its chain lies inside the signature's WIN_CERTIFICATE entry
    EndOfFile,         // whole file; its chain follows the executable image
    BeforeCertificateTable,  // the file up to its certificate table, appended by signing after packing
};

struct LocatedBlob {
    BlobSite site;
    int certificateNumber;  // for a tag: 1-based position in the certificate set
    Bytes data;
};

// Throws PackError when the file carries a signature that cannot be decoded,
// since the launcher stops there too.
std::vector<LocatedBlob> LocateBlobs(const Bytes& file);

// "tag certificate 2", "certificate table", "end of file", "in front of the certificate table"
std::string DescribeSite(const LocatedBlob& blob);

// True when the file carries an Authenticode signature but no container in
// any of the four places: most likely a signing after packing replaced it.
bool SignedWithoutContainer(const Bytes& file, const std::vector<LocatedBlob>& blobs);
