#include "platform/Process.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/win32/WindowsSupport.h"
#include "tests/support/TempFolder.h"
#include "tests/windows/Wine.h"

namespace {

using platform::TProcess;
using platform::win32::Narrow;
using platform::win32::Widen;

constexpr int kShowMinimizedNotActive = 7; // SW_SHOWMINNOACTIVE

std::wstring Native(const std::filesystem::path& path) {
    return std::filesystem::path(path).make_preferred().wstring();
}

std::string ChildProgram() {
    return Narrow(Native(UPDATER_WINDOWS_CHILD));
}

// What the child program (ChildProgram.cpp) wrote about its start.
struct TChildReport {
    std::string CommandLine;
    std::string Folder;
    std::string Program;
    std::string ShowMode;
};

// Points the child programs started while it lives at a report file of the test's own.
class TChildReportFile {
public:
    explicit TChildReportFile(const TTempFolder& temp) : File_(Native(temp.Path() / "report.txt")) {
        SetEnvironmentVariableW(L"UPDATER_CHILD_REPORT", File_.c_str());
    }
    ~TChildReportFile() { SetEnvironmentVariableW(L"UPDATER_CHILD_REPORT", nullptr); }
    TChildReportFile(const TChildReportFile&) = delete;
    TChildReportFile& operator=(const TChildReportFile&) = delete;

