// The registered parts of KilledChild.h, for its two implementations.
#pragma once

#include <map>
#include <string>

#include "tests/support/KilledChild.h"

inline std::map<std::string, TChildPart>& ChildParts() {
    static std::map<std::string, TChildPart> parts;
    return parts;
}
