#include "commands/pack_report.h"

#include <map>

#include "commands/json_text.h"

namespace {
std::string Sha256Hex(const Sha256Digest& digest) {
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < digest.size(); ++i) {
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
    const std::vector<WrittenEntry>& entries = *setup.entries;
    out << "\"entries\":[";
    for (size_t e = 0; e < entries.size(); ++e) {
        const WrittenEntry& entry = entries[e];
        out << (e ? "," : "") << "{\"type\":\"" << (entry.isManifest ? "manifest" : "payload") << "\",\"id\":" << entry.id
            << ",\"contentSize\":" << entry.contentSize << ",\"storedSize\":" << entry.storedSize
            << ",\"signatureSize\":" << entry.signatureSize << ",\"sha256\":\"" << Sha256Hex(entry.contentSha256)
            << "\"}";
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
