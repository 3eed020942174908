#include "tests/support/TempFolder.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>

TTempFolder::TTempFolder() {
    const std::filesystem::path base(UPDATER_TEST_SCRATCH);
    std::filesystem::create_directories(base);
    std::random_device random;
    for (;;) {
        auto candidate = base / ("t" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            Path_ = candidate;
            break;
        }
    }
}

TTempFolder::~TTempFolder() {
    std::error_code ignored;
    // Restore write permission first, so that read-only folders made by a test can go too.
    for (auto it = std::filesystem::recursive_directory_iterator(Path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(Path_, ignored);
}

namespace {

// Test paths are spelled in UTF-8, whatever the host's narrow code page.
std::filesystem::path FromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

} // namespace

std::filesystem::path TTempFolder::MakeFolder(const std::string& relative) const {
    const auto path = Path_ / FromUtf8(relative);
    std::filesystem::create_directories(path);
    return path;
}

std::filesystem::path TTempFolder::MakeFile(const std::string& relative,
                                            const std::string& content) const {
    const auto path = Path_ / FromUtf8(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

std::filesystem::path TTempFolder::MakeDeepFolder(std::size_t bytes,
                                                  const std::string& tail) const {
    static const std::string letters = "обновлениеКормант"; // 17 letters, 34 bytes
    std::size_t length = Path_.u8string().size() + 1 + tail.size();
    if (bytes < length + 2) {
        throw std::invalid_argument("a deep folder of " + std::to_string(bytes) +
                                    " bytes cannot hold its tail");
    }
    std::string relative;
    while (length < bytes) {
        // Each name costs its bytes and the delimiter before it; the last one takes what is left,
        // so no name is ever left empty.
        const std::size_t room = bytes - length;
        const std::size_t size = room <= 101 ? room - 1 : std::min<std::size_t>(100, room - 3);
        std::string name;
        while (name.size() + 2 <= size) {
            name += letters.substr((name.size() % letters.size()), 2);
        }
        if (name.size() < size) {
            name += 'x';
        }
        relative += (relative.empty() ? "" : "/") + name;
        length += 1 + size;
    }
    return MakeFolder(relative);
}
