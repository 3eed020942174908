// Moving bytes between open files inside the kernel; shared by the POSIX file and folder
// implementations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace platform::posix {

// Writes all of `data`, retrying short writes; false on the first error (ENOSPC included).
bool WriteAll(int descriptor, const void* data, std::size_t size);

// Copies `size` bytes from `from` at `offset` to the current position of `to`. Tries
// copy_file_range (reflinks and server-side copies where the file system has them), then
// sendfile, then a buffered loop for file systems that refuse both.
bool CopyData(int from, off_t offset, int to, std::uint64_t size);

} // namespace platform::posix
