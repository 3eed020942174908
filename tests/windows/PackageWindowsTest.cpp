// The update package on Windows, run for real (under Wine on the build computer): packages made
// from the built package program with zips written by the tests.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "platform/PayloadFormat.h"
#include "platform/Process.h"
#include "platform/win32/WindowsSupport.h"
#include "tests/support/PackageMaker.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestZip.h"
#include "tools/payload/ProgramCheck.h"

namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

fs::path FromUtf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::set<std::string> NamesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(Utf8(entry.path().filename()));
    }
    return names;
}

// Started as the updater starts it: no arguments, the given working folder.
int RunPackage(const fs::path& package, const fs::path& folder) {
    auto process = platform::TProcess::Start(Utf8(fs::path(package).make_preferred()), std::nullopt,
                                             Utf8(folder), SW_HIDE);
    return process.IsStarted() ? process.Wait() : -1;
}

std::string BinaryContent(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    return bytes;
}

std::uint64_t ArchiveStart(const fs::path& package) {
    const auto file = platform::TFile::OpenRead(Utf8(package));
    const auto directory = ReadPayloadDirectory(file);
    const TPayloadEntry* archive = directory ? directory->Find("ARCHIVE", "files") : nullptr;
    if (archive == nullptr) {
        throw std::runtime_error("no archive in " + Utf8(package));
    }
    return archive->Offset;
}

std::string Attached(const fs::path& zip, const fs::path& package) {
    WritePayload(UPDATER_PACKAGE_STUB, {{"ARCHIVE", "files", Utf8(zip)}}, Utf8(package));
    return Utf8(package);
}

TEST(PackageWindows, DeliversTheFilesByteForByteAndReplacesThoseThere) {
    TTempFolder temp;
    const fs::path in = temp.Path() / "in";
    WriteBytes(in / "Kormant.exe", BinaryContent(700000));
    WriteBytes(in / "Kormant.chm", std::string(300000, 'h'));
    WriteBytes(in / "QUV_UDF.dll", BinaryContent(50000));
    WriteBytes(in / FromUtf8("Справка.txt"), "Справка\r\n");
    const fs::path folder = temp.Path() / "New";
    const auto package = folder / "files.exe";
    fs::create_directories(folder);
    BuildTestPackage(package, {in / "Kormant.exe", in / "Kormant.chm", in / "QUV_UDF.dll",
                               in / FromUtf8("Справка.txt")});
    // Older files of the same names: one plain, one read-only.
    WriteBytes(folder / "Kormant.chm", "old help");
    WriteBytes(folder / "QUV_UDF.dll", "old library");
    fs::permissions(folder / "QUV_UDF.dll", fs::perms::owner_write, fs::perm_options::remove);

    ASSERT_EQ(RunPackage(package, folder), 0);
    EXPECT_EQ(NamesIn(folder), (std::set<std::string>{"files.exe", "Kormant.exe", "Kormant.chm",
                                                      "QUV_UDF.dll", "Справка.txt"}));
    for (const auto& entry : fs::directory_iterator(in)) {
        SCOPED_TRACE(Utf8(entry.path().filename()));
        EXPECT_EQ(ReadBytes(folder / entry.path().filename()), ReadBytes(entry.path()));
    }
}

// What Windows knows of a delivered file: its attributes and time.
struct TFileFacts {
    bool ReadOnly = false;
    std::time_t ModifiedAt = 0;
};

TFileFacts FactsOf(const fs::path& file) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
        throw std::runtime_error("no attributes of " + Utf8(file));
    }
    const std::uint64_t steps =
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
        data.ftLastWriteTime.dwLowDateTime;
    return {(data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0,
            static_cast<std::time_t>(steps / 10000000 - 11644473600)};
}

