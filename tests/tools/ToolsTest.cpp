// The release engineer's tools, run for real: the package builder and the packages it makes,
// and the payload packer with the updaters it makes.
#include <gtest/gtest.h>

#include "platform/Process.h"
#include "tests/support/Command.h"
#include "tests/support/PackageMaker.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TreeSnapshot.h"

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

    TCommandResult Build(const fs::path& output, const std::vector<fs::path>& files) {
        std::string command = Quoted(UPDATER_BUILD_PACKAGE) + " -o " + Quoted(output);
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

TEST_F(PackageBuilder, ADamagedPackageFailsAndDeliversNoDamagedFile) {
    const auto package = Temp.Path() / "files.exe";
    ASSERT_EQ(Build(package, {Exe, Chm, Udf}).ExitCode, 0);
    DamagePackageArchive(package);
    const auto damaged = Temp.MakeFile("out/files.exe", ReadBytes(package));
    fs::permissions(damaged, fs::perms::owner_all);
    EXPECT_EQ(RunInFolder(damaged, damaged.parent_path()), 1);
    for (const auto& [name, content] : SnapshotOf(damaged.parent_path())) {
        if (name != "files.exe") {
            EXPECT_EQ(content, ReadBytes(Temp.Path() / "in" / name)) << name;
        }
    }
    EXPECT_LT(SnapshotOf(damaged.parent_path()).size(), 4u);
}

TEST_F(PackageBuilder, RefusesWhatWouldNotWork) {
    const auto clash = Temp.MakeFile("other/kormant.EXE", "another file of the same name");
    const auto missing = Temp.Path() / "in/missing.dll";
    for (const auto& files : {std::vector<fs::path>{Exe, clash}, std::vector<fs::path>{missing}}) {
        const auto result = Build(Temp.Path() / "refused.exe", files);
        EXPECT_EQ(result.ExitCode, 1) << result.Output;
        EXPECT_FALSE(fs::exists(Temp.Path() / "refused.exe"));
    }
    const auto package = Temp.Path() / "files.exe";
    ASSERT_EQ(Build(package, {Exe}).ExitCode, 0);
    EXPECT_EQ(RunInFolder(package, Temp.Path(), " unexpected"), 2);
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
