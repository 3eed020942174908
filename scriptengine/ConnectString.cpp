#include "scriptengine/ConnectString.h"

#include <array>

namespace scriptengine {

namespace {

constexpr std::string_view Separator = "; ";

std::optional<TConnectParams> Refuse(std::string* error, std::string reason) {
    if (error != nullptr) {
        *error = "Malformed connect string: " + std::move(reason);
    }
    return std::nullopt;
}

} // namespace

std::optional<TConnectParams> ParseConnectString(std::string_view text, std::string* error) {
    constexpr std::string_view firstKey = "db_name=";
    constexpr std::string_view passwordKey = "password=";
    if (text.substr(0, firstKey.size()) != firstKey) {
        return Refuse(error, "it does not begin with \"db_name=\"");
    }

    // The values after the password, from the last to the first: each is found by the last
    // occurrence of its own separator in what is left, so that the password in front of them may
    // hold any of these separators itself.
    constexpr std::string_view clientLibKey = "clientlib=\"";
    const std::size_t clientLibAt = text.rfind(std::string(Separator) + std::string(clientLibKey));
    if (clientLibAt == std::string_view::npos || text.size() < 1 || text.back() != '"' ||
        clientLibAt + Separator.size() + clientLibKey.size() > text.size() - 1) {
        return Refuse(error, "it does not end with clientlib=\"<library>\"");
    }
    TConnectParams params;
    params.ClientLibrary = std::string(
        text.substr(clientLibAt + Separator.size() + clientLibKey.size(),
                    text.size() - 1 - clientLibAt - Separator.size() - clientLibKey.size()));

    struct TTailKey {
        std::string_view Key;
        std::string TConnectParams::*Value;
    };
    std::string dialect;
    const std::array<TTailKey, 4> tailKeys{{
        {"sql_dialect=", nullptr},
        {"sql_role_name=", &TConnectParams::RoleName},
        {"lc_ctype=", &TConnectParams::CharacterSet},
        {"user_name=", &TConnectParams::UserName},
    }};
    std::size_t end = clientLibAt;
    for (const TTailKey& tail : tailKeys) {
        const std::string separator = std::string(Separator) + std::string(tail.Key);
        const std::size_t at = text.substr(0, end).rfind(separator);
        if (at == std::string_view::npos) {
            return Refuse(error, "\"" + std::string(tail.Key) + "\" is missing or out of order");
        }
        std::string value(text.substr(at + separator.size(), end - at - separator.size()));
        (tail.Value != nullptr ? params.*tail.Value : dialect) = std::move(value);
        end = at;
    }

    const std::string passwordSeparator = std::string(Separator) + std::string(passwordKey);
    const std::size_t passwordAt = text.substr(0, end).find(passwordSeparator);
    if (passwordAt == std::string_view::npos) {
        return Refuse(error, "\"password=\" is missing or out of order");
    }
    params.DatabaseName = std::string(text.substr(firstKey.size(), passwordAt - firstKey.size()));
    const std::size_t passwordBegin = passwordAt + passwordSeparator.size();
    params.Password = std::string(text.substr(passwordBegin, end - passwordBegin));

    if (dialect != "1" && dialect != "2" && dialect != "3") {
        return Refuse(error, "sql_dialect must be 1, 2 or 3, not \"" + dialect + "\"");
    }
    params.SqlDialect = dialect[0] - '0';
    return params;
}

} // namespace scriptengine
