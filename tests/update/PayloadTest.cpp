#include "update/Payload.h"

#include <csignal>
#include <future>
#include <gtest/gtest.h>
#include <thread>

#include "platform/File.h"
#include "platform/PayloadFormat.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FailureText.h"
#include "tests/support/RecordingOperator.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TreeSnapshot.h"

namespace {

namespace fs = std::filesystem;

// A carrier: some program bytes with the given entries attached.
std::string MakeCarrier(const TTempFolder& temp, const std::vector<TPayloadItem>& items,
                        const std::string& name = "carrier") {
    const auto program = temp.MakeFile(name + ".program", "\x7F"
                                                          "ELF stand-in program bytes");
    const auto carrier = temp.Path() / name;
    WritePayload(program.string(), items, carrier.string());
    return carrier.string();
}

const std::string kScript = "/* header */\r\nSET NAMES WIN1251;\r\n\xCF\xF0\xE8\xE2\xE5\xF2;\r\n";

TEST(PayloadFormat, EntriesAreFoundByTypeAndNameInAnyCase) {
    TTempFolder temp;
    const auto script = temp.MakeFile("script.sql", kScript);
    const auto package = temp.MakeFile("files.exe", std::string(70000, 'p'));
    const std::string carrier = MakeCarrier(
        temp, {{"TEXT", "SCRIPT", script.string()}, {"EXEFILE", "FILES", package.string()}});
    const auto file = platform::TFile::OpenRead(carrier);
    const auto directory = ReadPayloadDirectory(file);
    ASSERT_TRUE(directory);
    EXPECT_EQ(directory->Start, std::string("\x7F"
                                            "ELF stand-in program bytes")
                                    .size());
    const TPayloadEntry* entry = directory->Find("exefile", "files");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->Size, 70000u);
    EXPECT_EQ(directory->Find("TEXT", "files"), nullptr);
    // The program's own bytes stay in front, unchanged.
    EXPECT_EQ(ReadBytes(carrier).substr(0, directory->Start), "\x7F"
                                                              "ELF stand-in program bytes");
}

TEST(PayloadFormat, AttachingAgainReplacesThePayload) {
    TTempFolder temp;
    const auto first = temp.MakeFile("first.sql", std::string(5000, '1'));
    const auto second = temp.MakeFile("second.sql", "2");
    const std::string carrier = MakeCarrier(temp, {{"TEXT", "SCRIPT", first.string()}});
    WritePayload(carrier, {{"TEXT", "SCRIPT", second.string()}}, carrier);
    const auto file = platform::TFile::OpenRead(carrier);
    const auto directory = ReadPayloadDirectory(file);
    ASSERT_TRUE(directory);
    ASSERT_EQ(directory->Entries.size(), 1u);
    EXPECT_EQ(LoadScriptText(carrier), "2");
    EXPECT_LT(fs::file_size(carrier), 200u);
}

TEST(PayloadFormat, FilesWithoutOrWithADamagedTrailerCarryNothing) {
    TTempFolder temp;
    const auto script = temp.MakeFile("script.sql", kScript);
    const std::string carrier = MakeCarrier(temp, {{"TEXT", "SCRIPT", script.string()}});
    std::string bytes = ReadBytes(carrier);
    const auto plain = temp.MakeFile("plain", "no payload here, just enough bytes for a footer");
    // The directory offset (bytes 8 to 15 of the footer) made to point far past the end.
    bytes[bytes.size() - 17] = '\x7F';
    const auto damaged = temp.MakeFile("damaged", bytes);
    for (const auto& path : {plain, damaged}) {
        EXPECT_FALSE(ReadPayloadDirectory(platform::TFile::OpenRead(path.string()))) << path;
    }
}

