// The release engineer's tools, run for real: the package builder and the packages it makes,
// and the payload packer with the updaters it makes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <optional>
#include <set>

#include "platform/OwnExecutable.h"
#include "platform/PayloadFormat.h"
#include "platform/Process.h"
#include "tests/support/Command.h"
#include "tests/support/PackageMaker.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TreeSnapshot.h"
#include "tools/payload/ProgramCheck.h"

namespace {

namespace fs = std::filesystem;

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

int RunInFolder(const fs::path& program, const fs::path& folder,
                const std::optional<std::string>& parameters = std::nullopt) {
    auto process = platform::TProcess::Start(program.string(), parameters, folder.string(), 1);
    return process.IsStarted() ? process.Wait() : -1;
}

std::set<std::string> NamesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::uint32_t Little(const std::string& bytes, std::size_t offset, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    }
    return value;
}

// The package's zip: where it lies in the package file, and its records (it has no comment).
struct TZipPlace {
    std::uint64_t Start = 0;
    std::string Bytes;
    std::size_t Directory() const { return Little(Bytes, Bytes.size() - 6, 4); }
    // The offset of the `index`th central directory record.
    std::size_t Record(int index) const {
        std::size_t at = Directory();
        for (int i = 0; i < index; ++i) {
            at += 46 + Little(Bytes, at + 28, 2) + Little(Bytes, at + 30, 2) +
                  Little(Bytes, at + 32, 2);
        }
        return at;
    }
};

TZipPlace ZipOf(const fs::path& package) {
    const auto file = platform::TFile::OpenRead(package.string());
    const auto directory = ReadPayloadDirectory(file);
    const TPayloadEntry* archive = directory ? directory->Find("ARCHIVE", "files") : nullptr;
    if (archive == nullptr) {
        throw std::runtime_error("no archive in " + package.string());
    }
    TZipPlace place{archive->Offset, std::string(archive->Size, '\0')};
    file.ReadAt(archive->Offset, place.Bytes.data(), place.Bytes.size());
    return place;
}

void FlipByte(const fs::path& file, std::uint64_t offset) {
    std::fstream stream(file, std::ios::binary | std::ios::in | std::ios::out);
    stream.seekg(static_cast<std::streamoff>(offset));
    const char byte = static_cast<char>(stream.get() ^ 0x5A);
    stream.seekp(static_cast<std::streamoff>(offset));
    stream.put(byte);
}

std::string BinaryContent(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    return bytes;
}

