// The OnLine command on real installations against the private server: the database of the
// installation is shut down by the server's own tool, and the command must bring it back.
#include "update/RunOnlineCommand.h"

#include <gtest/gtest.h>
#include <ostream>

#include "connectivity/service/FbClientBinding.h"
#include "tests/firebird/OwnDatabase.h"
#include "tests/support/FailureText.h"
#include "tests/support/RecordingOperator.h"
#include "tests/support/TempFolder.h"

namespace {

using TKind = TRecordedEvent::TKind;

const std::string kOnlineDone = "База данных переведена в многопользовательский режим.";

// An installation with both parts whose database is a real one of the test's own.
struct TServerInstallation {
    TTempFolder Root;
    std::unique_ptr<firebird_test::TOwnDatabase> Database;

    TServerInstallation() {
        Root.MakeFile("Program/Kormant.exe");
        Root.MakeFolder("DB_Data");
        Database = std::make_unique<firebird_test::TOwnDatabase>(
            (Root.Path() / "DB_Data/Kormant.fdb").string());
    }
};

TEST(RunOnlineCommand, BringsAShutDownDatabaseOnlineAndSaysSo) {
    TServerInstallation installation;
    installation.Database->ShutDown();
    ASSERT_NE(installation.Database->Attributes().find("multi-user maintenance"),
              std::string::npos);

    TRecordingOperator op;
    RunOnlineCommand(installation.Root.Str(), firebird_test::SysdbaPassword, op);

    EXPECT_EQ(op.Events, (std::vector<TRecordedEvent>{{TKind::Information, kOnlineDone}}));
    EXPECT_EQ(installation.Database->Attributes().find("maintenance"), std::string::npos);
    EXPECT_EQ(firebird_test::AttachFailure(installation.Database->DatabaseString(),
                                           firebird_test::OtherUser, firebird_test::OtherPassword),
              "");
}

TEST(RunOnlineCommand, OnlineDatabaseGivesTheServersRefusalUnchanged) {
    TServerInstallation installation;
    TRecordingOperator op;
    EXPECT_EQ(FailureText([&] {
                  RunOnlineCommand(installation.Root.Str(), firebird_test::SysdbaPassword, op);
              }),
              "Target shutdown mode is invalid for database \"" + installation.Database->Path() +
                  "\"");
    EXPECT_TRUE(op.Events.empty());
}

// Refusals made before the server is contacted: the client library is not even loaded.
struct TRefusalCase {
    const char* Name;
    bool DatabaseFile;
    const char* Password;
    const char* Expected;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const TRefusalCase& c, std::ostream* os) {
    *os << c.Name;
}

class RunOnlineCommandRefuses : public ::testing::TestWithParam<TRefusalCase> {};

TEST_P(RunOnlineCommandRefuses, WithoutContactingTheServer) {
    const TRefusalCase& c = GetParam();
    TTempFolder root;
    root.MakeFile("Program/Kormant.exe");
    root.MakeFolder("DB_Data");
    if (c.DatabaseFile) {
        root.MakeFile("DB_Data/Kormant.fdb");
    }
    TRecordingOperator op;
    EXPECT_EQ(FailureText([&] { RunOnlineCommand(root.Str(), c.Password, op); }), c.Expected);
    EXPECT_TRUE(op.Events.empty());
    EXPECT_FALSE(FbClientBinding().IsLoaded());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunOnlineCommandRefuses,
    ::testing::Values(
        TRefusalCase{"NoServerPart", false, "mirdelkoza",
                     "Программа обновления, исходя из заданного пути к обновляемой программе, "
                     "обнаружила, что на данном компьютере отсутствует СЕРВЕРНАЯ часть "
                     "обновляемой программы, поэтому выполнение данной функции невозможно!"},
        TRefusalCase{"BlankPassword", true, "  ", "Не задан пароль!"},
        TRefusalCase{"EmptyPassword", true, "", "Не задан пароль!"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