// One byte flipped at the start, inside or at the end of either entry: the entry's own resource
// failure, and nothing is written where the package would go.
TEST(PayloadFormat, AFlippedByteInAnEntryFailsBeforeAnythingIsWritten) {
    TTempFolder temp;
    const auto script = temp.MakeFile("script.sql", kScript);
    const auto package = temp.MakeFile("package.bin", std::string(70000, 'p'));
    const std::string carrier = MakeCarrier(
        temp, {{"TEXT", "SCRIPT", script.string()}, {"EXEFILE", "FILES", package.string()}});
    const std::string bytes = ReadBytes(carrier);
    const auto directory = ReadPayloadDirectory(platform::TFile::OpenRead(carrier));
    ASSERT_TRUE(directory);
    const std::string target = (temp.Path() / "files.exe").string();
    struct {
        const char* Type;
        const char* Name;
        std::string Expected;
    } const cases[] = {
        {"TEXT", "SCRIPT", "Невозможно заблокировать ресурс \"script\"!"},
        {"EXEFILE", "FILES", "Ошибка работы с ресурсом \"files\"!\rStream read error"},
    };
    for (const auto& entryCase : cases) {
        const TPayloadEntry* entry = directory->Find(entryCase.Type, entryCase.Name);
        ASSERT_NE(entry, nullptr);
        for (const std::uint64_t at : {std::uint64_t{0}, entry->Size / 2, entry->Size - 1}) {
            std::string damaged = bytes;
            damaged[entry->Offset + at] ^= 0x01;
            const std::string path = temp.MakeFile("damaged", damaged).string();
            const std::string text = FailureText([&] {
                if (std::string(entryCase.Name) == "SCRIPT") {
                    LoadScriptText(path);
                } else {
                    SavePackage(target, path);
                }
            });
            EXPECT_EQ(text, entryCase.Expected) << entryCase.Name << " at " << at;
            EXPECT_FALSE(fs::exists(target));
        }
    }
    // The intact carrier gives both.
    EXPECT_EQ(LoadScriptText(carrier), kScript);
    SavePackage(target, carrier);
    EXPECT_EQ(ReadBytes(target), std::string(70000, 'p'));
}

TEST(LoadScriptText, ReturnsTheWholeScriptUpToAZeroByte) {
    TTempFolder temp;
    const auto whole = temp.MakeFile("whole.sql", kScript);
    const auto cut = temp.MakeFile("cut.sql", kScript + std::string(1, '\0') + "after");
    EXPECT_EQ(LoadScriptText(MakeCarrier(temp, {{"TEXT", "script", whole.string()}}, "a")),
              kScript);
    EXPECT_EQ(LoadScriptText(MakeCarrier(temp, {{"text", "SCRIPT", cut.string()}}, "b")), kScript);
}

TEST(LoadScriptText, FailuresGiveTheFixedTexts) {
    TTempFolder temp;
    const auto package = temp.MakeFile("files.exe", "p");
    const std::string noScript = MakeCarrier(temp, {{"EXEFILE", "FILES", package.string()}});
    EXPECT_EQ(FailureText([&] { LoadScriptText(noScript); }), "Не найден ресурс \"script\"!");
    EXPECT_EQ(FailureText([&] { LoadScriptText((temp.Path() / "missing").string()); }),
              "Невозможно загрузить ресурс \"script\"!");
}

TEST(LoadScriptText, ThisProgramCarriesTheBuildsScript) {
    EXPECT_EQ(LoadScriptText(), ReadBytes(UPDATER_PAYLOAD_SCRIPT));
}

TEST(SavePackage, WritesThePackageByteForByteWithTheRunBitOverAnOldFile) {
    TTempFolder temp;
    std::string packageBytes(300000, '\0');
    for (std::size_t i = 0; i < packageBytes.size(); ++i) {
        packageBytes[i] = static_cast<char>(i * 7919 % 251);
    }
    const auto package = temp.MakeFile("package.bin", packageBytes);
    const std::string carrier = MakeCarrier(temp, {{"EXEFILE", "FILES", package.string()}});
    const auto target = temp.MakeFile("New/files.exe", std::string(500000, 'o'));
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);

    const auto previous = fs::current_path();
    fs::current_path(temp.Path());
    SavePackage("New/files.exe", carrier); // relative to the current folder
    fs::current_path(previous);

    EXPECT_EQ(ReadBytes(target), packageBytes);
    EXPECT_NE(fs::status(target).permissions() & fs::perms::owner_exec, fs::perms::none);
}