class PackageBuilder : public ::testing::Test {
protected:
    void SetUp() override {
        Exe = Temp.MakeFile("in/Kormant.exe", BinaryContent(700000));
        fs::permissions(Exe, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
        Chm = Temp.MakeFile("in/Kormant.chm", std::string(300000, 'h'));
        fs::last_write_time(Chm, fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
        Udf = Temp.MakeFile("in/QUV_UDF.dll", BinaryContent(50000));
    }

    TCommandResult Build(const fs::path& output, const std::vector<fs::path>& files,
                         const std::string& stub = "") {
        std::string command = Quoted(UPDATER_BUILD_PACKAGE) + " -o " + Quoted(output) +
                              (stub.empty() ? "" : " --stub " + Quoted(stub));
        for (const auto& file : files) {
            command += " " + Quoted(file);
        }
        return RunCommand(command);
    }

    TTempFolder Temp;
    fs::path Exe, Chm, Udf;
};

TEST_F(PackageBuilder, ThePackagePutsTheFilesIntoItsFolderAndEnds) {
    const auto package = Temp.Path() / "New/files.exe";
    fs::create_directories(package.parent_path());
    ASSERT_EQ(Build(package, {Exe, Chm, Udf}).ExitCode, 0);
    // An older file of the same name is replaced.
    Temp.MakeFile("New/Kormant.chm", "old help");

    ASSERT_EQ(RunInFolder(package, package.parent_path()), 0);
    TTreeSnapshot expected = SnapshotOf(Temp.Path() / "in");
    expected["files.exe"] = ReadBytes(package);
    EXPECT_EQ(SnapshotOf(package.parent_path()), expected);
    EXPECT_EQ(fs::status(Temp.Path() / "New/Kormant.exe").permissions(),
              fs::status(Exe).permissions());
    EXPECT_EQ(std::chrono::floor<std::chrono::seconds>(
                  fs::last_write_time(Temp.Path() / "New/Kormant.chm")),
              std::chrono::floor<std::chrono::seconds>(fs::last_write_time(Chm)));
}

TEST_F(PackageBuilder, RefusesWhatWouldNotWork) {
    const auto clash = Temp.MakeFile("other/kormant.EXE", "another file of the same name");
    const auto missing = Temp.Path() / "in/missing.dll";
    struct TCase {
        std::vector<fs::path> Files;
        std::string Stub;
        std::string Says;
    };
    // A package program that needs more than the C library would not start everywhere.
    const std::string dynamic = UPDATER_ATTACH_PAYLOAD;
    for (const auto& [files, stub, says] :
         {TCase{{Exe, clash}, "", "two files named kormant.EXE"},
          TCase{{missing}, "", "not a readable file"},
          TCase{{Exe},
                dynamic,
                "the package program " + dynamic + " needs libraries beyond the C library: "},
          TCase{{Exe}, Chm.string(), "is not a 64-bit ELF or a PE program"}}) {
        const auto result = Build(Temp.Path() / "refused.exe", files, stub);
        EXPECT_EQ(result.ExitCode, 1) << result.Output;
        EXPECT_NE(result.Output.find(says), std::string::npos) << result.Output;
        EXPECT_EQ(NamesIn(Temp.Path()), (std::set<std::string>{"in", "other"}));
    }
    const auto package = Temp.Path() / "files.exe";
    ASSERT_EQ(Build(package, {Exe}).ExitCode, 0);
    EXPECT_EQ(RunInFolder(package, Temp.Path(), " unexpected"), 2);
}

TEST_F(PackageBuilder, ADamagedArchiveDeliversNoFileAndLeavesItsReasonBesideThePackage) {
    const auto built = Temp.Path() / "built.exe";
    ASSERT_EQ(Build(built, {Exe, Chm, Udf}).ExitCode, 0);
    const TZipPlace zip = ZipOf(built);
    // The middle of the second file's data, behind its local header, name and extra field.
    const std::size_t second = Little(zip.Bytes, zip.Record(1) + 42, 4);
    const std::size_t secondData = second + 30 + Little(zip.Bytes, second + 26, 2) +
                                   Little(zip.Bytes, second + 28, 2) +
                                   Little(zip.Bytes, zip.Record(1) + 20, 4) / 2;
    struct TCase {
        const char* Damage;
        std::function<void(const fs::path&)> Apply;
    };
    const std::vector<TCase> cases{
        {"first file's data", [](const fs::path& package) { DamagePackageArchive(package); }},
        {"second file's data",
         [&](const fs::path& package) { FlipByte(package, zip.Start + secondData); }},
        // Found only after the first two files were unpacked.
        {"last file's checksum in the central directory",
         [&](const fs::path& package) { FlipByte(package, zip.Start + zip.Record(2) + 17); }},
        {"central directory's first record",
         [&](const fs::path& package) { FlipByte(package, zip.Start + zip.Directory()); }},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].Damage);
        const auto package = Temp.Path() / ("run" + std::to_string(i)) / "files.exe";
        fs::create_directories(package.parent_path());
        fs::copy_file(built, package);
        cases[i].Apply(package);
        EXPECT_EQ(RunInFolder(package, package.parent_path()), 1);
        EXPECT_EQ(NamesIn(package.parent_path()),
                  (std::set<std::string>{"files.exe", "files.exe.log"}));
        const std::string log = ReadBytes(package.string() + ".log");
        EXPECT_EQ(log.find("update package: the package's archive is damaged: "), 0u) << log;
    }
}

TEST_F(PackageBuilder, AFolderItCannotWriteGetsNothingAndTheReasonIsBesideThePackage) {
    const auto package = Temp.Path() / "New/files.exe";
    fs::create_directories(package.parent_path());
    ASSERT_EQ(Build(package, {Exe, Chm}).ExitCode, 0);
    const auto folder = Temp.MakeFolder("Program");
    // Permission bits do not stop root; an immutable folder does.
    std::optional<TImmutable> lock;
    if (geteuid() == 0) {
        lock.emplace(folder);
        if (!lock->Available()) {
            GTEST_SKIP() << "running as root, and chattr +i is not available here";
        }
    } else {
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    }
    EXPECT_EQ(RunInFolder(package, folder), 1);
    lock.reset();
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_TRUE(fs::is_empty(folder));
    const std::string log = ReadBytes(package.string() + ".log");
    EXPECT_EQ(log.find("update package: cannot write into the folder " + folder.string() + ": "),
              0u)
        << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;

    // Once the folder can be written, the package delivers and takes the stale log away.
    EXPECT_EQ(RunInFolder(package, folder), 0);
    EXPECT_EQ(NamesIn(folder), (std::set<std::string>{"Kormant.exe", "Kormant.chm"}));
    EXPECT_EQ(NamesIn(package.parent_path()), std::set<std::string>{"files.exe"});
}

