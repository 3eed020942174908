#include "tests/support/TestZip.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace {

void Put(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

std::string Deflate(const std::string& content) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string packed(deflateBound(&stream, static_cast<uLong>(content.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
    stream.avail_in = static_cast<uInt>(content.size());
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = static_cast<uInt>(packed.size());
    const int status = deflate(&stream, Z_FINISH);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END) {
        throw std::runtime_error("deflate failed");
    }
    return packed;
}

} // namespace

std::vector<TTestZipData> WriteTestZip(const std::filesystem::path& zip,
                                       const std::vector<TTestZipEntry>& entries) {
    std::string archive;
    std::string directory;
    std::vector<TTestZipData> places;
    for (const auto& entry : entries) {
        const std::string packed = entry.Deflated ? Deflate(entry.Content) : entry.Content;
        const auto crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(entry.Content.data()),
                  static_cast<uInt>(entry.Content.size())));
        const bool ascii = std::all_of(entry.Name.begin(), entry.Name.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        const std::tm* utc = std::gmtime(&entry.ModifiedAt);
        const auto dosTime =
            static_cast<std::uint32_t>(utc->tm_hour << 11 | utc->tm_min << 5 | utc->tm_sec / 2);
        const auto dosDate = static_cast<std::uint32_t>((utc->tm_year - 80) << 9 |
                                                        (utc->tm_mon + 1) << 5 | utc->tm_mday);
        std::string extra;
        Put(extra, 0x5455, 2);
        Put(extra, 5, 2);
        Put(extra, 1, 1); // the modification time is present
        Put(extra, static_cast<std::uint32_t>(entry.ModifiedAt), 4);

        // The fields that the local header and the central record share, from "version needed".
        std::string common;
        Put(common, 20, 2);
        Put(common, ascii ? 0 : 0x0800, 2);
        Put(common, entry.Deflated ? 8 : 0, 2);
        Put(common, dosTime, 2);
        Put(common, dosDate, 2);
        Put(common, crc, 4);
        Put(common, static_cast<std::uint32_t>(packed.size()), 4);
        Put(common, static_cast<std::uint32_t>(entry.Content.size()), 4);
        Put(common, static_cast<std::uint32_t>(entry.Name.size()), 2);
        Put(common, static_cast<std::uint32_t>(extra.size()), 2);

        const auto local = static_cast<std::uint32_t>(archive.size());
        Put(archive, 0x04034B50, 4);
        archive += common + entry.Name + extra;
        places.push_back({archive.size(), packed.size()});
        archive += packed;

        constexpr std::uint32_t kUnix = 3, kDos = 0, kDosArchive = 0x20, kPlain = 0100000;
        Put(directory, 0x02014B50, 4);
        Put(directory, (entry.UnixMode ? kUnix : kDos) << 8 | 20, 2);
        directory += common;
        Put(directory, 0, 2); // comment length
        Put(directory, 0, 2); // disk
        Put(directory, 0, 2); // internal attributes
        Put(directory, entry.UnixMode ? (kPlain | *entry.UnixMode) << 16 : kDosArchive, 4);
        Put(directory, local, 4);
        directory += entry.Name + extra;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(archive.size());
    archive += directory;
    Put(archive, 0x06054B50, 4);
    Put(archive, 0, 4); // this disk and the directory's disk
    Put(archive, static_cast<std::uint32_t>(entries.size()), 2);
    Put(archive, static_cast<std::uint32_t>(entries.size()), 2);
    Put(archive, static_cast<std::uint32_t>(directory.size()), 4);
    Put(archive, directoryOffset, 4);
    Put(archive, 0, 2); // comment length
    std::ofstream out(zip, std::ios::binary);
    if (!out.write(archive.data(), static_cast<std::streamsize>(archive.size())) || !out.flush()) {
        throw std::runtime_error("cannot write " + zip.string());
    }
    return places;
}
