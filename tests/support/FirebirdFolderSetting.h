// Points the program's lookup of the Firebird server's folder (platform/FirebirdFolder.h) at a
// folder of the test's, for the life of the object, and puts back what was there before.
// Linux: the environment variable FIREBIRD. Windows: the registry's DefaultInstance value of the
// Firebird server's key (written as text; the key is removed again when the object made it).
#pragma once

#include <memory>
#include <string>

class TFirebirdFolder {
public:
    explicit TFirebirdFolder(const std::string& folder);
    ~TFirebirdFolder();
    TFirebirdFolder(const TFirebirdFolder&) = delete;
    TFirebirdFolder& operator=(const TFirebirdFolder&) = delete;

private:
    struct TPrevious;
    std::unique_ptr<TPrevious> Previous_;
};
