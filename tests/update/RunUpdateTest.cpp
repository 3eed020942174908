#include "update/RunUpdate.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "platform/Failure.h"
#include "tests/support/FailureText.h"
#include "tests/support/RecordingOperator.h"
#include "tests/support/TempFolder.h"
#include "update/UpdateSeams.h"

namespace {

namespace fs = std::filesystem;
using TKind = TRecordedEvent::TKind;

const std::string kQuestionHead = "Программа обновления, исходя из заданного пути к обновляемой "
                                  "программе, обнаружила, что на данном компьютере установлены ";
const std::string kQuestionTail = " обновляемой программы.\rПродолжить обновление?";

std::string FailureOf(const std::string& root, TRecordingOperator& op) {
    return FailureText([&] { RunUpdate(root, "mirdelkoza", op); });
}

struct TPartsCase {
    bool Client;
    bool Server;
    const char* PartsText;
};

class QuestionNamesTheParts : public ::testing::TestWithParam<TPartsCase> {};

TEST_P(QuestionNamesTheParts, AsksWithTheExactText) {
    TTempFolder temp;
    temp.MakeFolder("Program");
    temp.MakeFolder("DB_Data");
    if (GetParam().Client) {
        temp.MakeFile("Program/Kormant.exe");
    }
    if (GetParam().Server) {
        temp.MakeFile("DB_Data/Kormant.fdb");
    }
    TRecordingOperator op;
    RunUpdate(temp.Str(), "mirdelkoza", op);
    const std::vector<TRecordedEvent> expected{
        {TKind::Question, kQuestionHead + GetParam().PartsText + kQuestionTail}};
    EXPECT_EQ(op.Events, expected);
}

INSTANTIATE_TEST_SUITE_P(PartsText, QuestionNamesTheParts,
                         ::testing::Values(TPartsCase{true, true, "КЛИЕНТСКАЯ и СЕРВЕРНАЯ части"},
                                           TPartsCase{true, false, "КЛИЕНТСКАЯ часть"},
                                           TPartsCase{false, true, "СЕРВЕРНАЯ часть"}),
                         [](const ::testing::TestParamInfo<TPartsCase>& info) {
                             return std::string(info.param.Client ? "Client" : "") +
                                    (info.param.Server ? "Server" : "");
                         });

TEST(RunUpdate, NoPartFoundFailsBeforeAnyQuestion) {
    TTempFolder temp;
    temp.MakeFile("Program/Other.exe");
    temp.MakeFolder("DB_Data");
    TRecordingOperator op;
    EXPECT_EQ(FailureOf(temp.Str(), op),
              "Программа обновления, исходя из заданного пути к обновляемой программе, не "
              "обнаружила на данном компьютере ни КЛИЕНТСКОЙ, ни СЕРВЕРНОЙ частей обновляемой "
              "программы!");
    EXPECT_TRUE(op.Events.empty());
}

TEST(RunUpdate, LayoutFailuresPassOnUnchanged) {
    TRecordingOperator op;
    EXPECT_EQ(FailureOf("", op), "Путь к обновляемой программе \"\" не найден!");
    EXPECT_TRUE(op.Events.empty());
}

TEST(RunUpdate, DecliningChangesNothingAndShowsNothingMore) {
    TTempFolder temp;
    temp.MakeFile("Program/Kormant.exe", "client 3");
    temp.MakeFile("DB_Data/Kormant.fdb", "database 3");
    TRecordingOperator op;
    op.Answers = {false};
    RunUpdate(temp.Str(), "mirdelkoza", op);
    ASSERT_EQ(op.Events.size(), 1u);
    EXPECT_EQ(op.Events[0].Kind, TKind::Question);

    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(temp.Path())) {
        names.push_back(fs::relative(entry.path(), temp.Path()).generic_string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"DB_Data", "DB_Data/Kormant.fdb", "Program",
                                               "Program/Kormant.exe"}));
}

} // namespace
