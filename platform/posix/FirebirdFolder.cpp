#include "platform/FirebirdFolder.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace platform {

namespace {

std::vector<std::string> SubfolderNames(const std::string& folder) {
    std::vector<std::string> names;
    TFolderEnumeration entries(folder);
    while (const auto entry = entries.Next()) {
        if (FolderExists(JoinPath(folder, entry->Name))) {
            names.push_back(entry->Name);
        }
    }
    return names;
}

// Orders version names numerically part by part, so that "3.10" comes after "3.9".
bool VersionLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const unsigned long x = std::strtoul(a.c_str() + i, nullptr, 10);
        const unsigned long y = std::strtoul(b.c_str() + j, nullptr, 10);
        if (x != y) {
            return x < y;
        }
        i = a.find('.', i);
        j = b.find('.', j);
        if (i == std::string::npos || j == std::string::npos) {
            return i == std::string::npos && j != std::string::npos;
        }
        ++i;
        ++j;
    }
    return a < b;
}

} // namespace

TFirebirdFolderLookup LookUpFirebirdFolder() {
    using TOutcome = TFirebirdFolderLookup::TOutcome;
    if (const char* variable = std::getenv("FIREBIRD"); variable && FolderExists(variable)) {
        return {TOutcome::Found, variable};
    }
    if (FolderExists("/opt/firebird")) {
        return {TOutcome::Found, "/opt/firebird"};
    }
    for (const auto& arch : SubfolderNames("/usr/lib")) {
        if (arch.find("-linux-") == std::string::npos) {
            continue;
        }
        const std::string base = "/usr/lib/" + arch + "/firebird";
        auto versions = SubfolderNames(base);
        if (!versions.empty()) {
            std::sort(versions.begin(), versions.end(), VersionLess);
            return {TOutcome::Found, JoinPath(base, versions.back())};
        }
    }
    return {};
}

} // namespace platform
