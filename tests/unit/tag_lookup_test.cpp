#include "container/tag_lookup.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "../portable/container_image.h"
#include "platform/win32_api.h"
#include "signed_image.h"

namespace {

using namespace container_test;

constexpr uint32_t kSignedCompressed = kBlobCompressed | kBlobSigned;

Bytes TagBlob(const std::string& manifest) {
    return Concat({Text("bytes in front of the chain"), Entry(ManifestEntryGuid, 0, Text(manifest), kSignedCompressed),
                   Entry(PayloadEntryGuid, 1000, Text("package of " + manifest), kSignedCompressed)});
}

// A chain that would become the whole-file blob if the lookup found nothing.
const Bytes kAppendedChain =
    Concat({Bytes(7, 0), Entry(ManifestEntryGuid, 0, Text("whole file"), kSignedCompressed)});

struct Found {
    uint32_t code;
    uint32_t line;
    std::vector<Bytes> blobs;
    std::vector<std::string> manifests;
};

Found FindIn(const Bytes& image, BlobTable* state) {
    StatusValue status = FindTagBlobs(state, MemorySource(image.data(), static_cast<uint32_t>(image.size())));
    Found found = {StatusCode(status), StatusLine(status), {}, {}};
    for (uint32_t i = 0; i < state->blobCount; ++i) {
        const ContainerBlob& blob = state->blobs[i];
        EXPECT_EQ(blob.flags, 3u);
        found.blobs.push_back(Span(blob.data, blob.size));
        found.manifests.emplace_back(reinterpret_cast<const char*>(blob.manifest), blob.manifestSize);
    }
    return found;
}

Found Find(const Bytes& image) {
    BlobTable state = {};
    Found found = FindIn(image, &state);
    ReleaseBlobs(&state);
    return found;
}

class Win32Seams : public ::testing::Test {
protected:
    void TearDown() override { g_win32 = saved_; }
    Win32Api saved_ = g_win32;
};

TEST(FindTagBlobs, EveryTagBecomesABlobInCertificateAndExtensionOrder) {
    const Bytes a1 = TagBlob("a1"), a2 = TagBlob("a2"), b = TagBlob("b");
    const Bytes message = SignedMessage({
        {{"2.5.29.14", {0x04, 0x02, 0x01, 0x02}}},               // the signer: a subject key id, no tag
        {TagExtension(a1), {"1.2.3.4", Text("other")}, TagExtension(a2)},
        {TagExtension(b)},
    });
    Found found = Find(PeImage(message, kAppendedChain));
    EXPECT_EQ(found.code, 0u);
    EXPECT_EQ(found.line, 547u) << "the last tag blob's manifest status";
    EXPECT_EQ(found.manifests, (std::vector<std::string>{"a1", "a2", "b"}));
    ASSERT_EQ(found.blobs.size(), 3u);
    EXPECT_EQ(found.blobs[0], a1);
    EXPECT_EQ(found.blobs[2], b);
}

TEST(FindTagBlobs, PassesOverCriticalTagsAndOtherOids) {
    const std::string oid = kTagExtensionOid;
    const Bytes blob = TagBlob("never");
    const Bytes message = SignedMessage({
        {TagExtension(blob, true)},
        {{oid + ".1", blob}, {oid.substr(0, oid.size() - 1), blob}, {oid.substr(0, oid.rfind('.')), blob}},
    });
    Found found = Find(PeImage(message, kAppendedChain));
    EXPECT_EQ(found.code, 0u);
    EXPECT_EQ(found.line, 789u);
    EXPECT_TRUE(found.blobs.empty());
}

TEST(FindTagBlobs, NothingFoundInImagesThatAreNotSignedPe32Plus) {
    const Bytes message = SignedMessage({{TagExtension(TagBlob("tag"))}});
    PeLayout pe32;
    pe32.optionalMagic = 0x10B;
    Bytes negativeOffset = PeImage(message);
    WriteU32Le(&negativeOffset[60], 0xFFFFFFF0u);
    Bytes oversizedEntry = PeImage(message);
    WriteU32Le(&oversizedEntry[kImageBodySize], static_cast<uint32_t>(message.size()) + 9);
    const Bytes cases[] = {{}, TagBlob("x"), PeImage(message, {}, pe32), negativeOffset, oversizedEntry};
    for (const Bytes& image : cases) {
        Found found = Find(image);
        EXPECT_EQ(found.code, 0u);
        EXPECT_EQ(found.line, 789u);
        EXPECT_TRUE(found.blobs.empty());
    }
}

TEST(FindTagBlobs, CertificateDataThatIsNoSignedMessage) {
    for (const Bytes& data : {Text("not a PKCS #7 message"), Bytes()}) {
        Found found = Find(PeImage(data, kAppendedChain));
        EXPECT_NE(found.code, 0u);
        EXPECT_EQ(found.line, 837u);
    }
}

// A tag without a readable manifest ends the lookup; the blobs before it stay.
TEST(FindTagBlobs, StopsAtATagWithoutAManifest) {
    const Bytes message = SignedMessage({
        {TagExtension(TagBlob("first"))},
        {TagExtension(Text("no chain")), TagExtension(TagBlob("never reached"))},
        {TagExtension(TagBlob("never reached either"))},
    });
    BlobTable state = {};
    Found found = FindIn(PeImage(message), &state);
    EXPECT_EQ(found.code, 1168u);
    EXPECT_EQ(found.line, 509u);
    EXPECT_EQ(found.manifests, std::vector<std::string>{"first"});
    ReleaseBlobs(&state);
}

// What the seams make fail, and how the lookup reports it.
struct SeamState {
    static inline DWORD failingParam = 0;   // CMSG_CERT_COUNT_PARAM or CMSG_CERT_PARAM
    static inline bool failWithBuffer = false;
    static inline DWORD lastError = 0;

