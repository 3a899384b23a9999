#include "chain/signing_key.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>
#include <openssl/x509.h>

#include "files/pack_error.h"
#include "format/verification_key.h"

namespace {
struct BioDeleter {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using BioPtr = std::unique_ptr<BIO, BioDeleter>;

struct KeyContextDeleter {
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
using KeyContextPtr = std::unique_ptr<EVP_PKEY_CTX, KeyContextDeleter>;

void RequireRsa2048(EVP_PKEY* key, const std::string& what) {
    if (EVP_PKEY_base_id(key) != EVP_PKEY_RSA || EVP_PKEY_bits(key) != 2048)
        throw PackError(what + " is not an RSA-2048 key (the launcher verifies with RSA-2048 only)");
}

std::string BioText(BIO* bio) {
    char* data = nullptr;
    long length = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<size_t>(length));
}

BioPtr ReadPemFile(const std::string& path, const std::string& what) {
    Bytes bytes = ReadFileBytes(path, what);
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || BIO_write(bio.get(), bytes.data(), static_cast<int>(bytes.size())) != static_cast<int>(bytes.size()))
        throw PackError("out of memory reading " + path);
    return bio;
}
struct PassphraseRequest {
    const std::optional<std::string>* passphrase;
    bool asked;
};

// OpenSSL's own callback would prompt on the terminal, which hangs or fails
// in CI; without a pass phrase this one declines, and the caller says why.
int GivePassphrase(char* buffer, int size, int, void* data) {
    auto* request = static_cast<PassphraseRequest*>(data);
    request->asked = true;
    const std::optional<std::string>& passphrase = *request->passphrase;
    if (!passphrase || passphrase->size() > static_cast<size_t>(size)) return -1;
    passphrase->copy(buffer, passphrase->size());
    return static_cast<int>(passphrase->size());
}
}  // namespace

KeyPairPem GenerateKeyPair() {
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr);
    EVP_PKEY* raw = nullptr;
    bool made = context && EVP_PKEY_keygen_init(context) > 0 && EVP_PKEY_CTX_set_rsa_keygen_bits(context, 2048) > 0 &&
                EVP_PKEY_keygen(context, &raw) > 0;
    EVP_PKEY_CTX_free(context);
    KeyPtr key(raw);
    if (!made) throw PackError("OpenSSL could not make an RSA-2048 key");
    BioPtr privateBio(BIO_new(BIO_s_mem()));
    BioPtr publicBio(BIO_new(BIO_s_mem()));
    if (!privateBio || !publicBio ||
        !PEM_write_bio_PrivateKey(privateBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) ||
        !PEM_write_bio_PUBKEY(publicBio.get(), key.get()))
        throw PackError("OpenSSL could not write the key pair");
    return {BioText(privateBio.get()), BioText(publicBio.get())};
}

KeyPtr LoadSigningKey(const std::string& path, const std::optional<std::string>& passphrase) {
    BioPtr bio = ReadPemFile(path, "private key");
    PassphraseRequest request{&passphrase, false};
    KeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, GivePassphrase, &request));
    if (!key && request.asked && !passphrase)
        throw PackError("the private key " + path +
                        " is encrypted; give its pass phrase with --key-passphrase-env NAME or --key-passphrase-file "
                        "PATH");
    if (!key && request.asked) throw PackError("the pass phrase given does not decrypt the private key " + path);
    if (!key) throw PackError("the private key " + path + " is not a PEM private key");
    // A pass phrase for a key that needs none means the wrong key file, or
    // a key that was meant to be encrypted and lies in the clear.
    if (passphrase && !request.asked)
        throw PackError("the private key " + path +
                        " is not encrypted, yet a pass phrase was given; leave --key-passphrase-env and "
                        "--key-passphrase-file out, or name the encrypted key");
    RequireRsa2048(key.get(), "the private key " + path);
    return key;
}

KeyPtr PublicKeyFromPem(const std::string& pem, const std::string& what) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    KeyPtr key(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key) throw PackError(what + " is not a PEM public key");
    RequireRsa2048(key.get(), what);
    return key;
}

KeyPtr LoadPublicKey(const std::string& path) {
    Bytes bytes = ReadFileBytes(path, "public key");
    return PublicKeyFromPem(std::string(bytes.begin(), bytes.end()), "the public key " + path);
}

KeyPtr BuiltInVerificationKey() {
    uint8_t blob[kVerificationKeySize];
    const unsigned char* cursor = blob;
    KeyPtr key(WriteVerificationKey(blob) ? b2i_PublicKey(&cursor, kVerificationKeySize) : nullptr);
    if (!key) throw PackError("the built-in verification key cannot be loaded");
    return key;
}

bool SamePublicKey(EVP_PKEY* a, EVP_PKEY* b) {
#if OPENSSL_VERSION_NUMBER >= 0x30000000L
    return EVP_PKEY_eq(a, b) == 1;
#else
    return EVP_PKEY_cmp(a, b) == 1;
#endif
}

DigestContextPtr StartSha256() {
    DigestContextPtr context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        throw PackError("OpenSSL could not compute a SHA-256 digest");
    return context;
}

void AddToSha256(EVP_MD_CTX* context, const uint8_t* data, size_t size) {
    if (EVP_DigestUpdate(context, data, size) != 1) throw PackError("OpenSSL could not compute a SHA-256 digest");
}

Sha256Digest FinishSha256(EVP_MD_CTX* context) {
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context, digest.data(), &length) != 1 || length != digest.size())
        throw PackError("OpenSSL could not compute a SHA-256 digest");
    return digest;
}

// RSASSA-PKCS1-v1_5 is deterministic: signing the digest gives the bytes
// that signing the content with SHA-256 gives.
Bytes SignSha256(EVP_PKEY* key, const Sha256Digest& digest) {
    KeyContextPtr context(EVP_PKEY_CTX_new(key, nullptr));
    size_t length = 0;
    if (!context || EVP_PKEY_sign_init(context.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) <= 0 ||
        EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha256()) <= 0 ||
        EVP_PKEY_sign(context.get(), nullptr, &length, digest.data(), digest.size()) <= 0)
        throw PackError("OpenSSL could not sign an entry");
    Bytes signature(length);
    if (EVP_PKEY_sign(context.get(), signature.data(), &length, digest.data(), digest.size()) <= 0)
        throw PackError("OpenSSL could not sign an entry");
    signature.resize(length);
    return signature;
}

Bytes SignContent(EVP_PKEY* key, const uint8_t* content, size_t size) {
    DigestContextPtr context = StartSha256();
    AddToSha256(context.get(), content, size);
    return SignSha256(key, FinishSha256(context.get()));
}

bool VerifyContent(EVP_PKEY* key, const uint8_t* content, size_t size, const uint8_t* signature, size_t signatureSize) {
    DigestContextPtr context(EVP_MD_CTX_new());
    return context && EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key) > 0 &&
           EVP_DigestVerifyUpdate(context.get(), content, size) > 0 &&
           EVP_DigestVerifyFinal(context.get(), signature, signatureSize) == 1;
}

std::string KeyFingerprint(EVP_PKEY* key) {
    unsigned char* der = nullptr;
    int length = i2d_PUBKEY(key, &der);
    if (length <= 0) throw PackError("OpenSSL could not encode a public key");
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(der, static_cast<size_t>(length), digest);
    OPENSSL_free(der);
    static const char kHex[] = "0123456789abcdef";
    std::string text = "SHA256:";
    for (unsigned char byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}
