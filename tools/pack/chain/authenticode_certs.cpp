#include "chain/authenticode_certs.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/objects.h>

#include <climits>
#include <cstring>
#include <string>

#include "files/pack_error.h"
#include "format/tag_extension.h"

namespace {
STACK_OF(X509) * CertificatesOf(PKCS7* message) {
    if (!PKCS7_type_is_signed(message) || !message->d.sign) return nullptr;
    return message->d.sign->cert;
}

bool IsTagOid(const ASN1_OBJECT* object) {
    char text[128];
    int length = OBJ_obj2txt(text, sizeof text, object, 1);
    return length == static_cast<int>(sizeof kTagExtensionOid - 1) && std::strcmp(text, kTagExtensionOid) == 0;
}

bool CarriesTagExtension(X509* certificate) {
    for (int i = 0; i < X509_get_ext_count(certificate); ++i)
        if (IsTagOid(X509_EXTENSION_get_object(X509_get_ext(certificate, i)))) return true;
    return false;
}
}  // namespace

Pkcs7Ptr DecodeSignedData(const uint8_t* data, size_t size, size_t* derLength) {
    const unsigned char* cursor = data;
    long length = size > static_cast<size_t>(LONG_MAX) ? LONG_MAX : static_cast<long>(size);
    Pkcs7Ptr message(d2i_PKCS7(nullptr, &cursor, length));
    if (!message || !PKCS7_type_is_signed(message.get())) return nullptr;
    *derLength = static_cast<size_t>(cursor - data);
    return message;
}

Bytes EncodeSignedData(PKCS7* message) {
    int length = i2d_PKCS7(message, nullptr);
    if (length <= 0) throw PackError("OpenSSL could not encode the signature");
    Bytes der(static_cast<size_t>(length));
    unsigned char* cursor = der.data();
    i2d_PKCS7(message, &cursor);
    return der;
}

std::vector<TagValue> FindTagValues(PKCS7* message) {
    std::vector<TagValue> values;
    STACK_OF(X509)* certificates = CertificatesOf(message);
    for (int c = 0; c < sk_X509_num(certificates); ++c) {
        X509* certificate = sk_X509_value(certificates, c);
        for (int e = 0; e < X509_get_ext_count(certificate); ++e) {
            X509_EXTENSION* extension = X509_get_ext(certificate, e);
            if (X509_EXTENSION_get_critical(extension) || !IsTagOid(X509_EXTENSION_get_object(extension))) continue;
            const ASN1_OCTET_STRING* value = X509_EXTENSION_get_data(extension);
            const uint8_t* bytes = ASN1_STRING_get0_data(value);
            values.push_back({c + 1, Bytes(bytes, bytes + ASN1_STRING_length(value))});
        }
    }
    return values;
}

int RemoveTagCertificates(PKCS7* message) {
    STACK_OF(X509)* certificates = CertificatesOf(message);
    int removed = 0;
    for (int c = sk_X509_num(certificates) - 1; c >= 0; --c) {
        if (!CarriesTagExtension(sk_X509_value(certificates, c))) continue;
        X509_free(sk_X509_delete(certificates, c));
        ++removed;
    }
    return removed;
}

void AddCertificate(PKCS7* message, X509* certificate) {
    if (!PKCS7_add_certificate(message, certificate))
        throw PackError("OpenSSL could not add the tag certificate to the signature");
}

X509Ptr MakeTagCertificate(const Bytes& blob) {
    if (blob.size() > static_cast<size_t>(INT_MAX))
        throw PackError("the container is " + std::to_string(blob.size()) +
                        " bytes; a tag extension holds at most 2 GiB, use --placement certificate");
    static const char kKeyLabel[] = "msistub tag certificate key";
    unsigned char blobDigest[32], seed[32];
    EVP_Digest(blob.data(), blob.size(), blobDigest, nullptr, EVP_sha256(), nullptr);
    EVP_MD_CTX* digest = EVP_MD_CTX_new();
    bool seeded = digest && EVP_DigestInit_ex(digest, EVP_sha256(), nullptr) &&
                  EVP_DigestUpdate(digest, kKeyLabel, sizeof kKeyLabel - 1) &&
                  EVP_DigestUpdate(digest, blobDigest, sizeof blobDigest) && EVP_DigestFinal_ex(digest, seed, nullptr);
    EVP_MD_CTX_free(digest);

    // Ed25519 signs deterministically, and its private key is any 32 bytes.
    std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(
        seeded ? EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed, sizeof seed) : nullptr, EVP_PKEY_free);
    X509Ptr certificate(X509_new());
    std::unique_ptr<BIGNUM, void (*)(BIGNUM*)> serial(BN_bin2bn(blobDigest, 16, nullptr), BN_free);
    std::unique_ptr<ASN1_OCTET_STRING, void (*)(ASN1_OCTET_STRING*)> value(ASN1_OCTET_STRING_new(),
                                                                           ASN1_OCTET_STRING_free);
    std::unique_ptr<ASN1_OBJECT, void (*)(ASN1_OBJECT*)> oid(OBJ_txt2obj(kTagExtensionOid, 1), ASN1_OBJECT_free);
    if (!key || !certificate || !serial || !value || !oid)
        throw PackError("OpenSSL could not make the tag certificate");

    BN_clear_bit(serial.get(), 127);  // a positive serial number
    X509_NAME* name = X509_get_subject_name(certificate.get());
    X509_EXTENSION* extension = nullptr;
    bool made = X509_set_version(certificate.get(), 2) &&
                BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get())) &&
                X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                           reinterpret_cast<const unsigned char*>("msistub container"), -1, -1, 0) &&
                X509_set_issuer_name(certificate.get(), name) &&
                ASN1_TIME_set_string(X509_getm_notBefore(certificate.get()), "000101000000Z") &&
                ASN1_TIME_set_string(X509_getm_notAfter(certificate.get()), "491231235959Z") &&
                X509_set_pubkey(certificate.get(), key.get()) &&
                ASN1_OCTET_STRING_set(value.get(), blob.data(), static_cast<int>(blob.size())) &&
                (extension = X509_EXTENSION_create_by_OBJ(nullptr, oid.get(), 0, value.get())) != nullptr &&
                X509_add_ext(certificate.get(), extension, -1) && X509_sign(certificate.get(), key.get(), nullptr) > 0;
    X509_EXTENSION_free(extension);
    if (!made) throw PackError("OpenSSL could not make the tag certificate");
    return certificate;
}
