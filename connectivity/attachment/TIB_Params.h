// The parameter list of a connection: ordered "NAME=value" lines, names compared without regard
// to letter case, values kept exactly as written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TIB_Params {
public:
    // The value of the first line named `name`; empty when there is none.
    std::string Get(std::string_view name) const;
    // A non-empty value replaces the value of the name's line, or appends a line; an empty value
    // removes the line.
    void Set(std::string_view name, const std::string& value);

    const std::vector<std::string>& Lines() const { return Lines_; }

private:
    std::vector<std::string>::iterator Find(std::string_view name);
    std::vector<std::string>::const_iterator Find(std::string_view name) const;

    std::vector<std::string> Lines_;
};
