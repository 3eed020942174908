#include "tools/payload/ProgramCheck.h"

#include <array>
#include <fstream>
#include <stdexcept>
#include <vector>

bool IsProgramFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::array<unsigned char, 64> header{};
    if (!file.read(reinterpret_cast<char*>(header.data()), header.size())) {
        return false;
    }
    if (header[0] == 0x7F && header[1] == 'E' && header[2] == 'L' && header[3] == 'F') {
        return true;
    }
    if (header[0] != 'M' || header[1] != 'Z') {
        return false;
    }
    const std::uint32_t peOffset = header[0x3C] | (header[0x3D] << 8) | (header[0x3E] << 16) |
                                   (static_cast<std::uint32_t>(header[0x3F]) << 24);
    std::array<char, 4> signature{};
    file.seekg(peOffset);
    return static_cast<bool>(file.read(signature.data(), signature.size())) &&
           signature == std::array<char, 4>{'P', 'E', '\0', '\0'};
}

std::optional<std::uint64_t> FindZeroByte(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
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