    static BOOL WINAPI GetParam(HCRYPTMSG message, DWORD type, DWORD index, void* data, DWORD* size) {
        if (type == failingParam && (type == CMSG_CERT_COUNT_PARAM || (data != nullptr) == failWithBuffer)) {
            SetLastError(lastError);
            return FALSE;
        }
        return ::CryptMsgGetParam(message, type, index, data, size);
    }
};

class FindTagBlobsSeams : public Win32Seams {
protected:
    Bytes image_ = PeImage(SignedMessage({{TagExtension(TagBlob("tag"))}}), kAppendedChain);

    void ExpectFailure(uint32_t lastError, uint32_t defaultCode, uint32_t line) {
        Found found = Find(image_);
        EXPECT_EQ(found.code, lastError ? lastError : defaultCode);
        EXPECT_EQ(found.line, line);
        EXPECT_TRUE(found.blobs.empty());
    }
};

constexpr uint32_t kInvalidArg = 0x80070057u;

TEST_F(FindTagBlobsSeams, DecoderSteps) {
    for (DWORD lastError : {0ul, static_cast<DWORD>(CRYPT_E_ASN1_BADTAG)}) {
        SeamState::lastError = lastError;
        g_win32.CryptMsgOpenToDecode = [](DWORD, DWORD, DWORD, HCRYPTPROV_LEGACY, PCERT_INFO,
                                          PCMSG_STREAM_INFO) -> HCRYPTMSG {
            SetLastError(SeamState::lastError);
            return nullptr;
        };
        ExpectFailure(lastError, kInvalidArg, 831);
        g_win32 = saved_;

        g_win32.CryptMsgGetParam = SeamState::GetParam;
        SeamState::failingParam = CMSG_CERT_COUNT_PARAM;
        ExpectFailure(lastError, kInvalidArg, 846);
        SeamState::failingParam = CMSG_CERT_PARAM;
        SeamState::failWithBuffer = false;
        ExpectFailure(lastError, kInvalidArg, 937);
        SeamState::failWithBuffer = true;
        ExpectFailure(lastError, kInvalidArg, 924);
        g_win32 = saved_;

        g_win32.CertCreateCertificateContext = [](DWORD, const BYTE*, DWORD) -> PCCERT_CONTEXT {
            SetLastError(SeamState::lastError);
            return nullptr;
        };
        ExpectFailure(lastError, kInvalidArg, 919);
        g_win32 = saved_;
    }
}

TEST_F(FindTagBlobsSeams, OutOfMemory) {
    X509* cert = MakeCertificate("msistub test 0", {TagExtension(TagBlob("tag"))});
    const size_t certificateSize = CertificateDer(cert).size();
    X509_free(cert);
    const size_t tagSize = TagBlob("tag").size();
    ASSERT_NE(certificateSize, tagSize);
    struct Case {
        FailingAllocator::Predicate fails;
        uint32_t line;
    };
    const Case cases[] = {
        {[certificateSize](bool, uint32_t, size_t bytes) { return bytes == certificateSize; }, 932},
        {[tagSize](bool, uint32_t, size_t bytes) { return bytes == tagSize; }, 907},
        {[](bool, uint32_t flags, size_t) { return (flags & kMemZeroInit) != 0; }, 892},
    };
    for (const Case& c : cases) {
        for (uint32_t lastError : {0u, 14u}) {
            FailingAllocator failing(c.fails, lastError);
            ExpectFailure(lastError, 8, c.line);
        }
    }
}

// crypt32.dll is loaded on first use from the system directory: by name with
// the system-directory search flag, or by full path where the system lacks
// SetDefaultDllDirectories.
struct LoadRecord {
    static inline bool withoutSearchFlags = false;
    static inline const char* failingName = nullptr;  // a name GetProcAddress does not find
    static inline bool loadFails = false;
    static inline std::vector<std::pair<std::wstring, DWORD>> loads;

