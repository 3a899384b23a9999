// The manifest: a run of records, each a u32 id, a u32 byte length and a
// UTF-16LE text. A package line is "platform\languages\product code\product
// name"; a cabinet line is "cab\owner ids\file name".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/byte_files.h"

struct ManifestRecord {
    uint32_t id;
    std::string text;  // UTF-8
};

// The launcher splits lines at backslashes in their UTF-16 form, then converts
// each field to the ANSI code page into 256 bytes, so a field holds 1 to 255
// bytes in that code page, every character converted exactly, and no
// backslash. Every character takes at least one byte.
constexpr size_t kMaxFieldBytes = 255;
constexpr size_t kMaxFieldCharacters = kMaxFieldBytes;

// Throws PackError naming `field` and `source` when the value cannot stand in
// a manifest line, also on a system set to one of `languages` (a ';'-separated
// list of language ids): there it must convert exactly to that language's
// ANSI code page within 255 bytes.
void CheckManifestField(const std::string& value, const std::string& field, const std::string& source,
                        const std::string& languages = "");
// A cabinet is written under this name beside "main.msi": a plain file name
// (format/manifest_names.h, the launcher's own test).
void CheckCabinetFileName(const std::string& name, const std::string& source, const std::string& languages = "");
// Two cabinets of one package must not differ in case alone: on Windows they
// would be one file, and one cabinet would overwrite the other.
void CheckCabinetNamesDistinct(const std::vector<std::string>& paths, const std::string& source);

std::string PackageLineText(const std::string& platform, const std::string& languages, const std::string& productCode,
                            const std::string& productName);
std::string CabinetLineText(const std::vector<uint32_t>& owners, const std::string& fileName);

Bytes EncodeManifest(const std::vector<ManifestRecord>& records);

struct DecodedManifest {
    std::vector<ManifestRecord> records;
    bool complete;  // false when a malformed record ended the walk, as it ends the launcher's
};
DecodedManifest DecodeManifest(const uint8_t* data, size_t size);

// The first `wanted` fields of a line as the launcher reads them: fields of
// one or more characters between single backslashes, up to the first empty
// one. Fewer come back when the line has fewer.
std::vector<std::string> LineFields(const std::string& text, int wanted);

// The numbers of a ';'-separated owner list, as the launcher reads them;
// elements that are no number are left out.
std::vector<uint32_t> OwnerIds(const std::string& field);
