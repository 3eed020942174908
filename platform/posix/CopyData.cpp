#include "platform/posix/CopyData.h"

#include <algorithm>
#include <cerrno>
#include <sys/sendfile.h>
#include <unistd.h>
#include <vector>

namespace platform::posix {

namespace {

// The kernel calls take at most about 2 GiB per call.
constexpr std::uint64_t kChunk = 1u << 30;

bool Unsupported(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
           error == EBADF;
}

} // namespace

bool WriteAll(int descriptor, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(descriptor, bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool CopyData(int from, off_t offset, int to, std::uint64_t size) {
    bool tryRange = true;
    bool trySendfile = true;
    while (size > 0) {
        const auto chunk = static_cast<std::size_t>(std::min(size, kChunk));
        ssize_t copied = -1;
        if (tryRange) {
            copied = copy_file_range(from, &offset, to, nullptr, chunk, 0);
            if (copied < 0 && Unsupported(errno)) {
                tryRange = false;
                continue;
            }
        } else if (trySendfile) {
            copied = sendfile(to, from, &offset, chunk);
            if (copied < 0 && Unsupported(errno)) {
                trySendfile = false;
                continue;
            }
        } else {
            std::vector<char> buffer(std::min<std::size_t>(chunk, 1u << 20));
            copied = pread(from, buffer.data(), buffer.size(), offset);
            if (copied > 0) {
                if (!WriteAll(to, buffer.data(), static_cast<std::size_t>(copied))) {
                    return false;
                }
                offset += copied;
            }
        }
        if (copied < 0 && errno == EINTR) {
            continue;
        }
        if (copied <= 0) {
            // An error, or the source ended before `size` bytes: a short copy is a failure.
            return false;
        }
        size -= static_cast<std::uint64_t>(copied);
    }
    return true;
}

} // namespace platform::posix
