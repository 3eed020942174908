// Updater.exe as built: what it imports, the resources it carries, the release tool's
// replacement of its payload, its window titled by a renamed copy's file name, and a whole
// client-only update with the program driven from outside as the operator drives it.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <vector>

#include "app/win32/WideText.h"
#include "platform/ProgramResource.h"
#include "tests/support/TempFolder.h"
#include "tests/windows/ClientInstallation.h"
#include "tests/windows/Win32ProgramDriver.h"
#include "tools/payload/ProgramCheck.h"
#include "update/UpdateSeams.h"

namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

std::string Resource(const std::string& program, const char* type, const char* name) {
    const auto read = platform::ReadProgramResource(program, type, name);
    EXPECT_EQ(read.Outcome, platform::TResourceRead::TOutcome::Read) << type << " " << name;
    return read.Bytes;
}

std::string Manifest(const std::wstring& program) {
    const HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        return {};
    }
    std::string text;
    if (const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
        const HGLOBAL loaded = LoadResource(module, found);
        text.assign(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found));
    }
    FreeLibrary(module);
    return text;
}

TEST(UpdaterProgram, NeedsNothingBeyondTheSystemsDlls) {
    const auto imported = PeImportedLibraries(UPDATER_EXE);
    ASSERT_TRUE(imported.has_value());
    EXPECT_FALSE(imported->empty());
    for (const auto& library : *imported) {
        EXPECT_TRUE(IsSystemLibrary(library)) << library;
    }
}

TEST(UpdaterProgram, CarriesTheScriptThePackageAndTheCommonControlsManifest) {
    EXPECT_EQ(Resource(UPDATER_EXE, "TEXT", "SCRIPT"), Contents(UPDATER_PAYLOAD_SCRIPT));
    EXPECT_EQ(Resource(UPDATER_EXE, "EXEFILE", "FILES"), Contents(UPDATER_WIN32_PACKAGE));
    EXPECT_TRUE(IsWindowsProgram(UPDATER_WIN32_PACKAGE));
    const std::string manifest = Manifest(L"" UPDATER_EXE);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos)
        << manifest;
}

// A value of the version information's Russian string table, as Explorer shows it.
std::wstring VersionValue(const wchar_t* program, const std::wstring& name) {
    std::vector<char> block(GetFileVersionInfoSizeW(program, nullptr));
    if (block.empty() ||
        !GetFileVersionInfoW(program, 0, static_cast<DWORD>(block.size()), block.data())) {
        return L"<no version information>";
    }
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), (L"\\StringFileInfo\\041904E3\\" + name).c_str(),
                        reinterpret_cast<void**>(&value), &length) ||
        length == 0) {
        return L"<no " + name + L">";
    }
    return std::wstring(value, length - 1);
}

// The .rc is UTF-8: the Cyrillic description must arrive as such, not as its bytes.
TEST(UpdaterProgram, ItsVersionInformationReadsInRussian) {
    EXPECT_EQ(VersionValue(L"" UPDATER_EXE, L"FileDescription"), L"Обновление программы Кормант");
    EXPECT_EQ(VersionValue(L"" UPDATER_EXE, L"OriginalFilename"), L"Updater.exe");
}

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The folder of the release engineer's files: a plain one, and one whose name has letters of no
// ANSI code page in common (Cyrillic, and a Hungarian letter that windows-1251 lacks), which only
// a Unicode command line carries whole.
class ReleaseTool : public ::testing::TestWithParam<const char*> {};

TEST_P(ReleaseTool, ReplacesTheUpdatersPayloadWithoutCompiling) {
    TTempFolder temp;
    const fs::path folder = temp.MakeFolder(GetParam());
    const fs::path script = folder / "release5.sql";
    std::ofstream(script, std::ios::binary) << "select 5 from rdb$database;\r\n";
    const fs::path package = folder / "Kormant_update.exe";
    fs::copy_file(fs::path(Native(UPDATER_PACKAGE_STUB)), package);
    const std::string output = Utf8(folder / "Updater5.exe");
    const std::string arguments = "--script \"" + Utf8(script) + "\" --package \"" + Utf8(package) +
                                  "\" -o \"" + output + "\" \"" + Native(UPDATER_EXE) + "\"";
    const auto exitCode = RunToEnd(Native(UPDATER_ATTACH_PAYLOAD), arguments, 60000);
    ASSERT_EQ(exitCode, 0u);
    EXPECT_EQ(Resource(output, "TEXT", "SCRIPT"), "select 5 from rdb$database;\r\n");
    EXPECT_EQ(Resource(output, "EXEFILE", "FILES"), Contents(UPDATER_PACKAGE_STUB));
    // The rest of the program stays: its manifest, and the built one keeps its own payload.
    EXPECT_EQ(Manifest(win32ui::Widen(output)), Manifest(L"" UPDATER_EXE));
    EXPECT_EQ(Resource(UPDATER_EXE, "TEXT", "SCRIPT"), Contents(UPDATER_PAYLOAD_SCRIPT));
}

INSTANTIATE_TEST_SUITE_P(Folders, ReleaseTool, ::testing::Values("release", "Релиз Кормант ő"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.index == 0 ? "Plain" : "Cyrillic");
                         });

struct TFoundWindow {
    DWORD Process = 0;
    const wchar_t* Class = nullptr;
    HWND Window = nullptr;
};