    bool Written() const { return GetFileAttributesW(File_.c_str()) != INVALID_FILE_ATTRIBUTES; }
    TChildReport Read() const {
        std::string text;
        if (std::FILE* file = _wfopen(File_.c_str(), L"rb")) {
            char chunk[4096];
            for (std::size_t read; (read = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
                text.append(chunk, read);
            }
            std::fclose(file);
        }
        std::vector<std::string> lines;
        for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        lines.resize(4);
        return {lines[0], lines[1], lines[2], lines[3]};
    }

private:
    std::wstring File_;
};

// Creates `folder` and the folders above it inside `base`, also beyond the usual path length.
bool CreateFolderBelow(const std::wstring& base, const std::wstring& relative) {
    for (std::size_t end = 0; end != std::wstring::npos;) {
        end = relative.find(L'\\', end + 1);
        const std::wstring folder = L"\\\\?\\" + base + L"\\" + relative.substr(0, end);
        if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return true;
}

// A folder path inside `base` of exactly `length` characters, made of names of up to 100.
std::wstring FolderOfLength(const std::wstring& base, std::size_t length) {
    std::wstring relative;
    while (base.size() + 1 + relative.size() < length) {
        if (!relative.empty()) {
            relative += L'\\';
        }
        const std::size_t left = length - base.size() - 1 - relative.size();
        relative.append(std::min<std::size_t>(left, 100), L'a' + relative.size() % 26);
    }
    return relative;
}

TEST(ProcessStart, TheCommandLineReachesTheProgramAsGiven) {
    TTempFolder temp;
    TChildReportFile report(temp);
    const std::wstring folder = L"рабочая папка";
    ASSERT_TRUE(CreateFolderBelow(Native(temp.Path()), folder));
    const std::string workingFolder = Narrow(Native(temp.Path() / folder));
    // Quotes, doubled blanks and a tab are passed on untouched; the last word is the exit code.
    const std::string parameters = " \"two words\"  Кириллица\tlast 7";

    auto process =
        TProcess::Start(ChildProgram(), parameters, workingFolder, kShowMinimizedNotActive);
    ASSERT_TRUE(process.IsStarted());
    EXPECT_EQ(process.Wait(), 7);
    const TChildReport seen = report.Read();
    EXPECT_EQ(seen.CommandLine, ChildProgram() + parameters);
    EXPECT_EQ(seen.Folder, workingFolder);
    EXPECT_EQ(seen.Program, ChildProgram());
    EXPECT_EQ(seen.ShowMode, std::to_string(kShowMinimizedNotActive));
}

TEST(ProcessStart, NoParametersStartThePathAlone) {
    TTempFolder temp;
    TChildReportFile report(temp);
    auto process = TProcess::Start(ChildProgram(), std::nullopt, Narrow(Native(temp.Path())), 1);
    ASSERT_TRUE(process.IsStarted());
    EXPECT_EQ(process.Wait(), 0);
    EXPECT_EQ(report.Read().CommandLine, ChildProgram());
}

// The child copied to "<scratch>\\folder with spaces\\child.exe", where an unquoted start
// searches "<scratch>\\folder", "<scratch>\\folder.exe", "<scratch>\\folder with", ... in turn.
std::wstring ChildInAFolderWithBlanks(const TTempFolder& temp) {
    const std::wstring base = Native(temp.Path());
    const std::wstring copy = base + L"\\folder with spaces\\child.exe";
    if (!CreateFolderBelow(base, L"folder with spaces") ||
        !CopyFileW(Widen(ChildProgram()).c_str(), copy.c_str(), TRUE)) {
        return {};
    }
    return copy;
}

// The program is found when no piece before it names another program; a program named like a
// piece ("folder.exe") is started in its place.
TEST(ProcessStart, AnUnquotedPathWithBlanksIsSearchedPieceByPiece) {
    TTempFolder temp;
    TChildReportFile report(temp);
    const std::wstring copy = ChildInAFolderWithBlanks(temp);
    ASSERT_FALSE(copy.empty());
    const std::string folder = Narrow(Native(temp.Path()));

    auto process = TProcess::Start(Narrow(copy), " 5", folder, 1);
    ASSERT_TRUE(process.IsStarted());
    EXPECT_EQ(process.Wait(), 5);
    EXPECT_EQ(report.Read().Program, Narrow(copy));

    const std::wstring decoy = Native(temp.Path() / "folder.exe");
    ASSERT_TRUE(CopyFileW(Widen(ChildProgram()).c_str(), decoy.c_str(), TRUE));
    auto displaced = TProcess::Start(Narrow(copy), " 6", folder, 1);
    ASSERT_TRUE(displaced.IsStarted());
    EXPECT_EQ(displaced.Wait(), 6);
    EXPECT_EQ(report.Read().Program, Narrow(decoy));
}

TEST(ProcessStart, AnUnquotedPathWithBlanksReachesTheProgramAsGiven) {
    TTempFolder temp;
    TChildReportFile report(temp);
    const std::wstring copy = ChildInAFolderWithBlanks(temp);
    ASSERT_FALSE(copy.empty());
    auto process = TProcess::Start(Narrow(copy), " 5", Narrow(Native(temp.Path())), 1);
    ASSERT_TRUE(process.IsStarted());
    EXPECT_EQ(process.Wait(), 5);
    if (RunningUnderWine()) {
        GTEST_SKIP() << "Wine puts quotes around a program path it found by searching; Windows "
                        "passes the command line on as given";
    }
    EXPECT_EQ(report.Read().CommandLine, Narrow(copy) + " 5");
}

struct TLimitCase {
    const char* Name;
    std::size_t CommandLineLength; // 0: the program path and a short parameter
    std::size_t FolderLength;      // 0: the test's scratch folder
    const wchar_t* Filler;         // what the parameters are made of
    bool Started;
};

void PrintTo(const TLimitCase& row, std::ostream* out) {
    *out << row.Name;
}

class ProcessStartLimits : public ::testing::TestWithParam<TLimitCase> {};

// Longer texts are refused rather than cut, which would start another program or in another
// folder; the lengths count UTF-16 characters, not bytes.
TEST_P(ProcessStartLimits, LongerTextsAreRefused) {
    const TLimitCase& row = GetParam();
    TTempFolder temp;
    TChildReportFile report(temp);
    std::wstring folder = Native(temp.Path());
    if (row.FolderLength != 0) {
        const std::wstring relative = FolderOfLength(folder, row.FolderLength);
        ASSERT_TRUE(CreateFolderBelow(folder, relative));
        folder += L"\\" + relative;
        ASSERT_EQ(folder.size(), row.FolderLength);
    }
    const std::wstring program = Widen(ChildProgram());
    std::wstring parameters = L" 3";
    if (row.CommandLineLength != 0) {
        parameters = L" ";
        while (program.size() + parameters.size() + 2 < row.CommandLineLength) {
            parameters += row.Filler;
        }
        parameters.resize(row.CommandLineLength - program.size() - 2);
        parameters += L" 3";
    }

    auto process = TProcess::Start(Narrow(program), Narrow(parameters), Narrow(folder), 1);
    ASSERT_EQ(process.IsStarted(), row.Started);
    if (row.Started) {
        EXPECT_EQ(process.Wait(), 3);
        const TChildReport seen = report.Read();
        EXPECT_EQ(Widen(seen.CommandLine).size(),
                  row.CommandLineLength ? row.CommandLineLength : program.size() + 2);
        EXPECT_EQ(seen.CommandLine, Narrow(program + parameters));
        EXPECT_EQ(seen.Folder, Narrow(folder));
    } else {
        EXPECT_FALSE(report.Written());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, ProcessStartLimits,
    ::testing::Values(TLimitCase{"CommandLineOf511", 511, 0, L"x", true},
                      TLimitCase{"CommandLineOf512", 512, 0, L"x", false},
                      TLimitCase{"CyrillicCommandLineOf511", 511, 0, L"ж", true},
                      TLimitCase{"CyrillicCommandLineOf512", 512, 0, L"ж", false},
                      TLimitCase{"FolderOf255", 0, 255, L"x", true},
                      TLimitCase{"FolderOf256", 0, 256, L"x", false}),
    [](const ::testing::TestParamInfo<TLimitCase>& info) { return info.param.Name; });

TEST(ProcessStart, AMissingProgramOrFolderIsNotStarted) {
    TTempFolder temp;
    TChildReportFile report(temp);
    const std::string folder = Narrow(Native(temp.Path()));
    EXPECT_FALSE(TProcess::Start(folder + "\\missing.exe", " 1", folder, 1).IsStarted());
    EXPECT_FALSE(TProcess::Start(ChildProgram(), " 1", folder + "\\missing", 1).IsStarted());
    EXPECT_FALSE(report.Written());
}

} // namespace
