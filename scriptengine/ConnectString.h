// The connect string that the updater hands to the engine's Connect, split into its values.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace scriptengine {

// The values of a connect string, verbatim (bytes as given, nothing trimmed or unescaped).
struct TConnectParams {
    std::string DatabaseName;
    std::string Password;
    std::string UserName;
    // Empty: no character set is sent with the attach.
    std::string CharacterSet;
    // Empty: no role is sent with the attach.
    std::string RoleName;
    int SqlDialect = 3;
    std::string ClientLibrary;
};

// Splits "db_name=<db>; password=<pw>; user_name=<u>; lc_ctype=<cs>; sql_role_name=<role>;
// sql_dialect=<n>; clientlib=\"<lib>\"", the keys in exactly that order. No value is escaped, so
// a separator is recognised by the key that must follow it: the database name ends at the first
// "; password=", and the values after the password are found from the end of the text (each one
// ends where the separator of the next key begins, the client library is the quoted rest). The
// password, the one value an operator types freely, is what lies between and may hold any bytes
// at all. The dialect must be 1, 2 or 3. Nothing and a one-line English reason in `error` when the
// text does not have that form.
std::optional<TConnectParams> ParseConnectString(std::string_view text, std::string* error);

} // namespace scriptengine
