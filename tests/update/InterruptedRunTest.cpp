// Update runs killed at every copy of their phase C (the backup, the apply, the rollback): the
// next Start finds the interrupted run by its journal, puts the installation back exactly as it
// was, and then updates it.
#include <algorithm>
#include <cctype>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/File.h"
#include "tests/support/ClientOnlyRun.h"
#include "tests/support/PackageMaker.h"
#include "tests/support/RecordingOperator.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TreeSnapshot.h"
#include "tests/update/RunRecordEvents.h"
#include "update/FileOperations.h"
#include "update/RunJournal.h"
#include "update/UpdateSeams.h"

namespace {

namespace fs = std::filesystem;
using TKind = TRecordedEvent::TKind;

int gCopies = 0;
int gKillAt = 0;

void CountAndKill(const std::string&) {
    if (++gCopies == gKillAt) {
        std::raise(SIGKILL);
    }
}

// Answers every question Yes and keeps the client folder as it was when the update's own
// question came.
class TOperatorSayingYes : public TRecordingOperator {
public:
    fs::path Program;
    TTreeSnapshot AtQuestion;
    bool AskYesNo(const std::string& text) override {
        TRecordingOperator::AskYesNo(text);
        if (text == kClientOnlyQuestion) {
            AtQuestion = DetailedSnapshotOf(Program);
        }
        return true;
    }
};

class InterruptedRun : public ::testing::Test {
protected:
    void SetUp() override {
        NewExe = Temp.MakeFile("release4/Kormant.exe", "client release 4");
        NewChm = Temp.MakeFile("release4/Kormant.chm", "help release 4");
        NewUdf = Temp.MakeFile("release4/QUV_UDF.dll", "udf release 4");
        Good = MakeTestCarrier(Temp.Path() / "good", BuildTestPackage(Temp.Path() / "good.exe",
                                                                      {NewExe, NewChm, NewUdf}));
        // Without the help file the apply fails after the new client went in: a rollback.
        Failing = MakeTestCarrier(Temp.Path() / "failing",
                                  BuildTestPackage(Temp.Path() / "failing.exe", {NewExe, NewUdf}));
    }

    // A client-only installation of release 3 at a new root.
    fs::path LayOut(const std::string& name) {
        const fs::path root = Temp.MakeFolder(name);
        Temp.MakeFile(name + "/Program/Kormant.exe", "client release 3");
        Temp.MakeFile(name + "/Program/Kormant.chm", "help release 3");
        Temp.MakeFile(name + "/Program/Kormant.ini", "[SERVER]\nDataBaseClient=fbclient.dll\n");
        Temp.MakeFile(name + "/Program/Reports/Invoice.frf", std::string(40000, 'r'));
        fs::permissions(root / "Program/Kormant.ini", fs::perms::owner_read);
        fs::last_write_time(root / "Program/Reports",
                            fs::last_write_time(root / "Program/Kormant.exe") -
                                std::chrono::hours(9));
        fs::create_symlink("Kormant.exe", root / "Program/Kormant.lnk");
        Temp.MakeFolder(name + "/DB_Data");
        return root;
    }

