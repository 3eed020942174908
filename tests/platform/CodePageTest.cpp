#include "platform/CodePage.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include "platform/win32/WindowsSupport.h"
#endif

namespace {

struct TClientTextCase {
    const char* Name;
    std::string Utf8;
    // What the client library is handed; empty with `Unheld` set when it is refused.
    std::string Sent;
    std::uint32_t Unheld = 0;
};

void PrintTo(const TClientTextCase& row, std::ostream* out) {
    *out << row.Name;
}

class ClientText : public ::testing::TestWithParam<TClientTextCase> {};

TEST_P(ClientText, GoesToTheClientInTheSystemsEncodingOrIsRefusedWithItsCharacter) {
    const TClientTextCase& row = GetParam();
#ifdef _WIN32
    // The rows are those of the code page that Wine gives a process without a locale.
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the rows are written for the ANSI code page 1252, not " << GetACP();
    }
#endif
    platform::TUnheldCharacter unheld;
    const auto sent = platform::Utf8ToClientText(row.Utf8, &unheld);
    if (row.Unheld == 0) {
        ASSERT_TRUE(sent.has_value()) << unheld.Character;
        EXPECT_EQ(*sent, row.Sent);
        EXPECT_EQ(platform::ClientTextToUtf8(*sent), row.Utf8);
    } else {
        EXPECT_FALSE(sent.has_value());
        EXPECT_EQ(unheld.CodePoint, row.Unheld);
        EXPECT_EQ(unheld.CodePage, 1252u);
    }
}

#ifdef _WIN32
// The system's ANSI code page (1252 here): what it holds goes as its bytes, nothing else goes.
INSTANTIATE_TEST_SUITE_P(
    Rows, ClientText,
    ::testing::Values(TClientTextCase{"Ascii", "localhost/3051:C:\\QUV\\Kormant.fdb",
                                      "localhost/3051:C:\\QUV\\Kormant.fdb"},
                      TClientTextCase{"WesternLetter", "C:\\Caf\xC3\xA9", "C:\\Caf\xE9"},
                      // A look-alike (the plain "o") would name another file.
                      TClientTextCase{"NoBestFit", "C:\\\xC5\x91", "", 0x151},
                      TClientTextCase{"Cyrillic", "C:\\\xD0\x9F\xD1\x80", "", 0x41F},
                      TClientTextCase{"OutsideTheBasicPlane", "a\xF0\x9F\x98\x80", "", 0x1F600},
                      TClientTextCase{"NotUtf8", "a\xFF", "", 0xFFFD}),
    [](const ::testing::TestParamInfo<TClientTextCase>& info) {
        return std::string(info.param.Name);
    });
#else
// Linux: the client takes UTF-8, the program's own encoding; nothing is converted or refused.
INSTANTIATE_TEST_SUITE_P(
    Rows, ClientText,
    ::testing::Values(TClientTextCase{"Ascii", "localhost/3051:/opt/QUV/Kormant.fdb",
                                      "localhost/3051:/opt/QUV/Kormant.fdb"},
                      TClientTextCase{"Cyrillic", "/\xD0\x9F\xD1\x80", "/\xD0\x9F\xD1\x80"},
                      TClientTextCase{"OutsideTheBasicPlane", "a\xF0\x9F\x98\x80",
                                      "a\xF0\x9F\x98\x80"}),
    [](const ::testing::TestParamInfo<TClientTextCase>& info) {
        return std::string(info.param.Name);
    });
#endif

TEST(ClientText, ReachesTheEngineCallerInWindows1251) {
#ifdef _WIN32
    if (GetACP() != 1252) {
        GTEST_SKIP() << "written for the ANSI code page 1252, not " << GetACP();
    }
    // 1252 bytes: "é" has no place in windows-1251.
    EXPECT_EQ(platform::ClientTextToCp1251("file \"Caf\xE9\" not found"),
              "file \"Caf?\" not found");
#else
    EXPECT_EQ(platform::ClientTextToCp1251("file \"\xD0\x9F\xD1\x80\" not found"),
              "file \"\xCF\xF0\" not found");
    EXPECT_EQ(platform::ClientTextToCp1251("Caf\xC3\xA9 \xF0\x9F\x98\x80!"), "Caf? ?!");
#endif
    EXPECT_EQ(platform::Utf8ToCp1251("\xD0\x9F\xD1\x80\xC5\x91"), "\xCF\xF0?");
}

TEST(ClientText, TheRefusalNamesTheValueTheCharacterAndTheCodePage) {
    EXPECT_EQ(platform::UnheldCharacterText({"\xD0\x9F", 0x41F, 1252}, "путь к базе данных"),
              "Невозможно передать клиенту Firebird путь к базе данных: символа \"П\" (U+041F) "
              "нет в кодовой странице системы 1252!");
    EXPECT_EQ(platform::UnheldCharacterText({"\xF0\x9F\x98\x80", 0x1F600, 1251}, "пароль"),
              "Невозможно передать клиенту Firebird пароль: символа \"\xF0\x9F\x98\x80\" "
              "(U+1F600) нет в кодовой странице системы 1251!");
}

} // namespace
