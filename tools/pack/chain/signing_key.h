// RSA-2048 keys: making a pair, loading and checking the signing key, and
// signing and verifying entry content (RSASSA-PKCS1-v1_5 with SHA-256).
#pragma once

#include <openssl/evp.h>

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "files/byte_files.h"

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyDeleter>;

struct KeyPairPem {
    std::string privatePem;
    std::string publicPem;
};

KeyPairPem GenerateKeyPair();

// Each throws PackError unless the file holds an RSA-2048 key of that kind.
// An encrypted private key is opened with `passphrase`; without one it is
// refused, never prompted for.
KeyPtr LoadSigningKey(const std::string& path, const std::optional<std::string>& passphrase = std::nullopt);
KeyPtr LoadPublicKey(const std::string& path);
KeyPtr PublicKeyFromPem(const std::string& pem, const std::string& what);
// The key that the launcher and this tool were built with.
KeyPtr BuiltInVerificationKey();

bool SamePublicKey(EVP_PKEY* a, EVP_PKEY* b);

// SHA-256 of the key's DER SubjectPublicKeyInfo, "SHA256:" and 64 hex digits,
// as `openssl pkey -pubin -outform DER | sha256sum` gives it.
std::string KeyFingerprint(EVP_PKEY* key);

// Content too large to hold is signed over its SHA-256, taken in pieces;
// the signature is the same as SignContent's over the whole content.
using Sha256Digest = std::array<uint8_t, 32>;
struct DigestContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContextPtr = std::unique_ptr<EVP_MD_CTX, DigestContextDeleter>;
DigestContextPtr StartSha256();
void AddToSha256(EVP_MD_CTX* context, const uint8_t* data, size_t size);
Sha256Digest FinishSha256(EVP_MD_CTX* context);

// Always 256 bytes for an RSA-2048 key.
Bytes SignSha256(EVP_PKEY* key, const Sha256Digest& digest);
Bytes SignContent(EVP_PKEY* key, const uint8_t* content, size_t size);
bool VerifyContent(EVP_PKEY* key, const uint8_t* content, size_t size, const uint8_t* signature, size_t signatureSize);
