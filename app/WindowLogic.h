// The window's behaviour, free of any toolkit: what each button does and in which order, what
// the boxes are, and the operator side of a running command. A front end (Qt, Win32) draws it
// through TMainView and forwards its events here; it decides nothing.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "update/Operator.h"

// Results of the framed boxes.
inline constexpr int mrOk = 1;
inline constexpr int mrClosed = 2;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;

enum class TBoxKind { Information, Error };
enum class TBoxButtons { Ok, YesNo };

struct TBoxButton {
    std::string Name;    // "Yes", "No", "OK"
    std::string Caption; // with "&" before the access key
    int Result = mrOk;
    bool operator==(const TBoxButton&) const = default;
};

// A framed box as a view draws it: caption and icon from its kind, the message (a view turns lone
// CR and CR LF into its line breaks), the buttons Yes, No, OK in that order on screen. The first
// button of TabOrder holds the focus when the box opens; Enter presses the focused button, Esc
// the cancel button, a button's access key with or without Alt presses it, and closing the box
// gives mrClosed.
struct TBoxRequest {
    TBoxKind Kind = TBoxKind::Information;
    std::string Caption;
    std::string Text;
    std::vector<TBoxButton> Buttons;   // in their order on screen
    std::vector<std::string> TabOrder; // button names
    std::string CancelButton;          // the button Esc presses
    bool operator==(const TBoxRequest&) const = default;
};

// The boxes of the program: information and error with OK, the question with Yes and No, No
// first in the tab order.
TBoxRequest InformationBox(const std::string& text);
TBoxRequest ErrorBox(const std::string& text);
TBoxRequest QuestionBox(const std::string& text);

// The period rule: a non-empty message whose last character, as a code-page-1251 byte, is
// greater than the full stop gets a full stop appended.
std::string ApplyPeriodRule(const std::string& message);

// What a front end draws.
class TMainView {
public:
    virtual ~TMainView() = default;
    virtual std::string RootText() const = 0;
    virtual void SetRootText(const std::string& text) = 0;
    virtual std::string PasswordText() const = 0;
    virtual void SetPasswordText(const std::string& text) = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // The connection group and the button panel, together.
    virtual void SetControlsEnabled(bool enabled) = 0;
    // The progress label and the animation: shown and running, or hidden and stopped.
    virtual void SetProgressShown(bool shown) = 0;
    virtual void ProcessEvents() = 0;
    virtual void CloseWindow() = 0;
    virtual void LogClear() = 0;
    virtual void LogAppend(const std::string& line) = 0;
    // A framed box, modal; its result.
    virtual int ShowBox(const TBoxRequest& box) = 0;
    // The system's message box with the stop icon and OK.
    virtual void ShowFailureBox(const std::string& caption, const std::string& text) = 0;
    // The folder chooser, starting at `root`; nothing when the operator cancelled.
    virtual std::optional<std::string> ChooseFolder(const std::string& root, TOperator& op) = 0;
};

// The commands behind the buttons. Each receives the operator, through which it shows its own
// boxes. An empty command is not present: its button does nothing beyond its enabling steps;
// an empty ChooseFolder is the view's own chooser.
struct TMainCommands {
    std::function<void(const std::string& root, const std::string& password, TOperator& op)> Update;
    std::function<void(const std::string& root, const std::string& password, TOperator& op)> Online;
    std::function<std::optional<std::string>(const std::string& root, TOperator& op)> ChooseFolder;

    // The program's own commands.
    static TMainCommands Default();
};

// The password the window offers by default (the root is the platform's default installation
// root, platform/Path.h).
extern const char* const kDefaultPassword;

class TMainWindowLogic : public TOperator {
public:
    TMainWindowLogic(TMainView& view, TMainCommands commands);

    // The window's creation: the title from the executable's name, the default root and password.
    void FormCreate(const std::string& executablePath);

    void OKBtnClick();
    void bOnlineClick();
    void bbProgramLocationClick();
    void CancelBtnClick();
    // The operator closes the window; true when it may close now. While a command runs it stays
    // open, the program is marked as ending, the boxes the command still opens close at once,
    // and the window closes when the command returns, after the failure box of a failed command
    // (whose text also goes to the standard error stream).
    bool CloseQuery();

    bool CommandRunning() const { return CommandRunning_; }
    bool ProgramEnding() const { return ProgramEnding_; }

    // The default presentation of a failure: the system's box with the application title.
    void ShowFailure(const std::string& message);

    void ShowInformation(const std::string& text) override;
    void ShowError(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    void LogClear() override;
    void LogAppend(const std::string& line) override;
    void ProcessEvents() override;

private:
    // Runs `command` marked busy; a failure is shown after `restore` has run.
    void RunCommand(const std::function<void()>& command, const std::function<void()>& restore);
    int ShowBox(const TBoxRequest& box);

    TMainView& View_;
    TMainCommands Commands_;
    bool CommandRunning_ = false;
    bool ProgramEnding_ = false;
};