// Archives of another zip writer: stored and deflated entries with DOS times only are unpacked;
// one unsafe or unreadable entry stops the whole archive.
TEST_F(PackageBuilder, AZipFromElsewhereIsUnpackedOnlyWhenEveryEntryIsSafe) {
    const auto maker = Temp.MakeFile("make_zip.py", R"(import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as archive:
    for item in sys.argv[2:]:
        kind, name = item.split("=", 1)
        name = name.replace("<0A>", "\n")
        entry = zipfile.ZipInfo(name, (2021, 3, 4, 5, 6, 8))
        entry.create_system = 3
        entry.external_attr = (0o120777 if kind == "link" else 0o100640) << 16
        entry.compress_type = {"stored": zipfile.ZIP_STORED,
                               "bzip2": zipfile.ZIP_BZIP2}.get(kind, zipfile.ZIP_DEFLATED)
        archive.writestr(entry, ("content of " + name + "\n") * 1000)
)");
    struct TCase {
        std::string Entry;
        std::string Says; // empty: both files are delivered
    };
    const std::vector<TCase> cases{
        {"stored=Readme.txt", ""},
        {"deflated=../evil.txt", "unsafe name in the archive: ../evil.txt"},
        {"deflated=sub/evil.txt", "unsafe name in the archive: sub/evil.txt"},
        {"deflated=sub\\evil.txt", "unsafe name in the archive: sub\\evil.txt"},
        {"deflated=C:evil.txt", "unsafe name in the archive: C:evil.txt"},
        {"deflated=..", "unsafe name in the archive: .."},
        // Names Windows would take for a device or change: refused on every system alike.
        {"deflated=aux.txt", "unsafe name in the archive: aux.txt"},
        {"deflated=Readme.", "unsafe name in the archive: Readme."},
        // A line break in a name must not start a line of its own in the log.
        {"deflated=line<0A>break", "unsafe name in the archive: line\\x0Abreak\n"},
        {"link=evil.txt", "not a plain file in the archive: evil.txt"},
        {"deflated=KORMANT.EXE", "two files named KORMANT.EXE in the archive"},
        {"bzip2=evil.txt", "evil.txt, which this package program cannot unpack: packed by method"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].Entry);
        const auto folder = Temp.MakeFolder("run" + std::to_string(i) + "/inside");
        const auto zip = folder.parent_path() / "files.zip";
        const auto made = RunCommand("python3 " + Quoted(maker) + " " + Quoted(zip) +
                                     " deflated=Kormant.exe '" + cases[i].Entry + "'");
        ASSERT_EQ(made.ExitCode, 0) << made.Output;
        const auto package = folder / "files.exe";
        WritePayload(UPDATER_PACKAGE_STUB, {{"ARCHIVE", "files", zip.string()}}, package.string());
        if (cases[i].Says.empty()) {
            ASSERT_EQ(RunInFolder(package, folder), 0);
            std::string readme;
            for (int line = 0; line < 1000; ++line) {
                readme += "content of Readme.txt\n";
            }
            EXPECT_EQ(ReadBytes(folder / "Readme.txt"), readme);
            struct stat info {};
            ASSERT_EQ(stat((folder / "Kormant.exe").c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, 0640u);
            std::tm local{};
            local.tm_year = 121, local.tm_mon = 2, local.tm_mday = 4;
            local.tm_hour = 5, local.tm_min = 6, local.tm_sec = 8, local.tm_isdst = -1;
            EXPECT_EQ(info.st_mtime, std::mktime(&local));
            continue;
        }
        EXPECT_EQ(RunInFolder(package, folder), 1);
        EXPECT_EQ(NamesIn(folder), (std::set<std::string>{"files.exe", "files.exe.log"}));
        EXPECT_EQ(NamesIn(folder.parent_path()), (std::set<std::string>{"files.zip", "inside"}));
        const std::string log = ReadBytes(package.string() + ".log");
        EXPECT_NE(log.find(cases[i].Says), std::string::npos) << log;
    }
}

