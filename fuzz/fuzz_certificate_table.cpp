// The PE32+ and certificate-table header tests over an image made of the
// input: whatever the headers claim, the certificate data handed on must lie
// inside the image, and a chain end in front of the certificate table is
// named only for a table that closes the file, from the headers alone.
#include <cstdint>
#include <cstring>

#include "exact_copy.h"
#include "format/certificate_table.h"
#include "fuzz_check.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    uint8_t* image = ExactCopy(data, size);
    if (!image) return 0;

    const uint8_t* certificateData = nullptr;
    uint32_t certificateLength = 0;
    if (FindCertificateData(image, static_cast<uint32_t>(size), &certificateData, &certificateLength)) {
        FUZZ_CHECK(certificateData >= image + 8 && certificateData <= image + size);
        FUZZ_CHECK(certificateLength <= static_cast<size_t>(image + size - certificateData));
        // The decoder is handed exactly these bytes; touch them all.
        volatile uint8_t sum = 0;
        for (uint32_t i = 0; i < certificateLength; ++i) sum = static_cast<uint8_t>(sum + certificateData[i]);
    }

    // The file's first bytes stand in for its headers, as a reader that
    // streams the file has them; the end found must not depend on the rest.
    uint32_t fileSize = static_cast<uint32_t>(size);
    uint32_t headerSize = fileSize < 4096 ? fileSize : 4096;
    uint32_t chainEnd = 0;
    PeHeaders headers;
    if (FindChainEndBeforeCertificateTable(image, headerSize, fileSize, &chainEnd)) {
        FUZZ_CHECK(FindPeHeaders(image, headerSize, &headers));
        FUZZ_CHECK(chainEnd == headers.certificateTableOffset);
        FUZZ_CHECK(headers.certificateTableSize >= 8);
        FUZZ_CHECK(uint64_t{chainEnd} + headers.certificateTableSize == fileSize);
        uint32_t fromWholeImage = 0;
        FUZZ_CHECK(FindChainEndBeforeCertificateTable(image, fileSize, fileSize, &fromWholeImage));
        FUZZ_CHECK(fromWholeImage == chainEnd);
    }
    PlatformFree(image);
    return 0;
}
