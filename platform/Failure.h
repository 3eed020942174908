// The failure that carries one of the program's own texts. Every failure of the program is a
// std::exception whose what() is the exact text to show; callers read nothing else. It lives in
// the lowest layer so that every part of the core can raise it.
#pragma once

#include <stdexcept>
#include <string>

class EFailure : public std::runtime_error {
public:
    explicit EFailure(const std::string& message) : std::runtime_error(message) {}
};
