#include "format/entry_format.h"

void EntryGuidBytes(const EntryTypeGuid& guid, uint8_t out[16]) {
    WriteU32Le(out, guid.data1);
    out[4] = static_cast<uint8_t>(guid.data2);
    out[5] = static_cast<uint8_t>(guid.data2 >> 8);
    out[6] = static_cast<uint8_t>(guid.data3);
    out[7] = static_cast<uint8_t>(guid.data3 >> 8);
    std::memcpy(out + 8, guid.data4, 8);
}

EntryTrailer DecodeEntryTrailer(const uint8_t* at) {
    EntryTrailer trailer;
    std::memcpy(trailer.typeGuid, at, 16);
    trailer.id = ReadU32Le(at + 16);
    trailer.signatureLength = ReadU32Le(at + 20);
    trailer.dataLength = ReadU32Le(at + 24);
    return trailer;
}

void EncodeEntryTrailer(const EntryTrailer& trailer, uint8_t* at) {
    std::memcpy(at, trailer.typeGuid, 16);
    WriteU32Le(at + 16, trailer.id);
    WriteU32Le(at + 20, trailer.signatureLength);
    WriteU32Le(at + 24, trailer.dataLength);
}

bool TrailerHasType(const EntryTrailer& trailer, const EntryTypeGuid& guid) {
    uint8_t bytes[16];
    EntryGuidBytes(guid, bytes);
    return std::memcmp(trailer.typeGuid, bytes, 16) == 0;
}
