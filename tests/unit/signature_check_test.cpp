// The launcher checks an entry's signature with the system's CryptoAPI: what
// each step's failure makes of a signature that holds.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include "../portable/container_image.h"
#include "format/verify_entry_signature.h"
#include "format/verify_digest.h"
#include "platform/win32_api.h"

namespace {

using namespace container_test;

struct Failing {
    static BOOL WINAPI AcquireContext(HCRYPTPROV*, LPCSTR, LPCSTR, DWORD, DWORD) { return Fail(); }
    static BOOL WINAPI ImportKey(HCRYPTPROV, const BYTE*, DWORD, HCRYPTKEY, DWORD, HCRYPTKEY*) { return Fail(); }
    static BOOL WINAPI CreateHash(HCRYPTPROV, ALG_ID, HCRYPTKEY, DWORD, HCRYPTHASH*) { return Fail(); }
    static BOOL WINAPI SetHashParam(HCRYPTHASH, DWORD, const BYTE*, DWORD) { return Fail(); }
    static BOOL WINAPI VerifySignature(HCRYPTHASH, const BYTE*, DWORD, HCRYPTKEY, LPCSTR, DWORD) { return Fail(); }
    static BOOL Fail() {
        SetLastError(static_cast<DWORD>(NTE_FAIL));
        return FALSE;
    }
};

class SignatureCheck : public ::testing::Test {
protected:
    void TearDown() override {
        ReleaseSignatureChecker();
        g_win32 = saved_;
    }
    Win32Api saved_ = g_win32;
};

TEST_F(SignatureCheck, AStepThatFailsNeverPassesTheSignature) {
    struct Case {
        const char* step;
        void (*breakStep)();
        uint32_t code;
    };
    const Case cases[] = {
        {"none", [] {}, 0},
        {"CryptAcquireContextA", [] { g_win32.CryptAcquireContextA = Failing::AcquireContext; }, 0x80090003u},
        {"CryptImportKey", [] { g_win32.CryptImportKey = Failing::ImportKey; }, 0x80090003u},
        {"CryptCreateHash", [] { g_win32.CryptCreateHash = Failing::CreateHash; }, 1392},
        {"CryptSetHashParam", [] { g_win32.CryptSetHashParam = Failing::SetHashParam; }, 1392},
        {"CryptVerifySignatureA", [] { g_win32.CryptVerifySignatureA = Failing::VerifySignature; }, 1392},
    };
    const Bytes content = NoiseBytes(5000);
    const Bytes signature = Sign(content);
    for (const Case& c : cases) {
        ReleaseSignatureChecker();
        g_win32 = saved_;
        c.breakStep();
        StatusValue status = VerifyEntrySignature(content.data(), 5000, signature.data(), 256);
        EXPECT_EQ(StatusCode(status), c.code) << c.step;
        EXPECT_EQ(StatusLine(status), 0u) << c.step;
    }
}

// One provider serves every check of a run; released, the next check
// acquires a new one.
TEST_F(SignatureCheck, AcquiresTheProviderOncePerRun) {
    static int acquired;
    acquired = 0;
    g_win32.CryptAcquireContextA = [](HCRYPTPROV* provider, LPCSTR container, LPCSTR name, DWORD type,
                                      DWORD flags) -> BOOL {
        ++acquired;
        return ::CryptAcquireContextA(provider, container, name, type, flags);
    };
    const Bytes content = NoiseBytes(300);
    const Bytes signature = Sign(content);
    ReleaseSignatureChecker();
    for (int run = 1; run <= 2; ++run) {
        for (int check = 0; check < 3; ++check)
            EXPECT_EQ(StatusCode(VerifyEntrySignature(content.data(), 300, signature.data(), 256)), 0u);
        EXPECT_EQ(StatusCode(VerifyEntrySignature(content.data(), 299, signature.data(), 256)), 1392u);
        EXPECT_EQ(acquired, run);
        ReleaseSignatureChecker();
    }
}

}  // namespace
