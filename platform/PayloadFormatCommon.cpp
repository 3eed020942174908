#include "platform/PayloadFormat.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "platform/FolderLookup.h"

namespace {

constexpr std::array<char, 8> kMagic{'Q', 'U', 'V', 'P', 'A', 'Y', 'L', 'D'};
// 2 added each entry's checksum.
constexpr std::uint32_t kVersion = 2;
constexpr std::size_t kFooterSize = 32;
// Far beyond any real directory; keeps a damaged trailer from asking for gigabytes.
constexpr std::uint64_t kMaxDirectorySize = 1u << 20;

std::uint64_t ReadLittle(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

void AppendLittle(std::string& out, std::uint64_t value, int count) {
    for (int i = 0; i < count; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// Reads the directory records between `begin` and `end`; false on any inconsistency.
bool ParseDirectory(const std::string& bytes, std::uint32_t count, TPayloadDirectory& directory,
                    std::uint64_t directoryOffset) {
    std::size_t position = 0;
    const auto take = [&](std::size_t size) -> const unsigned char* {
        if (bytes.size() - position < size) {
            return nullptr;
        }
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data() + position);
        position += size;
        return data;
    };
    for (std::uint32_t i = 0; i < count; ++i) {
        TPayloadEntry entry;
        for (std::string* text : {&entry.Type, &entry.Name}) {
            const unsigned char* length = take(2);
            if (length == nullptr) {
                return false;
            }
            const auto size = static_cast<std::size_t>(ReadLittle(length, 2));
            const unsigned char* data = take(size);
            if (data == nullptr) {
                return false;
            }
            text->assign(reinterpret_cast<const char*>(data), size);
        }
        const unsigned char* place = take(20);
        if (place == nullptr) {
            return false;
        }
        entry.Offset = ReadLittle(place, 8);
        entry.Size = ReadLittle(place + 8, 8);
        entry.Checksum = static_cast<std::uint32_t>(ReadLittle(place + 16, 4));
        if (entry.Offset < directory.Start || entry.Offset > directoryOffset ||
            entry.Size > directoryOffset - entry.Offset) {
            return false;
        }
        directory.Entries.push_back(std::move(entry));
    }
    return position == bytes.size();
}

std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < table.size(); ++i) {
        std::uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1) != 0 ? 0xEDB88320u ^ (value >> 1) : value >> 1;
        }
        table[i] = value;
    }
    return table;
}

} // namespace

std::uint32_t Crc32(std::string_view bytes, std::uint32_t crc) {
    static const auto table = MakeCrcTable();
    crc = ~crc;
    for (const char byte : bytes) {
        crc = table[(crc ^ static_cast<unsigned char>(byte)) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

std::optional<std::string> ReadPayloadEntry(const platform::TFile& file,
                                            const TPayloadEntry& entry) {
    std::string bytes(static_cast<std::size_t>(entry.Size), '\0');
    if (!file.ReadAt(entry.Offset, bytes.data(), bytes.size()) || Crc32(bytes) != entry.Checksum) {
        return std::nullopt;
    }
    return bytes;
}

const TPayloadEntry* TPayloadDirectory::Find(std::string_view type, std::string_view name) const {
    for (const auto& entry : Entries) {
        if (platform::SameNameIgnoringCase(entry.Type, type) &&
            platform::SameNameIgnoringCase(entry.Name, name)) {
            return &entry;
        }
    }
    return nullptr;
}

std::optional<TPayloadDirectory> ReadPayloadDirectory(const platform::TFile& file) {
    const auto size = file.Size();
    if (!size || *size < kFooterSize) {
        return std::nullopt;
    }
    std::array<unsigned char, kFooterSize> footer{};
    if (!file.ReadAt(*size - kFooterSize, footer.data(), footer.size()) ||
        !std::equal(kMagic.begin(), kMagic.end(), footer.begin() + 24) ||
        ReadLittle(footer.data() + 20, 4) != kVersion) {
        return std::nullopt;
    }
    TPayloadDirectory directory;
    directory.Start = ReadLittle(footer.data(), 8);
    const std::uint64_t directoryOffset = ReadLittle(footer.data() + 8, 8);
    const auto count = static_cast<std::uint32_t>(ReadLittle(footer.data() + 16, 4));
    const std::uint64_t directoryEnd = *size - kFooterSize;
    if (directory.Start > directoryOffset || directoryOffset > directoryEnd ||
        directoryEnd - directoryOffset > kMaxDirectorySize) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(directoryEnd - directoryOffset), '\0');
    if (!file.ReadAt(directoryOffset, bytes.data(), bytes.size()) ||
        !ParseDirectory(bytes, count, directory, directoryOffset)) {
        return std::nullopt;
    }
    return directory;
}

void WritePayload(const std::string& program, const std::vector<TPayloadItem>& items,
                  const std::string& output) {
    const auto fail = [](const std::string& text) { throw std::runtime_error(text); };
    const platform::TFile programFile = platform::TFile::OpenRead(program);
    const auto programSize = programFile.IsOpen() ? programFile.Size() : std::nullopt;
    if (!programSize) {
        fail("cannot read " + program);
    }
    const auto existing = ReadPayloadDirectory(programFile);
    const std::uint64_t start = existing ? existing->Start : *programSize;

    const std::string temporary = output + ".partial";
    platform::TFile out = platform::TFile::Create(temporary, true);
    if (!out.IsOpen()) {
        fail("cannot create " + temporary);
    }
    const auto failWriting = [&](const std::string& text) {
        out.Close();
        std::remove(temporary.c_str());
        fail(text);
    };
    if (!out.AppendFrom(programFile, 0, start)) {
        failWriting("cannot write " + temporary);
    }
    std::string directory;
    std::uint64_t offset = start;
    for (const auto& item : items) {
        if (item.Type.size() > 0xFFFF || item.Name.size() > 0xFFFF) {
            failWriting("entry name too long: " + item.Name);
        }
        const platform::TFile source = platform::TFile::OpenRead(item.SourceFile);
        const auto size = source.IsOpen() ? source.Size() : std::nullopt;
        if (!size) {
            failWriting("cannot read " + item.SourceFile);
        }
        // Read once, so the checksum is of the very bytes that were written.
        std::uint32_t checksum = 0;
        std::string piece;
        for (std::uint64_t done = 0; done < *size; done += piece.size()) {
            piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(*size - done, 1 << 20)));
            if (!source.ReadAt(done, piece.data(), piece.size())) {
                failWriting("cannot read " + item.SourceFile);
            }
            if (!out.Write(piece.data(), piece.size())) {
                failWriting("cannot write " + temporary);
            }
            checksum = Crc32(piece, checksum);
        }
        for (const std::string* text : {&item.Type, &item.Name}) {
            AppendLittle(directory, text->size(), 2);
            directory += *text;
        }
        AppendLittle(directory, offset, 8);
        AppendLittle(directory, *size, 8);
        AppendLittle(directory, checksum, 4);
        offset += *size;
    }
    std::string footer;
    AppendLittle(footer, start, 8);
    AppendLittle(footer, offset, 8);
    AppendLittle(footer, items.size(), 4);
    AppendLittle(footer, kVersion, 4);
    footer.append(kMagic.begin(), kMagic.end());
    if (!out.Write(directory.data(), directory.size()) ||
        !out.Write(footer.data(), footer.size()) || !out.Close()) {
        failWriting("cannot write " + temporary);
    }
    std::error_code error;
    std::filesystem::rename(temporary, output, error);
    if (error) {
        std::remove(temporary.c_str());
        fail("cannot replace " + output + ": " + error.message());
    }
}