// The libraries a program needs, as readelf lists them.
std::vector<std::string> ReadelfNeeded(const fs::path& program) {
    const std::string output = RunCommand("LC_ALL=C readelf -d " + Quoted(program)).Output;
    std::vector<std::string> needed;
    const std::string mark = "(NEEDED)             Shared library: [";
    for (auto at = output.find(mark); at != std::string::npos; at = output.find(mark, at)) {
        at += mark.size();
        needed.push_back(output.substr(at, output.find(']', at) - at));
    }
    return needed;
}

TEST(ProgramCheck, ReadsTheLibrariesAProgramNeedsAsReadelfDoes) {
    TTempFolder temp;
    const auto package = temp.Path() / "files.exe";
    BuildTestPackage(package, {temp.MakeFile("Kormant.chm", "help")});
    // The package program and the packages need nothing beyond the C library.
    for (const fs::path& program : {fs::path(UPDATER_PACKAGE_STUB), package}) {
        SCOPED_TRACE(program);
        const auto needed = ElfNeededLibraries(program.string());
        ASSERT_TRUE(needed.has_value());
        EXPECT_EQ(*needed, ReadelfNeeded(program));
        EXPECT_TRUE(std::all_of(needed->begin(), needed->end(), IsPartOfTheCLibrary));
    }
    // Programs with shared libraries: the same names in the same order.
    for (const fs::path& program :
         {fs::path(UPDATER_ATTACH_PAYLOAD), fs::path(platform::OwnExecutablePath())}) {
        SCOPED_TRACE(program);
        const auto expected = ReadelfNeeded(program);
        EXPECT_GE(expected.size(), 2u);
        EXPECT_EQ(ElfNeededLibraries(program.string()), expected);
    }
    const auto cut = temp.MakeFile("cut.exe", "\177ELF, cut short");
    EXPECT_EQ(ElfNeededLibraries(cut.string()), std::nullopt);
}

// Two small Windows programs built for these tests by MinGW-w64 (which the Windows build
// installs): one that needs the C++ run time's DLLs, one linked statically.
struct TWindowsPrograms {
    fs::path Shared, Static;
};

const TWindowsPrograms& WindowsPrograms() {
    static const TTempFolder folder;
    static const TWindowsPrograms programs = [] {
        const auto source = folder.MakeFile("main.cpp", R"(#include <string>
int main(int count, char**) { return static_cast<int>(std::string(count, 'x').size()); }
)");
        const TWindowsPrograms made{folder.Path() / "shared.exe", folder.Path() / "static.exe"};
        for (const auto& [program, options] :
             {std::pair{made.Shared, ""}, std::pair{made.Static, " -static"}}) {
            const auto built = RunCommand("x86_64-w64-mingw32-g++ -O1" + std::string(options) +
                                          " -o " + Quoted(program) + " " + Quoted(source));
            if (built.ExitCode != 0) {
                throw std::runtime_error("cannot build a Windows program: " + built.Output);
            }
        }
        return made;
    }();
    return programs;
}

// The DLLs a PE program imports, as MinGW's objdump lists them.
std::vector<std::string> ObjdumpImports(const fs::path& program) {
    const std::string output =
        RunCommand("LC_ALL=C x86_64-w64-mingw32-objdump -p " + Quoted(program)).Output;
    std::vector<std::string> imported;
    const std::string mark = "DLL Name: ";
    for (auto at = output.find(mark); at != std::string::npos; at = output.find(mark, at)) {
        at += mark.size();
        imported.push_back(output.substr(at, output.find('\n', at) - at));
    }
    return imported;
}

TEST(ProgramCheck, ReadsTheDllsAWindowsProgramImportsAsObjdumpDoes) {
    for (const fs::path& program : {WindowsPrograms().Shared, WindowsPrograms().Static}) {
        SCOPED_TRACE(program);
        const auto expected = ObjdumpImports(program);
        EXPECT_GE(expected.size(), 2u);
        EXPECT_EQ(PeImportedLibraries(program.string()), expected);
    }
    const auto shared = PeImportedLibraries(WindowsPrograms().Shared.string()).value();
    EXPECT_FALSE(std::all_of(shared.begin(), shared.end(), IsSystemLibrary));
    const auto own = PeImportedLibraries(WindowsPrograms().Static.string()).value();
    EXPECT_TRUE(std::all_of(own.begin(), own.end(), IsSystemLibrary));
}

void PutLittle(std::string& bytes, std::size_t offset, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        bytes[offset + i] = static_cast<char>(value >> (8 * i));
    }
}

