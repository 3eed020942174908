#include "tools/payload/ProgramCheck.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace {

std::uint64_t Little(const std::string& bytes, std::uint64_t offset, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    }
    return value;
}

// The path (UTF-8) as the stream opens it: the wide form on Windows, where a narrow name would
// be read in the ANSI code page.
std::filesystem::path Utf8Path(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::optional<std::string> ReadWhole(const std::string& path) {
    std::ifstream file(Utf8Path(path), std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// Whether [offset, offset + length) lies inside the file's bytes, without overflowing.
bool Inside(const std::string& bytes, std::uint64_t offset, std::uint64_t length) {
    return offset <= bytes.size() && length <= bytes.size() - offset;
}

bool StartsAsElf(const std::array<unsigned char, 64>& header) {
    return header[0] == 0x7F && header[1] == 'E' && header[2] == 'L' && header[3] == 'F';
}

std::optional<std::array<unsigned char, 64>> ReadHeader(std::ifstream& file) {
    std::array<unsigned char, 64> header{};
    if (!file.read(reinterpret_cast<char*>(header.data()), header.size())) {
        return std::nullopt;
    }
    return header;
}

} // namespace

bool IsProgramFile(const std::string& path) {
    std::ifstream file(Utf8Path(path), std::ios::binary);
    const auto header = ReadHeader(file);
    return header && (StartsAsElf(*header) || IsWindowsProgram(path));
}

bool IsWindowsProgram(const std::string& path) {
    std::ifstream file(Utf8Path(path), std::ios::binary);
    const auto header = ReadHeader(file);
    if (!header || (*header)[0] != 'M' || (*header)[1] != 'Z') {
        return false;
    }
    const std::uint32_t peOffset = (*header)[0x3C] | ((*header)[0x3D] << 8) |
                                   ((*header)[0x3E] << 16) |
                                   (static_cast<std::uint32_t>((*header)[0x3F]) << 24);
    std::array<char, 4> signature{};
    file.seekg(peOffset);
    return static_cast<bool>(file.read(signature.data(), signature.size())) &&
           signature == std::array<char, 4>{'P', 'E', '\0', '\0'};
}

std::optional<std::vector<std::string>> ElfNeededLibraries(const std::string& path) {
    const auto read = ReadWhole(path);
    if (!read) {
        return std::nullopt;
    }
    const std::string& bytes = *read;
    constexpr int kElfClass64 = 2, kLittleEndian = 1;
    if (!Inside(bytes, 0, 64) || bytes.compare(0, 4, "\177ELF") != 0 || bytes[4] != kElfClass64 ||
        bytes[5] != kLittleEndian) {
        return std::nullopt;
    }
    const std::uint64_t headersAt = Little(bytes, 0x20, 8);
    const std::uint64_t headerSize = Little(bytes, 0x36, 2);
    const std::uint64_t headerCount = Little(bytes, 0x38, 2);
    if (headerSize < 56 || !Inside(bytes, headersAt, headerSize * headerCount)) {
        return std::nullopt;
    }
    constexpr std::uint64_t kLoad = 1, kDynamic = 2;
    struct TSegment {
        std::uint64_t Offset, Address, FileSize;
    };
    std::vector<TSegment> loads;
    std::optional<TSegment> dynamic;
    for (std::uint64_t i = 0; i < headerCount; ++i) {
        const std::uint64_t at = headersAt + i * headerSize;
        const TSegment segment{Little(bytes, at + 8, 8), Little(bytes, at + 16, 8),
                               Little(bytes, at + 32, 8)};
        if (!Inside(bytes, segment.Offset, segment.FileSize)) {
            return std::nullopt;
        }
        const std::uint64_t type = Little(bytes, at, 4);
        if (type == kLoad) {
            loads.push_back(segment);
        } else if (type == kDynamic) {
            dynamic = segment;
        }
    }
    std::vector<std::string> needed;
    if (!dynamic) {
        return needed;
    }
    constexpr std::uint64_t kNull = 0, kNeeded = 1, kStringTable = 5, kStringTableSize = 10;
    std::vector<std::uint64_t> names;
    std::optional<std::uint64_t> tableAddress, tableSize;
    for (std::uint64_t at = dynamic->Offset; at + 16 <= dynamic->Offset + dynamic->FileSize;
         at += 16) {
        const std::uint64_t tag = Little(bytes, at, 8);
        const std::uint64_t value = Little(bytes, at + 8, 8);
        if (tag == kNull) {
            break;
        }
        if (tag == kNeeded) {
            names.push_back(value);
        } else if (tag == kStringTable) {
            tableAddress = value;
        } else if (tag == kStringTableSize) {
            tableSize = value;
        }
    }
    if (names.empty()) {
        return needed;
    }
    if (!tableAddress || !tableSize) {
        return std::nullopt;
    }
    // The string table is named by its address in memory; the load segment holding it says
    // where that is in the file.
    std::optional<std::uint64_t> tableOffset;
    for (const auto& load : loads) {
        if (*tableAddress >= load.Address && *tableAddress - load.Address < load.FileSize &&
            *tableSize <= load.FileSize - (*tableAddress - load.Address)) {
            tableOffset = load.Offset + (*tableAddress - load.Address);
        }
    }
    if (!tableOffset) {
        return std::nullopt;
    }
    const std::string_view table(bytes.data() + *tableOffset, *tableSize);
    for (const std::uint64_t name : names) {
        const auto end = name < table.size() ? table.find('\0', name) : std::string_view::npos;
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        needed.emplace_back(table.substr(name, end - name));
    }
    return needed;
}

bool IsPartOfTheCLibrary(std::string_view library) {
    return library == "libc.so.6" ||
           (library.starts_with("ld-linux") && library.find(".so") != std::string_view::npos);
}

std::optional<std::vector<std::string>> PeImportedLibraries(const std::string& path) {
    const auto read = ReadWhole(path);
    if (!read) {
        return std::nullopt;
    }
    const std::string& bytes = *read;
    if (!Inside(bytes, 0, 64) || bytes.compare(0, 2, "MZ") != 0) {
        return std::nullopt;
    }
    // The COFF header follows the signature; the optional header follows that.
    const std::uint64_t pe = Little(bytes, 0x3C, 4);
    constexpr std::uint64_t kCoffSize = 20, kSectionSize = 40;
    if (!Inside(bytes, pe, 4 + kCoffSize) || bytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
        return std::nullopt;
    }
    const std::uint64_t sectionCount = Little(bytes, pe + 6, 2);
    const std::uint64_t optionalSize = Little(bytes, pe + 20, 2);
    const std::uint64_t optional = pe + 4 + kCoffSize;
    if (!Inside(bytes, optional, optionalSize) || optionalSize < 2) {
        return std::nullopt;
    }
    // PE32 and PE32+ differ in where the data directories start (ImageBase and the stack and
    // heap sizes are 8 bytes wide in PE32+).
    constexpr std::uint64_t kPe32 = 0x10B, kPe32Plus = 0x20B, kImportDirectory = 1;
    const std::uint64_t magic = Little(bytes, optional, 2);
    if (magic != kPe32 && magic != kPe32Plus) {
        return std::nullopt;
    }
    const std::uint64_t directories = magic == kPe32 ? 96 : 112;
    if (optionalSize < directories ||
        Little(bytes, optional + directories - 4, 4) <= kImportDirectory ||
        optionalSize < directories + 8 * (kImportDirectory + 1)) {
        return std::nullopt;
    }
    const std::uint64_t importAddress = Little(bytes, optional + directories + 8, 4);
    std::vector<std::string> imported;
    if (importAddress == 0) {
        return imported;
    }
    const std::uint64_t sections = optional + optionalSize;
    if (!Inside(bytes, sections, sectionCount * kSectionSize)) {
        return std::nullopt;
    }
    // A relative virtual address as a file offset, with how many bytes of the section's file
    // data follow it.
    struct TPlace {
        std::uint64_t Offset, Left;
    };
    const auto place = [&](std::uint64_t address) -> std::optional<TPlace> {
        for (std::uint64_t i = 0; i < sectionCount; ++i) {
            const std::uint64_t at = sections + i * kSectionSize;
            const std::uint64_t start = Little(bytes, at + 12, 4);
            const std::uint64_t rawSize = Little(bytes, at + 16, 4);
            const std::uint64_t rawOffset = Little(bytes, at + 20, 4);
            if (address >= start && address - start < rawSize &&
                Inside(bytes, rawOffset, rawSize)) {
                return TPlace{rawOffset + (address - start), rawSize - (address - start)};
            }
        }
        return std::nullopt;
    };
    const auto table = place(importAddress);
    if (!table) {
        return std::nullopt;
    }
    // One 20-byte descriptor per DLL, the name's address at 12; an all-zero one ends the table.
    constexpr std::uint64_t kDescriptorSize = 20;
    for (std::uint64_t at = 0;; at += kDescriptorSize) {
        if (table->Left - std::min(at, table->Left) < kDescriptorSize) {
            return std::nullopt;
        }
        const std::string_view descriptor(bytes.data() + table->Offset + at, kDescriptorSize);
        if (std::all_of(descriptor.begin(), descriptor.end(), [](char c) { return c == 0; })) {
            return imported;
        }
        const auto name = place(Little(bytes, table->Offset + at + 12, 4));
        if (!name) {
            return std::nullopt;
        }
        const std::string_view text(bytes.data() + name->Offset, name->Left);
        const auto end = text.find('\0');
        if (end == std::string_view::npos || end == 0) {
            return std::nullopt;
        }
        imported.emplace_back(text.substr(0, end));
    }
}

bool IsSystemLibrary(std::string_view library) {
    std::string lower(library);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    // The C run time comes with the system as msvcrt.dll and, since Windows 10, as the universal
    // one (ucrtbase.dll and its api-ms-win-crt-* sets).
    static constexpr std::string_view kSystem[] = {
        "kernel32.dll", "kernelbase.dll", "ntdll.dll",    "msvcrt.dll",  "ucrtbase.dll",
        "user32.dll",   "gdi32.dll",      "advapi32.dll", "shell32.dll", "ole32.dll",
        "oleaut32.dll", "ws2_32.dll",     "comctl32.dll", "comdlg32.dll"};
    return lower.starts_with("api-ms-win-") ||
           std::find(std::begin(kSystem), std::end(kSystem), lower) != std::end(kSystem);
}

std::optional<std::uint64_t> FindZeroByte(const std::string& path) {
    std::ifstream file(Utf8Path(path), std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    std::vector<char> buffer(1 << 20);
    std::uint64_t offset = 0;
    while (file) {
        file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(file.gcount());
        for (std::size_t i = 0; i < got; ++i) {
            if (buffer[i] == '\0') {
                return offset + i;
            }
        }
        offset += got;
    }
    if (!file.eof()) {
        throw std::runtime_error("cannot read " + path);
    }
    return std::nullopt;
}