    // Runs an update in a child process that is killed right after its `killAt`-th copy;
    // returns whether it was killed.
    static bool RunKilledAt(const fs::path& root, const std::string& carrier, int killAt) {
        const pid_t child = fork();
        if (child == 0) {
            gCopies = 0;
            gKillAt = killAt;
            SetCopyObserver(CountAndKill);
            TOperatorSayingYes op;
            op.Program = root / "Program";
            try {
                RunUpdate(root.string(), "", op, ClientOnlySeams(carrier));
            } catch (...) {
            }
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    static std::optional<TRunState> LatestState(const fs::path& root) {
        std::optional<TRunState> state;
        for (const auto& staging : StagingFoldersUnder(root)) {
            const auto read = ReadRunJournal(staging.string());
            if (read.Outcome == TJournalRead::TOutcome::Read) {
                state = read.Journal.State;
            }
        }
        return state;
    }

    // The Program folders that restores set aside in the staging folders under `root`.
    static std::vector<TTreeSnapshot> KeptPrograms(const fs::path& root) {
        std::vector<TTreeSnapshot> kept;
        for (const auto& staging : StagingFoldersUnder(root)) {
            for (const auto& entry : fs::directory_iterator(staging)) {
                if (entry.path().filename().string().rfind("Replaced", 0) == 0 &&
                    fs::exists(entry.path() / "Program")) {
                    kept.push_back(DetailedSnapshotOf(entry.path() / "Program"));
                }
            }
        }
        return kept;
    }

    // Interrupts an update of the installation at `root` at the first copy of its apply;
    // returns its client folder as it was before that run.
    TTreeSnapshot InterruptInTheApply(const fs::path& root) {
        for (int killAt = 1;; ++killAt) {
            const TTreeSnapshot before = DetailedSnapshotOf(root / "Program");
            if (!RunKilledAt(root, Good, killAt)) {
                ADD_FAILURE() << "no kill point after the apply began";
                return before;
            }
            if (LatestState(root) == TRunState::ApplyBegun) {
                return before;
            }
            // Killed before its apply: put the installation back for the next try.
            fs::remove_all(root);
            LayOut(root.filename().string());
        }
    }

    TTempFolder Temp;
    fs::path NewExe, NewChm, NewUdf;
    std::string Good, Failing;
};

TEST_F(InterruptedRun, EveryKillPointIsUndoneByTheNextStart) {
    int killPoints = 0;
    int undone = 0;
    int attempts = 0;
    for (const std::string* carrier : {&Good, &Failing}) {
        for (int killAt = 1;; ++killAt) {
            const std::string name = "k" + std::to_string(attempts++);
            const fs::path root = LayOut(name);
            const TTreeSnapshot before = DetailedSnapshotOf(root / "Program");
            if (!RunKilledAt(root, *carrier, killAt)) {
                break; // the run ended before its killAt-th copy
            }
            ++killPoints;
            SCOPED_TRACE("kill after copy " + std::to_string(killAt) +
                         (carrier == &Good ? " of a run that succeeds" : " of a rollback"));
            const bool applyBegan = LatestState(root) == TRunState::ApplyBegun;
            const TTreeSnapshot left = DetailedSnapshotOf(root / "Program");

            TOperatorSayingYes op;
            op.Program = root / "Program";
            RunUpdate(root.string(), "", op, ClientOnlySeams(Good));
            std::vector<TRecordedEvent> expected;
            if (applyBegan) {
                ++undone;
                ASSERT_FALSE(op.Events.empty());
                const auto quote = op.Events[0].Text.find('"');
                const std::string staging = op.Events[0].Text.substr(
                    quote + 1, op.Events[0].Text.find('"', quote + 1) - quote - 1);
                expected = {{TKind::Question, InterruptedQuestionText(staging)},
                            {TKind::Information, kRollbackDoneText}};
            }
            expected.push_back({TKind::Question, kClientOnlyQuestion});
            expected.push_back({TKind::Information, kSuccessText});
            EXPECT_EQ(Boxes(op), expected);
            // Exactly the state before the interrupted run: bytes, owners, modes, times, links.
            EXPECT_EQ(op.AtQuestion, before);
            if (applyBegan) {
                // What the kill left is kept, not deleted.
                EXPECT_EQ(KeptPrograms(root), std::vector<TTreeSnapshot>{left});
            }
            TTreeSnapshot updated = SnapshotOf(root / "Program");
            EXPECT_EQ(updated["Kormant.exe"], "client release 4");
            EXPECT_EQ(updated["Kormant.chm"], "help release 4");
        }
    }
    std::cout << killPoints << " kill points, " << undone << " of them after the apply began\n";
    EXPECT_GT(undone, 0);
    EXPECT_GT(killPoints, undone);
}

// The root's tree as `before`, the run records aside.
void ExpectUnchangedButTheRecords(const fs::path& root, TTreeSnapshot before) {
    TTreeSnapshot after = DetailedSnapshotOf(root);
    LeaveOutRunRecords(before, after);
    EXPECT_EQ(after, before);
}

TEST_F(InterruptedRun, BadJournalsAndBackupsEndInAClearTextOrAreLeftAlone) {
    const auto interrupted = [&](const std::string& name) {
        const fs::path root = LayOut(name);
        InterruptInTheApply(root);
        return std::pair{root, StagingFoldersUnder(root).at(0)};
    };
    const auto run = [&](const fs::path& root, bool answer) {
        TRecordingOperator op;
        op.Answers = {answer, answer};
        std::string failure;
        try {
            RunUpdate(root.string(), "", op, ClientOnlySeams(Good));
        } catch (const std::exception& e) {
            failure = e.what();
        }
        return std::pair{Boxes(op), failure};
    };
    {
        // No: nothing changes, and the run ends with its text.
        const auto [root, staging] = interrupted("no");
        const auto state = DetailedSnapshotOf(root);
        const auto [boxes, failure] = run(root, false);
        EXPECT_EQ(failure, InterruptedRefusedText(staging.string()));
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].Text, InterruptedQuestionText(staging.string()));
        ExpectUnchangedButTheRecords(root, state);
    }
    {
        // A backup deleted by hand: said so, nothing restored, nothing asked.
        const auto [root, staging] = interrupted("nobackup");
        fs::remove_all(staging / "Old/Program");
        const auto state = DetailedSnapshotOf(root);
        const auto [boxes, failure] = run(root, true);
        EXPECT_EQ(failure, MissingBackupText(staging.string(), root.string()));
        EXPECT_TRUE(boxes.empty());
        ExpectUnchangedButTheRecords(root, state);
    }
    {
        // Program gone (a restore killed between moving it aside and moving the copy in): the
        // journal says the run covered it, so it is put back all the same.
        const auto [root, staging] = interrupted("gone");
        const auto program = SnapshotOf(staging / "Old/Program");
        fs::remove_all(root / "Program");
        const auto [boxes, failure] = run(root, true);
        EXPECT_EQ(failure, "");
        ASSERT_EQ(boxes.size(), 4u);
        EXPECT_EQ(boxes[1].Text, kRollbackDoneText);
        EXPECT_EQ(boxes[2].Text, kClientOnlyQuestion);
        EXPECT_EQ(SnapshotOf(staging / "Old/Program"), program);
    }
    // Journals changed after the run was interrupted in its apply; every Start is answered No.
    const auto overwrite = [](const fs::path& staging,
                              const std::function<void(std::string&)>& change) {
        const std::string journal = RunJournalPath(staging.string());
        std::string bytes = ReadBytes(journal);
        change(bytes);
        std::ofstream(journal, std::ios::binary | std::ios::trunc) << bytes;
    };
    const auto rewriteRoot = [](const fs::path& staging,
                                const std::function<void(std::string&)>& change) {
        TRunJournal journal = ReadRunJournal(staging.string()).Journal;
        change(journal.Root);
        WriteRunJournal(staging.string(), journal);
    };
    enum class TNext { Refuses, AsksToRestore, AsksToUpdate };
    struct TRow {
        const char* Name;
        std::function<void(const fs::path& staging)> Change;
        TNext Next;
        std::string (*RefusalText)(const std::string& staging);
    };
    const TRow rows[] = {
        // Neither a damaged journal nor a newer updater's can say what the run covered: no
        // restore from a backup that may be the wrong one, nothing asked, a text that says what
        // to do.
        {"damaged",
         [&](const fs::path& staging) {
             overwrite(staging, [](std::string& b) { b[b.size() / 2] ^= 0x20; });
         },
         TNext::Refuses, DamagedJournalText},
        {"newer",
         [&](const fs::path& staging) {
             overwrite(staging,
                       [](std::string& b) { b = "Version=2\nState=Stage3\nRoot=elsewhere\n"; });
         },
         TNext::Refuses, NewerJournalText},
        // The root as the system compares paths: a trailing delimiter is the same folder, another
        // letter case another folder on Linux.
        {"trailing",
         [&](const fs::path& staging) { rewriteRoot(staging, [](std::string& r) { r += "/"; }); },
         TNext::AsksToRestore, nullptr},
        {"lettercase",
         [&](const fs::path& staging) {
             rewriteRoot(staging, [](std::string& r) {
                 std::transform(r.begin(), r.end(), r.begin(),
                                [](char c) { return static_cast<char>(std::toupper(c)); });
             });
         },
         TNext::AsksToUpdate, nullptr},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        const auto [root, staging] = interrupted(row.Name);
        row.Change(staging);
        const auto state = DetailedSnapshotOf(root);
        const auto [boxes, failure] = run(root, false);
        const std::vector<std::vector<std::string>> expectedBoxes{
            {}, {InterruptedQuestionText(staging.string())}, {kClientOnlyQuestion}};
        const std::string expectedFailure[] = {row.RefusalText ? row.RefusalText(staging.string())
                                                               : "",
                                               InterruptedRefusedText(staging.string()), ""};
        const auto next = static_cast<std::size_t>(row.Next);
        EXPECT_EQ(failure, expectedFailure[next]);
        std::vector<std::string> texts;
        for (const auto& box : boxes) {
            texts.push_back(box.Text);
        }
        EXPECT_EQ(texts, expectedBoxes[next]);
        ExpectUnchangedButTheRecords(root, state);
    }
    {
        // A journal copied in from another installation is not this installation's run.
        const auto [other, staging] = interrupted("other");
        const fs::path root = LayOut("mine");
        fs::create_directories(root / staging.filename());
        fs::copy_file(RunJournalPath(staging.string()),
                      RunJournalPath((root / staging.filename()).string()));
        const auto [boxes, failure] = run(root, false);
        EXPECT_EQ(failure, "");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].Text, kClientOnlyQuestion);
    }
}

