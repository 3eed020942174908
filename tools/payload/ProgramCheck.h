// Checks that the payload packer makes before it attaches anything.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// True when the file starts like an ELF program or a Windows PE program (an "MZ" header whose
// e_lfanew points at the "PE\0\0" signature). Unreadable files are not programs.
bool IsProgramFile(const std::string& path);

// The offset of the first zero byte of the file; nothing when there is none. Throws
// std::runtime_error when the file cannot be read.
std::optional<std::uint64_t> FindZeroByte(const std::string& path);
