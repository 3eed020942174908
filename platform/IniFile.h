// Reading one value of an initialisation (.ini) file, as the program's settings file is read.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The value of `key` in `[section]` of the file `fileName`, or `defaultValue` when the file, the
// section or the key is missing or the file cannot be read. Section and key names compare without
// regard to ASCII letter case; the first matching key wins. Blanks around the value are dropped,
// and so is one pair of matching quotes around it, as Windows' profile functions do.
std::string ReadIniString(const std::string& fileName, std::string_view section,
                          std::string_view key, const std::string& defaultValue);

// The settings file that belongs to an executable: its path with the extension replaced by
// ".ini", or with ".ini" appended when the file name has no extension.
std::string SettingsFileFor(std::string_view executablePath);

} // namespace platform
