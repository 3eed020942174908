// The check that every database operation of the program makes first: the client library, the
// database string, the user name and the password must not be blank.
#pragma once

#include <string>

// Fails (EFailure) with the text of the first of the four values that is empty once leading and
// trailing blanks and control characters are removed. The trim is for the test only: callers go
// on with the values exactly as given.
void CheckAdminParams(const std::string& clientLibrary, const std::string& databaseString,
                      const std::string& userName, const std::string& password);