    static HMODULE WINAPI Load(LPCWSTR name, HANDLE file, DWORD flags) {
        loads.emplace_back(name, flags);
        if (loadFails) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        return ::LoadLibraryExW(name, file, flags);
    }
    static FARPROC WINAPI Find(HMODULE module, LPCSTR name) {
        const bool missing = (withoutSearchFlags && std::string(name) == "SetDefaultDllDirectories") ||
                             (failingName && std::string(name) == failingName);
        if (missing) {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
        return ::GetProcAddress(module, name);
    }
};

class SignatureDecoderLoading : public Win32Seams {
protected:
    void SetUp() override {
        LoadRecord::withoutSearchFlags = false;
        LoadRecord::failingName = nullptr;
        LoadRecord::loadFails = false;
        LoadRecord::loads.clear();
        g_win32.LoadLibraryExW = LoadRecord::Load;
        g_win32.GetProcAddress = LoadRecord::Find;
        g_win32.CryptMsgOpenToDecode = nullptr;
        g_win32.CryptMsgUpdate = nullptr;
        g_win32.CryptMsgGetParam = nullptr;
        g_win32.CryptMsgClose = nullptr;
        g_win32.CertCreateCertificateContext = nullptr;
        g_win32.CertFreeCertificateContext = nullptr;
    }
};

std::wstring SystemDirectory() {
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    return std::wstring(path, length);
}

TEST_F(SignatureDecoderLoading, FromTheSystemDirectoryOnly) {
    struct Case {
        bool withoutSearchFlags;
        std::wstring name;
        DWORD flags;
    };
    const Case cases[] = {
        {false, L"crypt32.dll", LOAD_LIBRARY_SEARCH_SYSTEM32},
        {true, SystemDirectory() + L"\\crypt32.dll", LOAD_WITH_ALTERED_SEARCH_PATH},
    };
    const Bytes tag = TagBlob("tag");
    for (const Case& c : cases) {
        SetUp();
        LoadRecord::withoutSearchFlags = c.withoutSearchFlags;
        Found found = Find(PeImage(SignedMessage({{TagExtension(tag)}}), kAppendedChain));
        EXPECT_EQ(found.code, 0u);
        EXPECT_EQ(found.manifests, std::vector<std::string>{"tag"});
        ASSERT_EQ(LoadRecord::loads.size(), 1u);
        EXPECT_EQ(LoadRecord::loads[0].first, c.name);
        EXPECT_EQ(LoadRecord::loads[0].second, c.flags);
    }
}

// A signed image whose tags cannot be read fails at the decoder's site; an
// unsigned one needs no decoder and finds nothing, as before.
TEST_F(SignatureDecoderLoading, WithoutTheDecoder) {
    struct Case {
        bool loadFails;
        const char* failingName;
        bool signedImage;
        uint32_t code;
        uint32_t line;
        size_t loads;
    };
    const Case cases[] = {
        {true, nullptr, true, ERROR_MOD_NOT_FOUND, 831, 1},
        {false, "CryptMsgOpenToDecode", true, ERROR_PROC_NOT_FOUND, 831, 1},
        {false, "CertFreeCertificateContext", true, ERROR_PROC_NOT_FOUND, 831, 1},
        {true, nullptr, false, 0, 789, 0},
    };
    const Bytes message = SignedMessage({{TagExtension(TagBlob("tag"))}});
    for (const Case& c : cases) {
        SetUp();
        LoadRecord::loadFails = c.loadFails;
        LoadRecord::failingName = c.failingName;
        Found found = Find(c.signedImage ? PeImage(message, kAppendedChain) : kAppendedChain);
        EXPECT_EQ(found.code, c.code) << (c.failingName ? c.failingName : "load");
        EXPECT_EQ(found.line, c.line);
        EXPECT_TRUE(found.blobs.empty());
        EXPECT_EQ(LoadRecord::loads.size(), c.loads);
    }
}

}  // namespace
