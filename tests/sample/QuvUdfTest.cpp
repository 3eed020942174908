// The server-side function library's words, called directly, without a server.
#include <climits>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

#include "quv_udf.h"

namespace {

// windows-1251 Cyrillic letters back to UTF-8, for readable expectations.
std::string FromCp1251(const char* text) {
    std::string out;
    for (const unsigned char c : std::string(text)) {
        if (c >= 0xC0) {
            const unsigned code = 0x410 + (c - 0xC0);
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string Words(int value, int gender) {
    char* result = UDF_Integer_In_Words(&value, &gender);
    const std::string text = FromCp1251(result);
    std::free(result);
    return text;
}

struct TWordsCase {
    int Value;
    int Gender;
    const char* Expected;
};

class IntegerInWords : public ::testing::TestWithParam<TWordsCase> {};

TEST_P(IntegerInWords, WritesTheNumberInRussian) {
    EXPECT_EQ(Words(GetParam().Value, GetParam().Gender), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, IntegerInWords,
    ::testing::Values(TWordsCase{0, QUV_MASCULINE, "ноль"}, TWordsCase{1, QUV_MASCULINE, "один"},
                      TWordsCase{1, QUV_FEMININE, "одна"}, TWordsCase{1, QUV_NEUTER, "одно"},
                      TWordsCase{2, QUV_MASCULINE, "два"}, TWordsCase{2, QUV_FEMININE, "две"},
                      TWordsCase{2, 17, "два"}, TWordsCase{11, QUV_FEMININE, "одиннадцать"},
                      TWordsCase{19, QUV_MASCULINE, "девятнадцать"},
                      TWordsCase{40, QUV_MASCULINE, "сорок"},
                      TWordsCase{101, QUV_FEMININE, "сто одна"},
                      TWordsCase{999, QUV_MASCULINE, "девятьсот девяносто девять"},
                      TWordsCase{1000, QUV_MASCULINE, "одна тысяча"},
                      TWordsCase{2002, QUV_MASCULINE, "две тысячи два"},
                      TWordsCase{5000, QUV_MASCULINE, "пять тысяч"},
                      TWordsCase{11000, QUV_MASCULINE, "одиннадцать тысяч"},
                      TWordsCase{21000, QUV_MASCULINE, "двадцать одна тысяча"},
                      TWordsCase{1000000, QUV_MASCULINE, "один миллион"},
                      TWordsCase{3000001, QUV_FEMININE, "три миллиона одна"},
                      TWordsCase{1000000000, QUV_MASCULINE, "один миллиард"},
                      TWordsCase{-15, QUV_MASCULINE, "минус пятнадцать"},
                      TWordsCase{
                          2147483647, QUV_MASCULINE,
                          "два миллиарда сто сорок семь миллионов четыреста восемьдесят три тысячи "
                          "шестьсот сорок семь"}),
    [](const auto& info) {
        return (info.param.Value < 0 ? "minus" + std::to_string(-info.param.Value)
                                     : std::to_string(info.param.Value)) +
               "_gender" + std::to_string(info.param.Gender);
    });

TEST(IntegerInWordsLimits, EveryResultFitsTheDeclaredCstring) {
    // The longest texts come from the longest words in every place; those that do not fit in
    // 99 bytes are given in digits rather than cut.
    for (const int value : {INT_MIN, -1777777777, 1777777777, -1878787878, 2147483647}) {
        int v = value;
        int gender = QUV_FEMININE;
        char* result = UDF_Integer_In_Words(&v, &gender);
        const std::string text(result);
        std::free(result);
        EXPECT_LT(text.size(), static_cast<std::size_t>(QUV_RESULT_SIZE)) << value;
        char full[256];
        const std::size_t length = QuvIntegerInWords(value, gender, full, sizeof full);
        if (length < QUV_RESULT_SIZE) {
            EXPECT_EQ(text, full);
        } else {
            EXPECT_EQ(text, std::to_string(value));
        }
    }
    EXPECT_EQ(Words(INT_MIN, QUV_MASCULINE),
              "минус два миллиарда сто сорок семь миллионов четыреста восемьдесят три тысячи "
              "шестьсот сорок восемь");
    EXPECT_EQ(Words(-1777777777, QUV_MASCULINE), "-1777777777");
}

TEST(IntegerInWordsLimits, MissingArgumentsGiveAnEmptyTextOrTheMasculine) {
    char* empty = UDF_Integer_In_Words(nullptr, nullptr);
    EXPECT_STREQ(empty, "");
    std::free(empty);
    int value = 2;
    char* masculine = UDF_Integer_In_Words(&value, nullptr);
    EXPECT_EQ(FromCp1251(masculine), "два");
    std::free(masculine);
}

} // namespace
