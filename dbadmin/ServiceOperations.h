// The service-manager requests of an update: a forced shutdown before the database is changed
// (single-user mode in the operator's texts), bringing it online afterwards, and the database's
// write mode around the script.
#pragma once

#include <string>

// All take the client library name, the database string ("server/port:path", or a bare local
// path), the user name and the password, check them with CheckAdminParams, and use them exactly
// as given afterwards (a password's blanks are sent). Every failure is raised with its text
// unchanged: the parameter check's, the binding's client texts, or the server's.

// Asks for a forced shutdown with a time-out of 1 second, then blocks the calling thread for
// 2,000 ms; a refused request returns at once.
void SetSingleUserMode(const std::string& clientLibrary, const std::string& databaseString,
                       const std::string& userName, const std::string& password);

// Asks for the database to be brought online, with no pause.
void SetMultiUserMode(const std::string& clientLibrary, const std::string& databaseString,
                      const std::string& userName, const std::string& password);

// Asks for forced (synchronous) writes on, or off (asynchronous writes), with no pause.
void SetForcedWrites(const std::string& clientLibrary, const std::string& databaseString,
                     const std::string& userName, const std::string& password, bool forced);
