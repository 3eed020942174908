// Zip archives written by the tests themselves, for the package program where no zip library is
// at hand (the Windows build): stored and deflated entries through zlib.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct TTestZipEntry {
    std::string Name; // UTF-8, flagged as such (bit 11) when it is not plain ASCII
    std::string Content;
    bool Deflated = true;
    // Made on Unix with these permission bits; without them, made on DOS as a plain file.
    std::optional<unsigned> UnixMode = std::nullopt;
    std::time_t ModifiedAt = 1600000000; // in the extended timestamp field, UTC
};

// Where an entry's packed data lies within the archive.
struct TTestZipData {
    std::uint64_t Offset = 0;
    std::uint64_t Size = 0;
};

// Writes the archive and returns where each entry's packed data lies, in the entries' order.
// Throws std::runtime_error when the file cannot be written.
std::vector<TTestZipData> WriteTestZip(const std::filesystem::path& zip,
                                       const std::vector<TTestZipEntry>& entries);