// A 32-bit PE (PE32) made by hand: one section at 0x1000 with its file data at 0x200, holding the
// DLLs' names and then the import directory (two DLLs and the closing zero descriptor).
std::string HandMadePe32() {
    std::string pe(0x400, '\0');
    pe.replace(0, 2, "MZ");
    PutLittle(pe, 0x3C, 0x40, 4);
    pe.replace(0x40, 4, std::string("PE\0\0", 4));
    PutLittle(pe, 0x44, 0x14C, 2);        // i386
    PutLittle(pe, 0x46, 1, 2);            // one section
    PutLittle(pe, 0x54, 96 + 16 * 8, 2);  // the optional header's size
    PutLittle(pe, 0x58, 0x10B, 2);        // PE32
    PutLittle(pe, 0x58 + 92, 16, 4);      // data directories
    PutLittle(pe, 0x58 + 104, 0x1020, 4); // the import directory
    PutLittle(pe, 0x58 + 108, 60, 4);
    const std::size_t section = 0x58 + 96 + 16 * 8;
    pe.replace(section, 6, ".idata");
    PutLittle(pe, section + 8, 0x200, 4);
    PutLittle(pe, section + 12, 0x1000, 4);
    PutLittle(pe, section + 16, 0x200, 4);
    PutLittle(pe, section + 20, 0x200, 4);
    pe.replace(0x200, 12, "KERNEL32.dll");
    pe.replace(0x210, 10, "helper.dll");
    PutLittle(pe, 0x220 + 12, 0x1000, 4);
    PutLittle(pe, 0x234 + 12, 0x1010, 4);
    return pe;
}

TEST(ProgramCheck, ReadsAPe32ProgramAndRefusesWhatDoesNotAddUp) {
    struct TCase {
        const char* Change;
        std::function<void(std::string&)> Apply;
        std::optional<std::vector<std::string>> Expected;
    };
    const std::size_t section = 0x58 + 96 + 16 * 8;
    const std::vector<TCase> cases{
        {"none", [](std::string&) {}, std::vector<std::string>{"KERNEL32.dll", "helper.dll"}},
        {"no import directory", [](std::string& pe) { PutLittle(pe, 0x58 + 104, 0, 4); },
         std::vector<std::string>{}},
        {"cut inside the section", [](std::string& pe) { pe.resize(0x300); }, std::nullopt},
        {"a name outside every section",
         [](std::string& pe) { PutLittle(pe, 0x220 + 12, 0x3000, 4); }, std::nullopt},
        {"a name that runs to the section's end",
         [](std::string& pe) {
             pe[0x3FF] = 'n';
             PutLittle(pe, 0x234 + 12, 0x11FF, 4);
         },
         std::nullopt},
        {"a section that ends before the closing descriptor",
         [&](std::string& pe) { PutLittle(pe, section + 16, 0x48, 4); }, std::nullopt},
        {"neither PE32 nor PE32+", [](std::string& pe) { PutLittle(pe, 0x58, 0x107, 2); },
         std::nullopt},
        {"no PE signature", [](std::string& pe) { pe[0x41] = 'X'; }, std::nullopt},
    };
    TTempFolder temp;
    for (const auto& [change, apply, expected] : cases) {
        SCOPED_TRACE(change);
        std::string pe = HandMadePe32();
        apply(pe);
        EXPECT_EQ(PeImportedLibraries(temp.MakeFile("program.exe", pe).string()), expected);
    }
    EXPECT_TRUE(IsSystemLibrary("KERNEL32.dll"));
    EXPECT_FALSE(IsSystemLibrary("helper.dll"));
}

TEST_F(PackageBuilder, TakesAWindowsPackageProgramThatImportsOnlyTheSystemsDlls) {
    const auto refused =
        Build(Temp.Path() / "refused.exe", {Chm}, WindowsPrograms().Shared.string());
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_NE(refused.Output.find(" needs DLLs beyond the system's own: libstdc++-6.dll"),
              std::string::npos)
        << refused.Output;
    EXPECT_FALSE(fs::exists(Temp.Path() / "refused.exe"));

    const auto package = Temp.Path() / "files.exe";
    ASSERT_EQ(Build(package, {Chm}, WindowsPrograms().Static.string()).ExitCode, 0);
    const auto file = platform::TFile::OpenRead(package.string());
    const auto directory = ReadPayloadDirectory(file);
    ASSERT_TRUE(directory.has_value());
    EXPECT_EQ(directory->Start, fs::file_size(WindowsPrograms().Static));
    EXPECT_NE(directory->Find("ARCHIVE", "files"), nullptr);
}

