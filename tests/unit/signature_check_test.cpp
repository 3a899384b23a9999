// The launcher checks an entry's RSA signature with BearSSL, without a
// crypto provider. Its verdicts are compared with the system's CryptoAPI,
// which the launcher used before, over signatures made by the development
// key around blocks that are right, nearly right or wrong.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>

#include <cstring>

#include "../portable/container_image.h"
#include "format/entry_format.h"
#include "format/verification_key.h"
#include "format/verify_digest.h"
#include "format/verify_entry_signature.h"

namespace {

using namespace container_test;

constexpr uint32_t kCorrupt = 1392;
constexpr uint8_t kSha256Info[] = {0x30, 0x31, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                   0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
// The same without the NULL parameters: a form some checkers take.
constexpr uint8_t kSha256InfoNoNull[] = {0x30, 0x2F, 0x30, 0x0B, 0x06, 0x09, 0x60, 0x86, 0x48,
                                         0x01, 0x65, 0x03, 0x04, 0x02, 0x01, 0x04, 0x20};
constexpr uint8_t kSha1Info[] = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2B, 0x0E,
                                 0x03, 0x02, 0x1A, 0x05, 0x00, 0x04, 0x14};

Bytes Digest(const Bytes& content) {
    Bytes digest(32);
    SHA256(content.data(), content.size(), digest.data());
    return digest;
}

// 00 TYPE FF..FF 00 INFO TAIL over 256 bytes.
Bytes Block(uint8_t type, const uint8_t* info, size_t infoSize, const Bytes& tail) {
    Bytes block(kSignatureSize, 0xFF);
    block[0] = 0x00;
    block[1] = type;
    size_t start = kSignatureSize - infoSize - tail.size();
    block[start - 1] = 0x00;
    std::memcpy(block.data() + start, info, infoSize);
    std::memcpy(block.data() + start + infoSize, tail.data(), tail.size());
    return block;
}

// The development key's private operation on a block as it stands.
Bytes RawSign(const Bytes& block) {
    Bytes signature(kSignatureSize);
    size_t length = signature.size();
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(DevPrivateKey(), nullptr);
    bool made = context && EVP_PKEY_sign_init(context) == 1 &&
                EVP_PKEY_CTX_set_rsa_padding(context, RSA_NO_PADDING) == 1 &&
                EVP_PKEY_sign(context, signature.data(), &length, block.data(), block.size()) == 1;
    EVP_PKEY_CTX_free(context);
    return made ? signature : Bytes();
}

Bytes BuiltInKey() {
    Bytes key(kVerificationKeySize);
    if (!WriteVerificationKey(key.data())) key.clear();
    return key;
}

// The verdict of the system's CryptoAPI: true when the signature holds.
bool CryptoApiAccepts(const Bytes& key, const Bytes& digest, const Bytes& signature) {
    HCRYPTPROV provider = 0;
    HCRYPTKEY publicKey = 0;
    HCRYPTHASH hash = 0;
    Bytes reversed(signature.rbegin(), signature.rend());
    bool holds = CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
                 CryptImportKey(provider, key.data(), static_cast<DWORD>(key.size()), 0, 0, &publicKey) &&
                 CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) &&
                 CryptSetHashParam(hash, HP_HASHVAL, digest.data(), 0) &&
                 CryptVerifySignatureA(hash, reversed.data(), static_cast<DWORD>(reversed.size()), publicKey,
                                       nullptr, 0);
    if (hash) CryptDestroyHash(hash);
    if (publicKey) CryptDestroyKey(publicKey);
    if (provider) CryptReleaseContext(provider, 0);
    return holds;
}

uint32_t LauncherVerdict(const Bytes& key, const Bytes& digest, const Bytes& signature) {
    return StatusCode(VerifyDigestSignature(key.data(), digest.data(), signature.data(),
                                            static_cast<uint32_t>(signature.size())));
}

