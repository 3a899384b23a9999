// Signed PE32+ images made with OpenSSL for the tag-lookup tests: X.509
// certificates that carry extensions of the test's choosing (tag blobs among
// them) in a PKCS #7 SignedData, placed in the image's certificate table.
#pragma once

#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <string>
#include <vector>

#include "../portable/container_image.h"
#include "container/tag_lookup.h"
#include "format/tag_extension.h"

namespace container_test {

struct CertExtension {
    std::string oid;
    Bytes value;  // the content of the extnValue OCTET STRING
    bool critical = false;
};

inline CertExtension TagExtension(const Bytes& blob, bool critical = false) {
    return {kTagExtensionOid, blob, critical};
}

// The development key signs the certificates and the message; any key would
// do, since the launcher reads the certificates without checking them.
inline EVP_PKEY* TestSigningKey() { return DevPrivateKey(); }

inline X509* MakeCertificate(const std::string& commonName, const std::vector<CertExtension>& extensions) {
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), static_cast<long>(commonName.size()) + 1000);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                               -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509_gmtime_adj(X509_getm_notBefore(cert), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert), 365L * 24 * 3600);
    X509_set_pubkey(cert, TestSigningKey());
    for (const CertExtension& e : extensions) {
        ASN1_OBJECT* oid = OBJ_txt2obj(e.oid.c_str(), 1);
        ASN1_OCTET_STRING* value = ASN1_OCTET_STRING_new();
        ASN1_OCTET_STRING_set(value, e.value.data(), static_cast<int>(e.value.size()));
        X509_EXTENSION* extension = X509_EXTENSION_create_by_OBJ(nullptr, oid, e.critical ? 1 : 0, value);
        X509_add_ext(cert, extension, -1);
        X509_EXTENSION_free(extension);
        ASN1_OCTET_STRING_free(value);
        ASN1_OBJECT_free(oid);
    }
    X509_sign(cert, TestSigningKey(), EVP_sha256());
    return cert;
}

inline Bytes CertificateDer(X509* cert) {
    int length = i2d_X509(cert, nullptr);
    Bytes der(length > 0 ? length : 0);
    unsigned char* cursor = der.data();
    i2d_X509(cert, &cursor);
    return der;
}

// A DER-encoded PKCS #7 SignedData over a few bytes, signed by the first
// certificate and carrying every certificate in the given order.
inline Bytes SignedMessage(const std::vector<std::vector<CertExtension>>& certificates) {
    std::vector<X509*> certs;
    for (size_t i = 0; i < certificates.size(); ++i)
        certs.push_back(MakeCertificate("msistub test " + std::to_string(i), certificates[i]));
    static const char kContent[] = "signed content";
    BIO* content = BIO_new_mem_buf(kContent, sizeof kContent);
    PKCS7* message = PKCS7_sign(certs.at(0), TestSigningKey(), nullptr, content,
                                PKCS7_BINARY | PKCS7_NOCERTS | PKCS7_NOSMIMECAP);
    for (X509* cert : certs) PKCS7_add_certificate(message, cert);
    Bytes der;
    int length = message ? i2d_PKCS7(message, nullptr) : 0;
    if (length > 0) {
        der.resize(length);
        unsigned char* cursor = der.data();
        i2d_PKCS7(message, &cursor);
    }
    PKCS7_free(message);
    BIO_free(content);
    for (X509* cert : certs) X509_free(cert);
    return der;
}

}  // namespace container_test
