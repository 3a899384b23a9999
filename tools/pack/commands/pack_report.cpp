#include "commands/pack_report.h"

#include <openssl/evp.h>

#include <map>

#include "chain/entry_chain.h"
#include "commands/json_text.h"
#include "files/pack_error.h"

namespace {
std::string Sha256Hex(const Bytes& content) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(content.data(), content.size(), digest, &length, EVP_sha256(), nullptr) != 1)
        throw PackError("OpenSSL could not compute a SHA-256 digest");
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

void WriteLines(const PackedSetup& setup, std::ostream& out) {
    std::map<uint32_t, std::string> sourceById;
    for (const PlannedPayload& payload : setup.plan->payloads) sourceById[payload.id] = payload.path;
    out << "\"lines\":[";
    for (size_t r = 0; r < setup.plan->records.size(); ++r) {
        const ManifestRecord& record = setup.plan->records[r];
        out << (r ? "," : "") << "{" << RecordJsonMembers(record) << ",\"source\":" << JsonString(sourceById[record.id])
            << "}";
    }
    out << "]";
}

void WriteEntries(const PackedSetup& setup, std::ostream& out) {
    std::map<uint32_t, const Bytes*> contentById;
    for (size_t i = 0; i < setup.plan->payloads.size(); ++i)
        contentById[setup.plan->payloads[i].id] = &(*setup.contents)[i];
    ChainWalk walk = WalkEntryChain(setup.chain->data(), setup.chain->size());
    out << "\"entries\":[";
    for (size_t e = 0; e < walk.entries.size(); ++e) {
        const ChainEntry& entry = walk.entries[e];
        const Bytes& content = entry.isManifest ? *setup.manifest : *contentById.at(entry.id);
        out << (e ? "," : "") << "{\"type\":\"" << (entry.isManifest ? "manifest" : "payload") << "\",\"id\":" << entry.id
            << ",\"contentSize\":" << content.size() << ",\"storedSize\":" << entry.dataLength
            << ",\"signatureSize\":" << entry.signatureLength << ",\"sha256\":\"" << Sha256Hex(content) << "\"}";
    }
    out << "]";
}
}  // namespace

void WritePackJson(const PackedSetup& setup, std::ostream& out) {
    out << "{\"setup\":" << JsonString(setup.path) << ",\"size\":" << setup.size
        << ",\"placement\":" << JsonString(setup.placement) << ",";
    WriteLines(setup, out);
    out << ",";
    WriteEntries(setup, out);
    out << "}\n";
}
