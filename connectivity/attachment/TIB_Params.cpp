#include "connectivity/attachment/TIB_Params.h"

#include "platform/FolderLookup.h"

#include <algorithm>

namespace {

bool HasName(const std::string& line, std::string_view name) {
    const std::size_t equals = line.find('=');
    return equals != std::string::npos &&
           platform::SameNameIgnoringCase(std::string_view(line).substr(0, equals), name);
}

} // namespace

std::vector<std::string>::iterator TIB_Params::Find(std::string_view name) {
    return std::find_if(Lines_.begin(), Lines_.end(),
                        [&](const std::string& line) { return HasName(line, name); });
}

std::vector<std::string>::const_iterator TIB_Params::Find(std::string_view name) const {
    return std::find_if(Lines_.begin(), Lines_.end(),
                        [&](const std::string& line) { return HasName(line, name); });
}

std::string TIB_Params::Get(std::string_view name) const {
    const auto line = Find(name);
    return line == Lines_.end() ? std::string() : line->substr(line->find('=') + 1);
}

void TIB_Params::Set(std::string_view name, const std::string& value) {
    const auto line = Find(name);
    if (value.empty()) {
        if (line != Lines_.end()) {
            Lines_.erase(line);
        }
    } else if (line != Lines_.end()) {
        *line = line->substr(0, line->find('=') + 1) + value;
    } else {
        Lines_.push_back(std::string(name) + "=" + value);
    }
}
