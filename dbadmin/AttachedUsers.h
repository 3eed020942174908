// Who else is attached to the database: the names of every attachment but the program's own.
#pragma once

#include <string>
#include <vector>

// Checks the parameters (CheckAdminParams), points the attachment layer at `clientLibrary`
// (ResetClientLibrary), attaches a TDBConnection, points the service layer's binding at the same
// library and asks the server for the user names of every attachment with one information
// request on that attachment. `list` is then replaced by the names in the server's order, less
// the first entry equal to `userName` without regard to letter case (whole entries, nothing
// trimmed): that is the program's own attachment, and a second attachment of the same user stays.
// Both objects are released on every exit; a failure before the request's answer leaves `list`
// as it was.
void ReadAttachedUsers(const std::string& clientLibrary, const std::string& databaseString,
                       const std::string& userName, const std::string& password,
                       const std::string& role, std::vector<std::string>& list);

// Removes the first entry of `list` that equals `userName` without regard to letter case, if
// there is one. ASCII letters, and Cyrillic letters written in UTF-8 (the program's own
// encoding), fold to their small forms; every other byte compares as it is; nothing is trimmed.
void RemoveOwnEntry(std::vector<std::string>& list, const std::string& userName);
