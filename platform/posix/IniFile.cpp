#include "platform/IniFile.h"

#include "platform/FolderLookup.h"

#include <ini.h>

namespace platform {

namespace {

struct TLookup {
    std::string_view Section;
    std::string_view Key;
    std::string Value;
    bool Found = false;
};

std::string_view Unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// inih hands every name and value over with surrounding blanks already stripped.
int OnEntry(void* user, const char* section, const char* name, const char* value) {
    auto* lookup = static_cast<TLookup*>(user);
    if (!lookup->Found && SameNameIgnoringCase(section, lookup->Section) &&
        SameNameIgnoringCase(name, lookup->Key)) {
        lookup->Value = Unquoted(value);
        lookup->Found = true;
    }
    return 1;
}

} // namespace

std::string ReadIniString(const std::string& fileName, std::string_view section,
                          std::string_view key, const std::string& defaultValue) {
    // Read as Windows' profile functions read: no continuation lines, no comment after a value,
    // and no limit on the line length (Debian's inih exposes these switches as globals; the
    // program reads its settings once, at start-up, on one thread).
    ini_allow_multiline = false;
    ini_allow_inline_comments = false;
    ini_use_stack = false;
    ini_allow_realloc = true;
    ini_max_line = 1 << 20;
    TLookup lookup{section, key, {}, false};
    // A parse error on some line (ini_parse returns its number) does not spoil the lines that
    // could be read, as with Windows' reader; only a file that cannot be opened (-1) counts as
    // missing.
    if (ini_parse(fileName.c_str(), OnEntry, &lookup) < 0 || !lookup.Found) {
        return defaultValue;
    }
    return lookup.Value;
}

} // namespace platform
