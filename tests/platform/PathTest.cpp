#include "platform/Path.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

namespace {

struct TFullPathCase {
    const char* Input;
    const char* Expected;
};

class FullPathTable : public ::testing::TestWithParam<TFullPathCase> {};

TEST_P(FullPathTable, ResolvesLexically) {
    EXPECT_EQ(platform::FullPath(GetParam().Input), GetParam().Expected);
}

#ifdef _WIN32
// The system's own resolution: slashes become backslashes, repeated ones collapse.
INSTANTIATE_TEST_SUITE_P(
    Absolute, FullPathTable,
    ::testing::Values(TFullPathCase{"", ""}, TFullPathCase{"C:\\", "C:\\"},
                      TFullPathCase{"C:\\QUV\\Kormant", "C:\\QUV\\Kormant"},
                      TFullPathCase{"C:\\QUV\\Kormant\\", "C:\\QUV\\Kormant\\"},
                      TFullPathCase{"C:/QUV/Kormant", "C:\\QUV\\Kormant"},
                      TFullPathCase{"C:\\QUV\\\\Kormant", "C:\\QUV\\Kormant"},
                      TFullPathCase{"C:\\QUV\\.\\..\\QUV\\Kormant", "C:\\QUV\\Kormant"},
                      TFullPathCase{"C:\\..\\..", "C:\\"}),
    [](const ::testing::TestParamInfo<TFullPathCase>& info) {
        return "Case" + std::to_string(info.index);
    });
#else
INSTANTIATE_TEST_SUITE_P(
    Absolute, FullPathTable,
    ::testing::Values(TFullPathCase{"", ""}, TFullPathCase{"/", "/"},
                      TFullPathCase{"/opt/QUV/Kormant", "/opt/QUV/Kormant"},
                      TFullPathCase{"/opt/QUV/Kormant/", "/opt/QUV/Kormant/"},
                      TFullPathCase{"/opt//QUV///Kormant", "/opt/QUV/Kormant"},
                      TFullPathCase{"/opt/./QUV/../QUV/Kormant", "/opt/QUV/Kormant"},
                      TFullPathCase{"/opt/QUV/Kormant/.", "/opt/QUV/Kormant"},
                      TFullPathCase{"/../..", "/"}, TFullPathCase{"/a/b/../../..", "/"}),
    [](const ::testing::TestParamInfo<TFullPathCase>& info) {
        return "Case" + std::to_string(info.index);
    });
#endif

TEST(FullPath, RelativeTextIsTakenFromTheCurrentFolder) {
    const std::string cwd = std::filesystem::current_path().string();
    const std::string d(1, platform::PathDelimiter);
    EXPECT_EQ(platform::FullPath("Kormant"), cwd + d + "Kormant");
    EXPECT_EQ(platform::FullPath("."), cwd);
    EXPECT_EQ(platform::FullPath("./a/../Kormant/"), cwd + d + "Kormant" + d);
}

TEST(JoinPath, AddsExactlyOneDelimiter) {
#ifdef _WIN32
    EXPECT_EQ(platform::JoinPath("C:\\QUV", "Kormant"), "C:\\QUV\\Kormant");
    EXPECT_EQ(platform::JoinPath("C:\\QUV\\", "Kormant"), "C:\\QUV\\Kormant");
    EXPECT_EQ(platform::JoinPath("C:\\", "Program"), "C:\\Program");
#else
    EXPECT_EQ(platform::JoinPath("/opt/QUV", "Kormant"), "/opt/QUV/Kormant");
    EXPECT_EQ(platform::JoinPath("/opt/QUV/", "Kormant"), "/opt/QUV/Kormant");
    EXPECT_EQ(platform::JoinPath("/", "Program"), "/Program");
#endif
}

struct TSamePathCase {
    const char* A;
    const char* B;
    bool Same;
};

void PrintTo(const TSamePathCase& c, std::ostream* os) {
    *os << '"' << c.A << "\" \"" << c.B << '"';
}

class SamePathTable : public ::testing::TestWithParam<TSamePathCase> {};

TEST_P(SamePathTable, ComparesAsTheHostComparesPaths) {
    EXPECT_EQ(platform::SamePath(GetParam().A, GetParam().B), GetParam().Same);
    EXPECT_EQ(platform::SamePath(GetParam().B, GetParam().A), GetParam().Same);
}

#ifdef _WIN32
// Letter case of every alphabet ignored, trailing delimiters ignored.
INSTANTIATE_TEST_SUITE_P(
    Host, SamePathTable,
    ::testing::Values(TSamePathCase{"C:\\QUV\\Kormant", "C:\\QUV\\Kormant", true},
                      TSamePathCase{"C:\\QUV\\Kormant", "c:\\quv\\kormant", true},
                      TSamePathCase{"C:\\QUV\\Kormant", "C:\\QUV\\Kormant\\", true},
                      TSamePathCase{"C:\\QUV\\Kormant\\", "c:\\QUV\\KORMANT/", true},
                      TSamePathCase{"C:\\Учет\\Кормант", "c:\\УЧЕТ\\кормант\\", true},
                      TSamePathCase{"C:\\", "c:\\", true},
                      TSamePathCase{"C:\\QUV\\Kormant", "C:\\QUV\\Kormant_", false},
                      TSamePathCase{"C:\\QUV\\Kormant", "D:\\QUV\\Kormant", false},
                      TSamePathCase{"C:\\QUV\\Kormant", "C:\\QUV\\Kormant\\Program", false},
                      TSamePathCase{"", "C:\\", false}),
    [](const ::testing::TestParamInfo<TSamePathCase>& info) {
        return "Case" + std::to_string(info.index);
    });
#else
// Bytes compared as they are; only trailing delimiters ignored.
INSTANTIATE_TEST_SUITE_P(
    Host, SamePathTable,
    ::testing::Values(TSamePathCase{"/opt/QUV/Kormant", "/opt/QUV/Kormant", true},
                      TSamePathCase{"/opt/QUV/Kormant", "/opt/QUV/Kormant/", true},
                      TSamePathCase{"/opt/QUV/Kormant//", "/opt/QUV/Kormant", true},
                      TSamePathCase{"/", "//", true},
                      TSamePathCase{"/opt/QUV/Kormant", "/opt/quv/kormant", false},
                      TSamePathCase{"/opt/Учет", "/opt/УЧЕТ", false},
                      TSamePathCase{"/opt/QUV/Kormant", "/opt/QUV/Kormant_", false},
                      TSamePathCase{"/opt/QUV/Kormant", "/opt/QUV/Kormant/Program", false},
                      TSamePathCase{"", "/", false}),
    [](const ::testing::TestParamInfo<TSamePathCase>& info) {
        return "Case" + std::to_string(info.index);
    });
#endif

// The limit counts what the host counts: UTF-16 units on Windows, bytes on Linux.
TEST(PathLength, CountsTheUnitsOfTheHostsLimit) {
    const std::string cyrillic = "Кормант"; // 7 letters, 14 bytes of UTF-8
#ifdef _WIN32
    EXPECT_EQ(platform::PathLength("C:\\" + cyrillic), 10u);
#else
    EXPECT_EQ(platform::PathLength("/" + cyrillic), 15u);
#endif
    EXPECT_EQ(platform::PathLength(""), 0u);
}

#ifdef _WIN32
// A root of exactly the limit in UTF-16 units, most of it Cyrillic (about twice as many bytes of
// UTF-8), is a folder like any other.
TEST(PathLength, ACyrillicPathOfTheWholeLimitNamesAFolder) {
    TTempFolder temp;
    std::string path = platform::FullPath(temp.Str());
    while (platform::PathLength(path) < platform::MaxPathLength) {
        const std::size_t room = platform::MaxPathLength - platform::PathLength(path) - 1;
        if (room == 0) {
            // One unit left: no room for a delimiter and a name; the last name grows instead.
            path += "ж";
            continue;
        }
        std::string segment;
        for (std::size_t i = 0; i < std::min<std::size_t>(room, 100); ++i) {
            segment += "ж";
        }
        path += "\\" + segment;
    }
    ASSERT_EQ(platform::PathLength(path), platform::MaxPathLength);
    std::filesystem::create_directories(std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size())));
    EXPECT_TRUE(platform::FolderExists(path));
    EXPECT_EQ(platform::FullPath(path), path);
}
#endif

TEST(FolderExists, TellsFoldersFromFilesAndMissingNames) {
    TTempFolder temp;
    temp.MakeFolder("dir");
    temp.MakeFile("file");
    EXPECT_TRUE(platform::FolderExists((temp.Path() / "dir").string()));
    EXPECT_FALSE(platform::FolderExists((temp.Path() / "file").string()));
    EXPECT_FALSE(platform::FolderExists((temp.Path() / "missing").string()));
    EXPECT_FALSE(platform::FolderExists(""));
    EXPECT_FALSE(platform::FolderExists(std::string(platform::MaxPathLength + 10, 'a')));
}

} // namespace