TEST(SignatureCheck, AgreesWithCryptoApiOnRightAndNearlyRightSignatures) {
    const Bytes key = BuiltInKey();
    ASSERT_EQ(key.size(), kVerificationKeySize);
    const Bytes content = NoiseBytes(5000);
    const Bytes digest = Digest(content);
    const Bytes otherDigest = Digest(NoiseBytes(5000, 2));
    Bytes flippedDigest = digest;
    flippedDigest[31] ^= 1;
    Bytes sha1Tail(digest.begin(), digest.begin() + 20);
    Bytes longTail = digest;
    longTail.push_back(0);

    Bytes flippedSignature = Sign(content);
    flippedSignature[100] ^= 0x10;
    Bytes modulus(key.rbegin(), key.rbegin() + kSignatureSize);  // the blob holds it least significant first

    struct Case {
        const char* what;
        Bytes signature;
        bool holds;
    };
    const Case cases[] = {
        {"as the packing tool signs", Sign(content), true},
        {"the same block signed raw", RawSign(Block(0x01, kSha256Info, sizeof kSha256Info, digest)), true},
        {"another content's digest", RawSign(Block(0x01, kSha256Info, sizeof kSha256Info, otherDigest)), false},
        {"one digest bit changed", RawSign(Block(0x01, kSha256Info, sizeof kSha256Info, flippedDigest)), false},
        {"no NULL parameters", RawSign(Block(0x01, kSha256InfoNoNull, sizeof kSha256InfoNoNull, digest)), false},
        {"SHA-1 DigestInfo", RawSign(Block(0x01, kSha1Info, sizeof kSha1Info, sha1Tail)), false},
        {"block type 2", RawSign(Block(0x02, kSha256Info, sizeof kSha256Info, digest)), false},
        {"a byte too many after the digest", RawSign(Block(0x01, kSha256Info, sizeof kSha256Info, longTail)), false},
        {"one signature bit changed", flippedSignature, false},
        {"the modulus itself", modulus, false},
        {"all zero", Bytes(kSignatureSize, 0), false},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.signature.size(), kSignatureSize) << c.what;
        EXPECT_EQ(CryptoApiAccepts(key, digest, c.signature), c.holds) << c.what;
        EXPECT_EQ(LauncherVerdict(key, digest, c.signature), c.holds ? 0u : kCorrupt) << c.what;
    }
}

TEST(SignatureCheck, RefusesSignaturesOfAnotherLengthAndKeysItCannotUse) {
    const Bytes key = BuiltInKey();
    ASSERT_EQ(key.size(), kVerificationKeySize);
    const Bytes content = NoiseBytes(300);
    const Bytes digest = Digest(content);
    Bytes signature = Sign(content);
    ASSERT_EQ(LauncherVerdict(key, digest, signature), 0u);

    for (size_t length : {size_t{0}, size_t{255}, size_t{257}}) {
        Bytes resized = signature;
        resized.resize(length, 0);
        EXPECT_EQ(StatusCode(VerifyDigestSignature(key.data(), digest.data(), resized.data(),
                                                   static_cast<uint32_t>(length))),
                  kCorrupt)
            << length;
    }

    struct KeyCase {
        const char* what;
        void (*change)(Bytes*);
    };
    const KeyCase keyCases[] = {
        {"1024 bits declared", [](Bytes* k) { (*k)[13] = 0x04; }},
        {"exponent 0", [](Bytes* k) { std::memset(k->data() + 16, 0, 4); }},
        {"even modulus", [](Bytes* k) { (*k)[20] &= 0xFE; }},
        {"modulus shorter than 2048 bits", [](Bytes* k) { (*k)[kVerificationKeySize - 1] = 0; }},
    };
    for (const KeyCase& c : keyCases) {
        Bytes changed = key;
        c.change(&changed);
        EXPECT_EQ(LauncherVerdict(changed, digest, signature), 0x80090003u) << c.what;
    }
}

}  // namespace

// A suite of its own, so its process has made no CryptoAPI call before.
TEST(SignatureCheckProvider, ChecksEntriesWithoutLoadingACryptoProvider) {
    const Bytes content = NoiseBytes(1000);
    const Bytes signature = Sign(content);
    EXPECT_EQ(StatusCode(VerifyEntrySignature(content.data(), 1000, signature.data(), 256)), 0u);
    EXPECT_EQ(StatusCode(VerifyEntrySignature(content.data(), 999, signature.data(), 256)), kCorrupt);
    // The provider CryptoAPI would load; bcrypt.dll comes with the test's
    // own crypt32 import and says nothing.
    EXPECT_EQ(GetModuleHandleW(L"rsaenh.dll"), nullptr);
    ReleaseSignatureChecker();
}
