// Blank trimming as the attachment layer does it: every character up to the space counts as
// blank at either end.
#pragma once

#include <string>
#include <string_view>

inline std::string Trimmed(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') {
        --end;
    }
    return std::string(text.substr(begin, end - begin));
}
