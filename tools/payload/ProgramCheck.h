// Checks that the payload packer makes before it attaches anything.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// True when the file starts like an ELF program or a Windows PE program (an "MZ" header whose
// e_lfanew points at the "PE\0\0" signature). Unreadable files are not programs.
bool IsProgramFile(const std::string& path);

// True when the file is a Windows PE program ("MZ" with "PE\0\0" at e_lfanew).
bool IsWindowsProgram(const std::string& path);

// The libraries a 64-bit little-endian ELF program names as needed (DT_NEEDED), read the way the
// loader finds them: through the PT_DYNAMIC segment and the string table it points at. Empty for
// a static program; nothing when the file is no such program or anything in it does not add up.
std::optional<std::vector<std::string>> ElfNeededLibraries(const std::string& path);

// True for the C library and the program loader, which every Linux computer has.
bool IsPartOfTheCLibrary(std::string_view library);

// The DLLs a Windows PE program (PE32 or PE32+) imports, in the order of its import directory,
// found the way the loader finds them: the directory's address mapped to the file through the
// section table. Delay-loaded DLLs are not listed. Empty when it imports nothing; nothing when
// the file is no such program or anything in it does not add up.
std::optional<std::vector<std::string>> PeImportedLibraries(const std::string& path);

// True for the DLLs that every Windows computer has (the kernel, the C run time of the system,
// the API sets), compared without regard to letter case.
bool IsSystemLibrary(std::string_view library);

// The offset of the first zero byte of the file; nothing when there is none. Throws
// std::runtime_error when the file cannot be read.
std::optional<std::uint64_t> FindZeroByte(const std::string& path);
