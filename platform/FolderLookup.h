// Finding a child of a folder by name without regard to letter case.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class TEntryKind { File, Folder };

// Looks in `folder` for an entry of the given kind whose name equals `name` without regard to
// letter case and returns the name as it stands on disk. An exact-case match wins over other
// spellings. Symbolic links count as what they point to. A missing or unreadable folder finds
// nothing.
std::optional<std::string> FindChild(const std::string& folder, std::string_view name,
                                     TEntryKind kind);

// Compares two names without regard to ASCII letter case, as the system compares file names.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

} // namespace platform
