// Loading libraries by name: the mapping of the Windows names, a missing file, a missing entry
// point.
#include "platform/DynamicLibrary.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

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

} // namespace
