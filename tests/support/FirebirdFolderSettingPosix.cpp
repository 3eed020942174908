#include "tests/support/FirebirdFolderSetting.h"

#include <cstdlib>
#include <optional>

struct TFirebirdFolder::TPrevious {
    std::optional<std::string> Value;
};

TFirebirdFolder::TFirebirdFolder(const std::string& folder) : Previous_(new TPrevious) {
    if (const char* previous = std::getenv("FIREBIRD")) {
        Previous_->Value = previous;
    }
    setenv("FIREBIRD", folder.c_str(), 1);
}

TFirebirdFolder::~TFirebirdFolder() {
    Previous_->Value ? setenv("FIREBIRD", Previous_->Value->c_str(), 1) : unsetenv("FIREBIRD");
}
