// The blank-parameter check: the first blank value decides the text, and blanks around a value
// that is not blank are no failure.
#include "dbadmin/AdminParams.h"

#include "platform/Failure.h"
#include "tests/support/FailureText.h"

#include <gtest/gtest.h>
#include <ostream>

namespace {

struct TParamsCase {
    const char* Name;
    const char* Library;
    const char* Database;
    const char* User;
    const char* Password;
    const char* Expected;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const TParamsCase& c, std::ostream* os) {
    *os << c.Name;
}

class AdminParams : public ::testing::TestWithParam<TParamsCase> {};

TEST_P(AdminParams, FirstBlankValueNamesTheFailure) {
    const TParamsCase& c = GetParam();
    EXPECT_EQ(
        FailureText<EFailure>([&] { CheckAdminParams(c.Library, c.Database, c.User, c.Password); }),
        c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdminParams,
    ::testing::Values(
        TParamsCase{"AllBlank", "", " ", "\t", "", "Не задана клиентская библиотека!"},
        TParamsCase{"LibraryControlCharacters", "\r\n\x01", "db", "u", "p",
                    "Не задана клиентская библиотека!"},
        TParamsCase{"Database", "fbclient.dll", "  ", "", "", "Не задана база данных!"},
        TParamsCase{"User", "fbclient.dll", "db", " \t ", "p", "Не задано имя пользователя!"},
        TParamsCase{"Password", "fbclient.dll", "db", "SYSDBA", "   ", "Не задан пароль!"},
        TParamsCase{"BlanksAroundValues", " fbclient.dll ", " db", "SYSDBA ", " p ",
                    "<no failure>"},
        TParamsCase{"CyrillicPassword", "fbclient.dll", "db", "SYSDBA", "пароль", "<no failure>"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
