// The program's only window: the root folder and password fields, the command buttons, the
// progress indicator and the script log pane.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "update/Operator.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TAnimate;

// The commands behind the buttons. Each receives the operator, through which it shows its own
// boxes. An empty command is not present yet: its button does nothing beyond its enabling steps.
struct TMainCommands {
    std::function<void(const std::string& root, const std::string& password, TOperator& op)> Update;
    std::function<void(const std::string& root, const std::string& password, TOperator& op)> Online;
    // Returns the chosen folder, or nothing when the operator cancelled.
    std::function<std::optional<std::string>(QWidget* owner, const std::string& root,
                                             TOperator& op)>
        ChooseFolder;

    // The program's own commands.
    static TMainCommands Default();
};

class TfrmMain : public QWidget, private TOperator {
    Q_OBJECT
public:
    explicit TfrmMain(TMainCommands commands = TMainCommands::Default(), QWidget* parent = nullptr);

    // True while a button's command runs.
    bool CommandRunning() const { return CommandRunning_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void OKBtnClick();
    void bOnlineClick();
    void bbProgramLocationClick();
    void CancelBtnClick();

private:
    void FormCreate();
    void SetControlsEnabled(bool enabled);
    // Runs `command` with the window marked busy; a failure is shown after `restore` has run.
    void RunCommand(const std::function<void()>& command, const std::function<void()>& restore);

    void ShowInformation(const std::string& text) override;
    void ShowError(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    void LogClear() override;
    void LogAppend(const std::string& line) override;
    void ProcessEvents() override;

    TMainCommands Commands_;
    bool CommandRunning_ = false;

    QGroupBox* gbConnection = nullptr;
    QLabel* lProgramLocation = nullptr;
    QLineEdit* eProgramLocation = nullptr;
    QPushButton* bbProgramLocation = nullptr;
    QLabel* lPassword = nullptr;
    QLineEdit* ePassword = nullptr;
    QLabel* Label1 = nullptr;
    QGroupBox* gbLog = nullptr;
    QPlainTextEdit* mLog = nullptr;
    QWidget* Bevel1 = nullptr;
    QWidget* pBtn = nullptr;
    TAnimate* aProgress = nullptr;
    QLabel* lProgress = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* bOnline = nullptr;
    QPushButton* CancelBtn = nullptr;
};

// The password the window offers by default (the root is the platform's default installation
// root, platform/Path.h).
extern const char* const kDefaultPassword;