TEST_F(InterruptedRun, ASecondRunKilledAnywhereLeavesTheLatestGoodStateToRestore) {
    // The first run is interrupted in its apply; the second is killed at each copy in turn, in
    // its restore of the first or in its own update. The third restores what was there before
    // the first and then updates.
    int killPoints = 0;
    for (int killAt = 1;; ++killAt) {
        const fs::path root = LayOut("second" + std::to_string(killAt));
        const TTreeSnapshot before = InterruptInTheApply(root);
        const TTreeSnapshot left = DetailedSnapshotOf(root / "Program");
        if (!RunKilledAt(root, Good, killAt)) {
            break;
        }
        ++killPoints;
        SCOPED_TRACE("second run killed after copy " + std::to_string(killAt));
        TOperatorSayingYes op;
        op.Program = root / "Program";
        RunUpdate(root.string(), "", op, ClientOnlySeams(Good));
        EXPECT_EQ(Boxes(op).back().Text, kSuccessText);
        EXPECT_EQ(op.AtQuestion, before);
        const auto kept = KeptPrograms(root);
        EXPECT_NE(std::find(kept.begin(), kept.end(), left), kept.end())
            << "the Program left by the first run is not kept";
        EXPECT_EQ(SnapshotOf(root / "Program")["Kormant.exe"], "client release 4");
    }
    std::cout << killPoints << " kill points of the second run\n";
    EXPECT_GT(killPoints, 0);
}

} // namespace