// The shown top-level window of `className` that `process` owns; nullptr when there is none.
HWND WindowOf(DWORD process, const wchar_t* className) {
    TFoundWindow found{process, className, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* wanted = reinterpret_cast<TFoundWindow*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            // Shown: its title is set by then.
            if (owner == wanted->Process && std::wstring(name) == wanted->Class &&
                IsWindowVisible(window)) {
                wanted->Window = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found.Window;
}

HWND MainWindowOf(DWORD process) {
    return WindowOf(process, L"UpdaterMainWindow");
}

TEST(UpdaterProgram, ARenamedCopyTitlesItsWindowWithItsName) {
    TTempFolder temp;
    const fs::path copy = temp.Path() / fs::path(u8"Обновление 4.exe");
    fs::copy_file(UPDATER_EXE, copy);
    std::wstring commandLine = L"\"" + copy.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(copy.wstring().c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                               0, nullptr, temp.Path().wstring().c_str(), &startup, &process));
    HWND window = nullptr;
    for (int i = 0; i < 400 && window == nullptr; ++i) {
        window = MainWindowOf(process.dwProcessId);
        if (window == nullptr) {
            Sleep(50);
        }
    }
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(win32ui::WindowText(window), "Обновление 4");
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// A client library that lacks an entry point ends the program at its start, before any window:
// the program has no console, so the text comes in a box of its own, and also goes to the
// standard error stream; the exit code is 1.
TEST(UpdaterProgram, AClientLibraryWithoutAnEntryPointIsReportedInABox) {
    TTempFolder temp;
    const fs::path folder = temp.MakeFolder("updater");
    fs::copy_file(UPDATER_EXE, folder / "Updater.exe");
    fs::copy_file(UPDATER_CLIENT_WITHOUT_ATTACH, folder / "noattach.dll");
    std::ofstream(folder / "Updater.ini") << "[SERVER]\nDataBaseClient=noattach.dll\n";
    const fs::path errors = folder / "stderr.txt";
    SECURITY_ATTRIBUTES inherited{sizeof(inherited), nullptr, TRUE};
    const HANDLE errorFile = CreateFileW(errors.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                         &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(errorFile, INVALID_HANDLE_VALUE);
    const fs::path program = folder / "Updater.exe";
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = errorFile;
    startup.hStdError = errorFile;
    PROCESS_INFORMATION process{};
    const BOOL started =
        CreateProcessW(program.wstring().c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                       nullptr, folder.wstring().c_str(), &startup, &process);
    CloseHandle(errorFile);
    ASSERT_TRUE(started);
    HWND box = nullptr;
    for (int i = 0; i < 400 && box == nullptr; ++i) {
        box = WindowOf(process.dwProcessId, L"#32770");
        if (box == nullptr) {
            Sleep(50);
        }
    }
    TSeenBox seen;
    if (box != nullptr) {
        seen = RecordBox(box);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    }
    const bool ended = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(process.hProcess, 99);
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(ended);
    EXPECT_EQ(exitCode, 1u);
    const std::string text = "Невозможно найти импорт DLL \"isc_attach_database\"";
    EXPECT_EQ(seen.Caption, "Updater");
    EXPECT_NE(seen.Text.find(text), std::string::npos) << seen.Text;
    EXPECT_NE(seen.Icon, nullptr);
    EXPECT_EQ(seen.ScreenButtons, (std::vector<std::string>{"OK"}));
    EXPECT_NE(Contents(errors).find(text), std::string::npos) << Contents(errors);
}

// A copy of the built program in a folder of its own, with the stand-in client library that
// its start loads.
fs::path PlaceProgram(const TTempFolder& temp) {
    const fs::path folder = temp.MakeFolder("updater");
    fs::copy_file(UPDATER_EXE, folder / "Updater.exe");
    fs::copy_file(UPDATER_STAND_IN_CLIENT, folder / "fbclient.dll");
    return folder / "Updater.exe";
}

// The built Updater.exe carries the sample client files as its own package: what
// Win32ClientUpdate.TheBuiltUpdaterDeliversItsOwnPackage sees inside one process, seen here
// from outside, with the question answered by its Yes button and the success box by OK.
TEST(UpdaterProgram, DrivenFromOutsideItUpdatesAClientInstallation) {
    TTempFolder temp;
    TClientRelease3 release3(temp);
    const fs::path program = PlaceProgram(temp);
    const TProgramRun run =
        RunUpdaterProgram(program, release3.Root.string(), "mirdelkoza", {"&Yes", "OK"}, 60000);
    EXPECT_EQ(run.Trouble, "");
    EXPECT_EQ(run.ExitCode, 0u);
    EXPECT_EQ(run.Unexpected, 0);
    ASSERT_EQ(run.Boxes.size(), 2u);
    EXPECT_EQ(run.Boxes[0].Caption, "Information");
    EXPECT_EQ(run.Boxes[0].Text, AsShown(kClientOnlyQuestion));
    EXPECT_EQ(run.Boxes[0].ScreenButtons, (std::vector<std::string>{"&Yes", "&No"}));
    EXPECT_EQ(run.Boxes[0].TabButtons, (std::vector<std::string>{"&No", "&Yes"}));
    EXPECT_EQ(run.Boxes[0].Focused, "&No");
    EXPECT_EQ(run.Boxes[1].Caption, "Information");
    EXPECT_EQ(run.Boxes[1].Text, kSuccessText);
    EXPECT_EQ(run.Boxes[1].ScreenButtons, (std::vector<std::string>{"OK"}));
    TTreeSnapshot expected = release3.Before;
    expected["Kormant.exe"] = Contents(UPDATER_SAMPLE_CLIENT "/Kormant.exe");
    expected["Kormant.chm"] = Contents(UPDATER_SAMPLE_CLIENT "/Kormant.chm");
    EXPECT_EQ(SnapshotOf(release3.Root / "Program"), expected);
}

} // namespace
