#include "dbadmin/AdminParams.h"

#include "platform/Failure.h"

#include <string_view>

namespace {

bool Blank(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) > ' ') {
            return false;
        }
    }
    return true;
}

} // namespace

void CheckAdminParams(const std::string& clientLibrary, const std::string& databaseString,
                      const std::string& userName, const std::string& password) {
    if (Blank(clientLibrary)) {
        throw EFailure("Не задана клиентская библиотека!");
    }
    if (Blank(databaseString)) {
        throw EFailure("Не задана база данных!");
    }
    if (Blank(userName)) {
        throw EFailure("Не задано имя пользователя!");
    }
    if (Blank(password)) {
        throw EFailure("Не задан пароль!");
    }
}
