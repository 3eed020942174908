// The payload attached to the end of a program file: named entries of a type, found without
// regard to letter case. The program runs unchanged, since the system loads only its own image;
// see docs/payload.md for the byte layout.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/File.h"

struct TPayloadEntry {
    std::string Type;
    std::string Name;
    std::uint64_t Offset = 0; // from the start of the file
    std::uint64_t Size = 0;
    std::uint32_t Checksum = 0; // CRC-32 of the entry's bytes
};

struct TPayloadDirectory {
    // Where the program's own bytes end and the payload begins.
    std::uint64_t Start = 0;
    std::vector<TPayloadEntry> Entries;

    // The entry of this type and name, both compared without regard to ASCII letter case.
    const TPayloadEntry* Find(std::string_view type, std::string_view name) const;
};

// The directory of the payload attached to `file`; nothing when the file carries none or its
// trailer is damaged (an entry reaching outside the payload counts as damage).
std::optional<TPayloadDirectory> ReadPayloadDirectory(const platform::TFile& file);

// The entry's bytes, read and checked against the entry's checksum; nothing when they cannot be
// read or differ from what was attached, so damaged bytes are never used.
std::optional<std::string> ReadPayloadEntry(const platform::TFile& file,
                                            const TPayloadEntry& entry);

// CRC-32 (the polynomial of zip and PNG), continued from `crc` for data read in pieces.
std::uint32_t Crc32(std::string_view bytes, std::uint32_t crc = 0);

struct TPayloadItem {
    std::string Type;
    std::string Name;
    std::string SourceFile; // the entry's bytes
};

// Writes `program` with `items` attached as `output` (which may be `program` itself): a payload
// that `program` already carries is replaced, not stacked. The file is written under a
// temporary name beside `output` and renamed over it, with the run permission.
// Throws std::runtime_error with an English text naming the file that failed.
void WritePayload(const std::string& program, const std::vector<TPayloadItem>& items,
                  const std::string& output);
