// The window's behaviour without any toolkit: a recording view shows what each handler asks
// the front end to do, in order.
#include "app/WindowLogic.h"

#include <gtest/gtest.h>
#include <stdexcept>

#include "app/ApplicationTitle.h"
#include "platform/Path.h"

namespace {

class TRecordingView : public TMainView {
public:
    std::vector<std::string> Events;
    std::string Root = "root";
    std::string Password = "pw";
    int BoxAnswer = mrYes;
    std::optional<std::string> Chosen;

    std::string RootText() const override { return Root; }
    void SetRootText(const std::string& text) override {
        Root = text;
        Events.push_back("root " + text);
    }
    std::string PasswordText() const override { return Password; }
    void SetPasswordText(const std::string& text) override {
        Password = text;
        Events.push_back("password " + text);
    }
    void SetTitle(const std::string& title) override { Events.push_back("title " + title); }
    void SetControlsEnabled(bool enabled) override {
        Events.push_back(enabled ? "enabled" : "disabled");
    }
    void SetProgressShown(bool shown) override {
        Events.push_back(shown ? "progress shown" : "progress hidden");
    }
    void ProcessEvents() override { Events.push_back("events"); }
    void CloseWindow() override { Events.push_back("close"); }
    void LogClear() override { Events.push_back("log clear"); }
    void LogAppend(const std::string& line) override { Events.push_back("log " + line); }
    int ShowBox(const TBoxRequest& box) override {
        Events.push_back(box.Caption + " box " + box.Text + " focus " + box.TabOrder.front() +
                         " esc " + box.CancelButton);
        return BoxAnswer;
    }
    void ShowFailureBox(const std::string& caption, const std::string& text) override {
        Events.push_back("failure " + caption + ": " + text);
    }
    std::optional<std::string> ChooseFolder(const std::string& root, TOperator&) override {
        Events.push_back("chooser at " + root);
        return Chosen;
    }
};

using TEvents = std::vector<std::string>;

TEST(WindowLogic, CreationSetsTheTitleFromTheProgramsNameAndTheDefaults) {
    TRecordingView view;
    TMainWindowLogic logic(view, {});
    logic.FormCreate(platform::FullPath("Updater.release4.exe"));
    EXPECT_EQ(view.Events, (TEvents{"title Updater.release4",
                                    "root " + std::string(platform::DefaultInstallationRoot),
                                    "password mirdelkoza"}));
    EXPECT_EQ(ApplicationTitle(), "Updater.release4");
}

TEST(WindowLogic, StartShowsProgressDisablesRunsRestoresAndThenShowsTheFailure) {
    TRecordingView view;
    TMainCommands commands;
    std::string received;
    commands.Update = [&](const std::string& root, const std::string& password, TOperator& op) {
        received = root + "|" + password;
        EXPECT_TRUE(op.AskYesNo("Продолжить?"));
        op.LogAppend("line");
        throw std::runtime_error("Обновление невозможно");
    };
    TMainWindowLogic logic(view, commands);
    ApplicationTitle() = "Updater";
    logic.OKBtnClick();
    EXPECT_EQ(received, "root|pw");
    EXPECT_EQ(view.Events,
              (TEvents{"progress shown", "events", "disabled",
                       "Information box Продолжить? focus No esc No", "log line", "enabled",
                       "events", "progress hidden", "failure Updater: Обновление невозможно."}));
    EXPECT_FALSE(logic.CommandRunning());
}

TEST(WindowLogic, OnLineAndTheChooserKeepTheirOwnSequences) {
    TRecordingView view;
    TMainCommands commands;
    commands.Online = [](const std::string&, const std::string&, TOperator& op) {
        op.ShowInformation("done");
    };
    TMainWindowLogic logic(view, commands);
    logic.bOnlineClick();
    EXPECT_EQ(view.Events,
              (TEvents{"disabled", "Information box done focus OK esc OK", "enabled"}));

    view.Events.clear();
    view.Chosen = "/chosen";
    logic.bbProgramLocationClick();
    view.Chosen.reset();
    logic.bbProgramLocationClick();
    EXPECT_EQ(view.Events, (TEvents{"chooser at root", "root /chosen", "chooser at /chosen"}));
}

TEST(WindowLogic, ClosingWhileACommandRunsEndsTheProgramWhenTheCommandReturns) {
    TRecordingView view;
    TMainCommands commands;
    TMainWindowLogic* running = nullptr;
    bool answer = true;
    commands.Update = [&](const std::string&, const std::string&, TOperator& op) {
        EXPECT_FALSE(running->CloseQuery());
        // The boxes that follow close at once: the question answers No.
        answer = op.AskYesNo("Продолжить?");
        op.ShowError("Ошибка");
        throw std::runtime_error("Нет связи с сервером");
    };
    TMainWindowLogic logic(view, commands);
    running = &logic;
    ApplicationTitle() = "Updater";
    logic.OKBtnClick();
    EXPECT_FALSE(answer);
    EXPECT_TRUE(logic.ProgramEnding());
    // The failure is not lost with the window: its box comes before the window goes.
    EXPECT_EQ(view.Events,
              (TEvents{"progress shown", "events", "disabled", "enabled", "events",
                       "progress hidden", "failure Updater: Нет связи с сервером.", "close"}));
    EXPECT_TRUE(logic.CloseQuery());
}

TEST(WindowLogic, AChooserThatFailsReachesTheFailureBox) {
    TRecordingView view;
    TMainCommands commands;
    commands.ChooseFolder = [](const std::string&, TOperator&) -> std::optional<std::string> {
        throw std::runtime_error("Невозможно прочитать папку");
    };
    TMainWindowLogic logic(view, commands);
    ApplicationTitle() = "Updater";
    logic.bbProgramLocationClick();
    EXPECT_EQ(view.Events, (TEvents{"failure Updater: Невозможно прочитать папку."}));
}

} // namespace