// There are no modes on Windows: a Unix entry without the owner's write bit becomes read-only,
// every other file stays writable; the time comes from the extended timestamp.
TEST(PackageWindows, EntriesGetTheirNameTimeAndReadOnlyAttribute) {
    struct TCase {
        TTestZipEntry Entry;
        bool ReadOnly;
    };
    const std::vector<TCase> cases{
        {{"Kormant.exe", BinaryContent(300000), true, 0755, 1500000000}, false},
        {{"Readme.txt", "stored as it is\r\n", false, 0644, 1500000100}, false},
        {{"Locked.ini", "[Main]\r\n", true, 0444, 1500000200}, true},
        {{"FromDos.txt", "made on DOS\r\n", true, std::nullopt, 1500000300}, false},
        {{"Empty.log", "", false, std::nullopt, 1500000400}, false},
        // UTF-8 with the flag bit 11.
        {{"Справка по программе.chm", std::string(70000, 'c'), true, 0644, 1500000500}, false},
    };
    TTempFolder temp;
    std::vector<TTestZipEntry> entries;
    for (const auto& item : cases) {
        entries.push_back(item.Entry);
    }
    WriteTestZip(temp.Path() / "files.zip", entries);
    const auto folder = temp.Path() / "Program";
    const auto package = temp.Path() / "files.exe";
    fs::create_directories(folder);
    Attached(temp.Path() / "files.zip", package);

    ASSERT_EQ(RunPackage(package, folder), 0);
    EXPECT_FALSE(fs::exists(temp.Path() / "files.exe.log"));
    EXPECT_EQ(NamesIn(folder).size(), cases.size());
    for (const auto& [entry, readOnly] : cases) {
        SCOPED_TRACE(entry.Name);
        const auto file = folder / FromUtf8(entry.Name);
        EXPECT_EQ(ReadBytes(file), entry.Content);
        const TFileFacts facts = FactsOf(file);
        EXPECT_EQ(facts.ReadOnly, readOnly);
        EXPECT_EQ(facts.ModifiedAt, entry.ModifiedAt);
    }
}

// One bad entry, or damaged data, stops the whole archive: nothing lands in the working folder,
// and the reason lies beside the package, which is elsewhere.
TEST(PackageWindows, OneBadEntryDeliversNothingAndTheReasonIsBesideThePackage) {
    const std::string good = BinaryContent(200000);
    struct TCase {
        std::string Entry;   // the second entry's name
        std::string Says;    // in the log
        bool Damage = false; // one byte of the second entry's packed data flipped
    };
    const std::vector<TCase> cases{
        {"Kormant.chm", "the package's archive is damaged: Kormant.chm: ", true},
        {"..\\x", "unsafe name in the archive: ..\\x"},
        {"C:x", "unsafe name in the archive: C:x"},
        {"a:b", "unsafe name in the archive: a:b"},
        {"CON", "unsafe name in the archive: CON"},
        {"aux.txt", "unsafe name in the archive: aux.txt"},
        {"Kormant.chm.", "unsafe name in the archive: Kormant.chm."},
        {"what?.txt", "unsafe name in the archive: what?.txt"},
    };
    TTempFolder temp;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].Entry);
        const auto run = temp.Path() / ("run" + std::to_string(i));
        const auto inside = run / "inside";
        const auto package = run / "package" / "files.exe";
        fs::create_directories(inside);
        fs::create_directories(package.parent_path());
        const auto places =
            WriteTestZip(run / "files.zip",
                         {{"Kormant.exe", good}, {cases[i].Entry, BinaryContent(100000) + good}});
        Attached(run / "files.zip", package);
        if (cases[i].Damage) {
            const auto at = static_cast<std::streamoff>(ArchiveStart(package) + places[1].Offset +
                                                        places[1].Size / 2);
            std::fstream file(package, std::ios::binary | std::ios::in | std::ios::out);
            file.seekg(at);
            const char byte = static_cast<char>(file.get() ^ 0x5A);
            file.seekp(at);
            file.put(byte);
        }
        EXPECT_EQ(RunPackage(package, inside), 1);
        EXPECT_TRUE(fs::is_empty(inside));
        EXPECT_EQ(NamesIn(package.parent_path()),
                  (std::set<std::string>{"files.exe", "files.exe.log"}));
        const std::string log = ReadBytes(fs::path(package).concat(".log"));
        EXPECT_EQ(log.find("update package: " + cases[i].Says), 0u) << log;
    }
}

TEST(PackageWindows, ThePackageProgramImportsOnlyTheSystemsDlls) {
    TTempFolder temp;
    const auto package = temp.Path() / "files.exe";
    WriteBytes(temp.Path() / "Kormant.chm", "help");
    BuildTestPackage(package, {temp.Path() / "Kormant.chm"});
    // The attached archive leaves the program's headers as they are.
    for (const fs::path& program : {fs::path(UPDATER_PACKAGE_STUB), package}) {
        SCOPED_TRACE(Utf8(program));
        const auto imported = PeImportedLibraries(Utf8(program));
        ASSERT_TRUE(imported.has_value());
        EXPECT_FALSE(imported->empty());
        for (const auto& library : *imported) {
            EXPECT_TRUE(IsSystemLibrary(library)) << library;
        }
    }
}

} // namespace
