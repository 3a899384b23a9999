#include <cstring>

#include "container/blob_table.h"
#include "container/tag_lookup.h"
#include "core/status_lines.h"
#include "format/certificate_table.h"
#include "format/tag_extension.h"
#include "platform/platform.h"
#include "platform/win32_api.h"

namespace {
bool IsTagExtension(const CERT_EXTENSION& extension) {
    return !extension.fCritical && extension.pszObjId && std::strcmp(extension.pszObjId, kTagExtensionOid) == 0;
}

// Appends a blob for every tag extension of the certificate, in order, and
// stops at the first that cannot be added.
StatusValue AppendTagBlobsOf(BlobTable* table, PCCERT_CONTEXT certificate, StatusValue status) {
    const CERT_INFO* info = certificate->pCertInfo;
    for (DWORD j = 0; j < info->cExtension && StatusSucceeded(status); ++j) {
        const CERT_EXTENSION& extension = info->rgExtension[j];
        if (!IsTagExtension(extension)) continue;
        status = AppendBlobCopy(table, extension.Value.pbData, extension.Value.cbData, kLineNoMemoryForTagValue,
                                kLineTagBlobNotAppended);
    }
    return status;
}

StatusValue ReadCertificate(BlobTable* table, HCRYPTMSG message, DWORD index, StatusValue status) {
    DWORD encodedSize = 0;
    if (!g_win32.CryptMsgGetParam(message, CMSG_CERT_PARAM, index, nullptr, &encodedSize))
        return MakeStatus(PlatformLastError, kEInvalidArg, kLineCertificateSizeUnknown);
    uint8_t* encoded = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, encodedSize ? encodedSize : 1));
    if (!encoded) return MakeStatus(PlatformLastError, kErrorNotEnoughMemory, kLineNoMemoryForCertificate);

    PCCERT_CONTEXT certificate = nullptr;
    if (!g_win32.CryptMsgGetParam(message, CMSG_CERT_PARAM, index, encoded, &encodedSize)) {
        status = MakeStatus(PlatformLastError, kEInvalidArg, kLineCertificateNotRead);
    } else if (!(certificate = g_win32.CertCreateCertificateContext(X509_ASN_ENCODING, encoded, encodedSize))) {
        status = MakeStatus(PlatformLastError, kEInvalidArg, kLineCertificateNotDecoded);
    } else {
        status = AppendTagBlobsOf(table, certificate, status);
        g_win32.CertFreeCertificateContext(certificate);
    }
    PlatformFree(encoded);
    return status;
}

// The decoder disregards whatever follows the DER-encoded message, so the
// entry chain that a packer appends inside the certificate entry is harmless.
StatusValue ReadSignatureCertificates(BlobTable* table, HCRYPTMSG message, const uint8_t* data,
                                      uint32_t dataLength, StatusValue status) {
    if (!g_win32.CryptMsgUpdate(message, data, dataLength, TRUE))
        return MakeStatus(PlatformLastError, kEInvalidArg, kLineSignatureNotAccepted);
    DWORD count = 0;
    DWORD countSize = sizeof count;
    if (!g_win32.CryptMsgGetParam(message, CMSG_CERT_COUNT_PARAM, 0, &count, &countSize))
        return MakeStatus(PlatformLastError, kEInvalidArg, kLineCertificateCountUnknown);
    for (DWORD i = 0; i < count && StatusSucceeded(status); ++i) status = ReadCertificate(table, message, i, status);
    return status;
}

StatusValue ReadTagBlobs(void* context, const ByteSource& image, uint32_t dataOffset, uint32_t dataLength,
                         uint32_t* tagCount) {
    auto* table = static_cast<BlobTable*>(context);
    uint32_t countBefore = table->blobCount;
    StatusValue status = StatusOf(kErrorSuccess, kLineNothingFound);
    // Loaded only for a signed image, so an unsigned setup never needs it.
    // Should the system's own crypt32 fail to load, a tag the image may carry
    // cannot be read: a failure, not an image without tags.
    if (!LoadSignatureDecoder()) return MakeStatus(PlatformLastError, kEInvalidArg, kLineSignatureNotOpened);
    uint8_t* copy = nullptr;
    const uint8_t* data = image.memory ? image.memory + dataOffset : nullptr;
    if (!data) {
        copy = static_cast<uint8_t*>(PlatformAlloc(kMemFixed, dataLength ? dataLength : 1));
        if (!copy) return MakeStatus(PlatformLastError, kErrorNotEnoughMemory, kLineNoMemoryForSignatureData);
        if (!ReadSourceBytes(image, dataOffset, copy, dataLength)) {
            PlatformFree(copy);
            return StatusOf(kErrorReadFault, kLineOwnFileReadFailed);
        }
        data = copy;
    }
    HCRYPTMSG message = g_win32.CryptMsgOpenToDecode(PKCS_7_ASN_ENCODING, 0, 0, 0, nullptr, nullptr);
    if (message) {
        status = ReadSignatureCertificates(table, message, data, dataLength, status);
        g_win32.CryptMsgClose(message);
    } else {
        status = MakeStatus(PlatformLastError, kEInvalidArg, kLineSignatureNotOpened);
    }
    PlatformFree(copy);
    *tagCount = table->blobCount - countBefore;
    return status;
}
}  // namespace

TagReader SignatureTagReader(BlobTable* table) { return {ReadTagBlobs, table}; }

StatusValue FindTagBlobs(BlobTable* table, const ByteSource& image) {
    uint32_t dataOffset = 0;
    uint32_t dataLength = 0;
    if (!LocateCertificateData(image, &dataOffset, &dataLength)) return StatusOf(kErrorSuccess, kLineNothingFound);
    uint32_t tagCount = 0;
    return ReadTagBlobs(table, image, dataOffset, dataLength, &tagCount);
}
