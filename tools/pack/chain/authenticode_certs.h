// The certificate set of an Authenticode signature (a PKCS #7 SignedData in
// the first WIN_CERTIFICATE entry), and the tag extension that carries a
// container blob inside one of those certificates.
#pragma once

#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <memory>
#include <vector>

#include "files/byte_files.h"

struct Pkcs7Deleter {
    void operator()(PKCS7* message) const { PKCS7_free(message); }
};
using Pkcs7Ptr = std::unique_ptr<PKCS7, Pkcs7Deleter>;

struct X509Deleter {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
using X509Ptr = std::unique_ptr<X509, X509Deleter>;

// Decodes the signed message at the start of `data`, as the launcher's
// decoder does: the bytes behind its DER encoding (padding, an appended entry
// chain) are not part of it. Null when there is no signed message.
Pkcs7Ptr DecodeSignedData(const uint8_t* data, size_t size, size_t* derLength);
Bytes EncodeSignedData(PKCS7* message);

struct TagValue {
    int certificateNumber;  // 1-based position in the signature's certificate set
    Bytes value;            // the extnValue content: a container blob
};
// Every non-critical extension whose OID text is exactly the tag OID, in
// certificate order and, within a certificate, in extension order.
std::vector<TagValue> FindTagValues(PKCS7* message);

// Drops every certificate that carries a tag extension (critical or not), so
// a re-packed file holds no stale container. Returns how many were dropped.
int RemoveTagCertificates(PKCS7* message);
void AddCertificate(PKCS7* message, X509* certificate);

// A self-signed certificate whose non-critical tag extension holds `blob`.
// Its key is derived from the blob, so the same blob gives the same bytes.
X509Ptr MakeTagCertificate(const Bytes& blob);