TEST(SavePackage, FailuresArePrefixedWithTheResourceText) {
    TTempFolder temp;
    const auto script = temp.MakeFile("script.sql", kScript);
    const auto package = temp.MakeFile("package.bin", "package");
    const std::string noPackage = MakeCarrier(temp, {{"TEXT", "SCRIPT", script.string()}}, "a");
    const std::string withPackage =
        MakeCarrier(temp, {{"EXEFILE", "FILES", package.string()}}, "b");
    const std::string prefix = "Ошибка работы с ресурсом \"files\"!\r";
    const std::string target = (temp.Path() / "New/files.exe").string();
    EXPECT_EQ(FailureText([&] { SavePackage(target, noPackage); }),
              prefix + "Resource files not found");
    EXPECT_EQ(FailureText([&] { SavePackage(target, withPackage); }),
              prefix + "Cannot create file " + target);
}

TEST(SavePackage, AFullDiskGivesAStreamWriteError) {
    TTempFolder temp;
    TSmallDisk disk(temp.Path(), 8);
    if (!disk.Available()) {
        GTEST_SKIP() << "no loop mount here";
    }
    const auto package = temp.MakeFile("package.bin", std::string(12 << 20, 'p'));
    const std::string carrier = MakeCarrier(temp, {{"EXEFILE", "FILES", package.string()}});
    EXPECT_EQ(FailureText([&] { SavePackage((disk.Path() / "files.exe").string(), carrier); }),
              "Ошибка работы с ресурсом \"files\"!\rStream write error");
}

TEST(RunAndWait, RunsInTheProgramsFolderAndLetsTheQueueRunBeforeAndAfter) {
    TTempFolder temp;
    const auto folder = temp.MakeFolder("New folder");
    const auto program = folder / "files.exe";
    fs::copy_file(ChildProgramPath(), program);
    const auto report = temp.Path() / "report.txt";
    TRecordingOperator op;
    EXPECT_EQ(RunAndWait(program.string(), " report " + report.string(), 1, op), 0);
    EXPECT_EQ(op.EventRuns, 2);
    EXPECT_EQ(ReadBytes(report).substr(0, folder.string().size() + 1), folder.string() + "\n");
    EXPECT_EQ(RunAndWait(program.string(), " exit 42", 1, op), 42);
}

TEST(RunAndWait, AProgramThatCannotStartFails) {
    TTempFolder temp;
    const auto garbage = temp.MakeFile("files.exe", "neither ELF nor a script");
    fs::permissions(garbage, fs::perms::owner_all);
    TRecordingOperator op;
    for (const auto& program : {garbage, temp.Path() / "missing.exe"}) {
        EXPECT_EQ(FailureText([&] { RunAndWait(program.string(), std::nullopt, 1, op); }),
                  "Невозможно запустить внешнюю программу!");
    }
    EXPECT_EQ(op.EventRuns, 0);
}

TEST(RunAndWait, WaitsWithoutLimitUntilTheProgramEnds) {
    TTempFolder temp;
    const std::string pidFile = (temp.Path() / "pid").string();
    TRecordingOperator op;
    auto run = std::async(std::launch::async, [&] {
        return RunAndWait(ChildProgramPath(), " wait " + pidFile, 1, op);
    });
    while (ReadPidFile(pidFile) <= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(run.wait_for(std::chrono::milliseconds(700)), std::future_status::timeout);
    kill(ReadPidFile(pidFile), SIGTERM);
    EXPECT_EQ(run.get(), 128 + SIGTERM);
}

} // namespace