class PayloadPacker : public ::testing::Test {
protected:
    void SetUp() override {
        Updater = Temp.Path() / "Updater";
        fs::copy_file(UPDATER_PAYLOAD_PROBE, Updater);
        Script =
            Temp.MakeFile("Update.sql", "SET NAMES WIN1251;\r\n\xC2\xE5\xF0\xF1\xE8\xFF 4;\r\n");
        Package = Temp.Path() / "files.exe";
        fs::copy_file(UPDATER_PAYLOAD_PROBE, Package);
    }

    TCommandResult Attach(const fs::path& script, const fs::path& package,
                          const std::string& output = "") {
        return RunCommand(Quoted(UPDATER_ATTACH_PAYLOAD) + " --script " + Quoted(script) +
                          " --package " + Quoted(package) +
                          (output.empty() ? "" : " -o " + Quoted(output)) + " " + Quoted(Updater));
    }

    TTempFolder Temp;
    fs::path Updater, Script, Package;
};

TEST_F(PayloadPacker, TheMadeUpdaterReadsItsScriptAndWritesItsPackage) {
    ASSERT_EQ(Attach(Script, Package).ExitCode, 0);
    const auto size = fs::file_size(Updater);
    const auto scriptOut = Temp.Path() / "script.out";
    const auto packageOut = Temp.Path() / "package.out";
    ASSERT_EQ(
        RunInFolder(Updater, Temp.Path(), " " + scriptOut.string() + " " + packageOut.string()), 0);
    EXPECT_EQ(ReadBytes(scriptOut), ReadBytes(Script));
    EXPECT_EQ(ReadBytes(packageOut), ReadBytes(Package));

    // Attaching again replaces the payload instead of stacking a second one.
    const auto other = Temp.MakeFile("Other.sql", "select 2 from rdb$database;\r\n");
    ASSERT_EQ(Attach(other, Package).ExitCode, 0);
    ASSERT_EQ(
        RunInFolder(Updater, Temp.Path(), " " + scriptOut.string() + " " + packageOut.string()), 0);
    EXPECT_EQ(ReadBytes(scriptOut), ReadBytes(other));
    EXPECT_LT(fs::file_size(Updater), size + 100);
}

TEST_F(PayloadPacker, WritesToAnotherFileWhenAsked) {
    const auto before = ReadBytes(Updater);
    ASSERT_EQ(Attach(Script, Package, (Temp.Path() / "Updater-4").string()).ExitCode, 0);
    EXPECT_EQ(ReadBytes(Updater), before);
    EXPECT_EQ(RunInFolder(Temp.Path() / "Updater-4", Temp.Path(),
                          " " + (Temp.Path() / "s").string() + " " + (Temp.Path() / "p").string()),
              0);
}

TEST_F(PayloadPacker, RefusesAScriptWithAZeroByteAndAPackageThatIsNotAProgram) {
    const auto zero = Temp.MakeFile("zero.sql", std::string("select 1;\r\n\0rest", 16));
    const auto text = Temp.MakeFile("files.txt", "MZ but no PE signature behind it");
    const auto before = ReadBytes(Updater);
    struct TCase {
        fs::path Script;
        fs::path Package;
        std::string Says;
    };
    for (const auto& [script, package, says] :
         {TCase{zero, Package, "holds a zero byte at offset 11"},
          TCase{Script, text, "is not a program"}}) {
        const auto result = Attach(script, package);
        EXPECT_EQ(result.ExitCode, 1);
        EXPECT_NE(result.Output.find(says), std::string::npos) << result.Output;
    }
    EXPECT_EQ(ReadBytes(Updater), before);
}

TEST_F(PayloadPacker, AcceptsAWindowsProgramAsThePackage) {
    std::string pe(0x100, '\0');
    pe[0] = 'M';
    pe[1] = 'Z';
    pe[0x3C] = static_cast<char>(0x80);
    pe.replace(0x80, 4, std::string("PE\0\0", 4));
    const auto windowsPackage = Temp.MakeFile("files-win.exe", pe);
    ASSERT_EQ(Attach(Script, windowsPackage).ExitCode, 0);
    const auto packageOut = Temp.Path() / "package.out";
    ASSERT_EQ(RunInFolder(Updater, Temp.Path(),
                          " " + (Temp.Path() / "s").string() + " " + packageOut.string()),
              0);
    EXPECT_EQ(ReadBytes(packageOut), pe);
}

} // namespace
