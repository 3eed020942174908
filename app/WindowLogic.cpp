#include "app/WindowLogic.h"

#include <iostream>

#include "app/ApplicationTitle.h"
#include "platform/Path.h"
#include "update/RunOnlineCommand.h"
#include "update/RunUpdate.h"

const char* const kDefaultPassword = "mirdelkoza";

namespace {

const TBoxButton kYes{"Yes", "&Yes", mrYes};
const TBoxButton kNo{"No", "&No", mrNo};
const TBoxButton kOk{"OK", "OK", mrOk};

TBoxRequest OkBox(TBoxKind kind, const std::string& text) {
    return {kind, kind == TBoxKind::Information ? "Information" : "Error", text, {kOk}, {"OK"},
            "OK"};
}

} // namespace

TBoxRequest InformationBox(const std::string& text) {
    return OkBox(TBoxKind::Information, text);
}

TBoxRequest ErrorBox(const std::string& text) {
    return OkBox(TBoxKind::Error, text);
}

TBoxRequest QuestionBox(const std::string& text) {
    // No holds the focus: Enter right after the question appears answers No.
    return {TBoxKind::Information, "Information", text, {kYes, kNo}, {"No", "Yes"}, "No"};
}

std::string ApplyPeriodRule(const std::string& message) {
    if (message.empty()) {
        return message;
    }
    // The text is UTF-8. An ASCII last character keeps its own byte value; any other character
    // becomes a code-page-1251 byte of 0x80 or more (or "?" where it has none), always greater
    // than the full stop.
    const auto last = static_cast<unsigned char>(message.back());
    const bool greater = last >= 0x80 || last > '.';
    return greater ? message + "." : message;
}

TMainCommands TMainCommands::Default() {
    TMainCommands commands;
    commands.Update = [](const std::string& root, const std::string& password, TOperator& op) {
        RunUpdate(root, password, op);
    };
    commands.Online = RunOnlineCommand;
    return commands;
}

TMainWindowLogic::TMainWindowLogic(TMainView& view, TMainCommands commands)
    : View_(view), Commands_(std::move(commands)) {}

void TMainWindowLogic::FormCreate(const std::string& executablePath) {
    ApplicationTitle() = TitleFromExecutablePath(executablePath);
    View_.SetTitle(ApplicationTitle());
    View_.SetRootText(platform::DefaultInstallationRoot);
    View_.SetPasswordText(kDefaultPassword);
}

void TMainWindowLogic::RunCommand(const std::function<void()>& command,
                                  const std::function<void()>& restore) {
    CommandRunning_ = true;
    std::optional<std::string> failure;
    try {
        command();
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "Непредвиденная ошибка!";
    }
    restore();
    CommandRunning_ = false;

    if (ProgramEnding_) {
        // The operator closed the window while the command ran: the program ends now. A failure
        // is not lost with it: it goes to the standard error stream, and to the failure box
        // (the framed boxes are closed at once by then, the failure box is not), since a program
        // without a console would otherwise end in silence.
        if (failure) {
            std::cerr << *failure << '\n';
            ShowFailure(*failure);
        }
        View_.CloseWindow();
        return;
    }
    if (failure) {
        ShowFailure(*failure);
    }
}

void TMainWindowLogic::OKBtnClick() {
    View_.SetProgressShown(true);
    View_.ProcessEvents();
    View_.SetControlsEnabled(false);
    const std::string root = View_.RootText();
    const std::string password = View_.PasswordText();
    RunCommand(
        [&] {
            if (Commands_.Update) {
                Commands_.Update(root, password, *this);
            }
        },
        [this] {
            View_.SetControlsEnabled(true);
            View_.ProcessEvents();
            View_.SetProgressShown(false);
        });
}

void TMainWindowLogic::bOnlineClick() {
    View_.SetControlsEnabled(false);
    const std::string root = View_.RootText();
    const std::string password = View_.PasswordText();
    RunCommand(
        [&] {
            if (Commands_.Online) {
                Commands_.Online(root, password, *this);
            }
        },
        [this] { View_.SetControlsEnabled(true); });
}

void TMainWindowLogic::bbProgramLocationClick() {
    // Nothing is disabled around the chooser: it is modal itself. A failure inside it reaches the
    // failure box like any command's.
    RunCommand(
        [&] {
            const std::string root = View_.RootText();
            const auto chosen = Commands_.ChooseFolder ? Commands_.ChooseFolder(root, *this)
                                                       : View_.ChooseFolder(root, *this);
            if (chosen) {
                View_.SetRootText(*chosen);
            }
        },
        [] {});
}

void TMainWindowLogic::CancelBtnClick() {
    View_.CloseWindow();
}

bool TMainWindowLogic::CloseQuery() {
    if (CommandRunning_) {
        ProgramEnding_ = true;
        return false;
    }
    return true;
}

int TMainWindowLogic::ShowBox(const TBoxRequest& box) {
    return ProgramEnding_ ? mrClosed : View_.ShowBox(box);
}

void TMainWindowLogic::ShowFailure(const std::string& message) {
    View_.ShowFailureBox(ApplicationTitle(), ApplyPeriodRule(message));
}

void TMainWindowLogic::ShowInformation(const std::string& text) {
    ShowBox(InformationBox(text));
}

void TMainWindowLogic::ShowError(const std::string& text) {
    ShowBox(ErrorBox(text));
}

bool TMainWindowLogic::AskYesNo(const std::string& text) {
    return ShowBox(QuestionBox(text)) == mrYes;
}

void TMainWindowLogic::LogClear() {
    View_.LogClear();
}

void TMainWindowLogic::LogAppend(const std::string& line) {
    View_.LogAppend(line);
}

void TMainWindowLogic::ProcessEvents() {
    View_.ProcessEvents();
}
