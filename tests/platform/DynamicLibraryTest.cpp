// Loading libraries by name: the mapping of the Windows names, a missing file, a missing entry
// point.
#include "platform/DynamicLibrary.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <filesystem>
#include <string>

#include <windows.h>
#endif

namespace {

#ifndef _WIN32
// Linux finds the Windows names under the names its own packages give the libraries.
TEST(LibraryFileNames, MapsTheWindowsNamesOfTheClientLibraries) {
    struct TCase {
        const char* Name;
        std::vector<std::string> Expected;
    };
    const TCase cases[] = {
        {"fbclient.dll", {"libfbclient.so.2", "libfbclient.so"}},
        {"FBCLIENT.DLL", {"libfbclient.so.2", "libfbclient.so"}},
        {"gds32.dll", {"libgds.so.0", "libgds.so"}},
        {"IBEScript.dll", {"libIBEScript.so"}},
        {"libfbclient.so.2", {"libfbclient.so.2"}},
        {"/opt/lib/fbclient.dll", {"/opt/lib/fbclient.dll"}},
        {".dll", {".dll"}},
        {"", {""}},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(platform::LibraryFileNames(c.Name), c.Expected) << c.Name;
    }
}

#endif

TEST(DynamicLibrary, LoadsALibraryByItsWindowsNameAndFindsEntryPoints) {
#ifdef _WIN32
    const char* const name = "kernel32.dll";
    const char* const entry = "GetTickCount";
#else
    const char* const name = "fbclient.dll";
    const char* const entry = "isc_attach_database";
#endif
    platform::TDynamicLibrary library = platform::TDynamicLibrary::Load(name);
    ASSERT_TRUE(library.IsLoaded());
    EXPECT_NE(library.Find(entry), nullptr);
    platform::TOsError error;
    EXPECT_EQ(library.Find("no_such_entry_point", &error), nullptr);
    EXPECT_EQ(error.Code, 127u);
#ifdef _WIN32
    // The system's text for error 127, which does not name the entry point.
    EXPECT_FALSE(error.Description.empty());
#else
    EXPECT_NE(error.Description.find("no_such_entry_point"), std::string::npos);
#endif

    platform::TDynamicLibrary moved = std::move(library);
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_TRUE(moved.IsLoaded());
    moved.Free();
    EXPECT_FALSE(moved.IsLoaded());
    EXPECT_EQ(moved.Find(entry), nullptr);
}

TEST(DynamicLibrary, MissingFileOrNoLibraryLoadsNothing) {
    TTempFolder folder;
    const std::string text = folder.MakeFile("libtext.so", "not a library").string();
    for (const std::string& name : {std::string("missing-library.dll"), text,
                                    (folder.Path() / "absent.so").string(), std::string()}) {
        platform::TOsError error;
        const platform::TDynamicLibrary library = platform::TDynamicLibrary::Load(name, &error);
        EXPECT_FALSE(library.IsLoaded()) << name;
        EXPECT_NE(error.Code, 0u) << name;
        EXPECT_FALSE(error.Description.empty()) << name;
    }
}

#ifdef _WIN32
// A library named without a folder is not taken from the current folder, which a program run
// with administrator rights may have been started from by anyone; the rest of the system's
// search stays, PATH (where the Firebird folder is) among it.
TEST(DynamicLibrary, ALibraryInTheCurrentFolderIsNotLoadedByNameOneOnPathIs) {
    namespace fs = std::filesystem;
    TTempFolder folder;
    const fs::path current = folder.Path() / "current";
    const fs::path onPath = folder.Path() / "on path";
    fs::create_directories(current);
    fs::create_directories(onPath);
    fs::copy_file(UPDATER_PLANTED_LIBRARY, current / "planted-library.dll");
    const fs::path before = fs::current_path();
    fs::current_path(current);
    platform::TOsError error;
    platform::TDynamicLibrary planted =
        platform::TDynamicLibrary::Load("planted-library.dll", &error);
    EXPECT_FALSE(planted.IsLoaded());
    EXPECT_EQ(error.Code, static_cast<unsigned long>(ERROR_MOD_NOT_FOUND));

    fs::copy_file(UPDATER_PLANTED_LIBRARY, onPath / "planted-library.dll");
    std::wstring path(32768, L'\0');
    path.resize(GetEnvironmentVariableW(L"PATH", path.data(), 32768));
    SetEnvironmentVariableW(L"PATH", (onPath.wstring() + L";" + path).c_str());
    platform::TDynamicLibrary found = platform::TDynamicLibrary::Load("planted-library.dll");
    EXPECT_TRUE(found.IsLoaded());
    EXPECT_NE(GetModuleHandleW((onPath / "planted-library.dll").wstring().c_str()), nullptr);
    EXPECT_EQ(GetModuleHandleW((current / "planted-library.dll").wstring().c_str()), nullptr);
    found.Free();
    SetEnvironmentVariableW(L"PATH", path.c_str());
    fs::current_path(before);
}
#endif

} // namespace
