// The program's only window: the root folder and password fields, the command buttons, the
// progress indicator and the script log pane.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "app/WindowLogic.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TAnimate;

// The Qt front end of the window (app/WindowLogic.h): it builds the widgets and forwards their
// events to the window logic.
class TfrmMain : public QWidget, private TMainView {
    Q_OBJECT
public:
    explicit TfrmMain(TMainCommands commands = TMainCommands::Default(), QWidget* parent = nullptr);

    // True while a button's command runs.
    bool CommandRunning() const { return Logic_.CommandRunning(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void OKBtnClick();
    void bOnlineClick();
    void bbProgramLocationClick();
    void CancelBtnClick();

private:
    std::string RootText() const override;
    void SetRootText(const std::string& text) override;
    std::string PasswordText() const override;
    void SetPasswordText(const std::string& text) override;
    void SetTitle(const std::string& title) override;
    void SetControlsEnabled(bool enabled) override;
    void SetProgressShown(bool shown) override;
    void ProcessEvents() override;
    void CloseWindow() override;
    void LogClear() override;
    void LogAppend(const std::string& line) override;
    int ShowBox(const TBoxRequest& box) override;
    void ShowFailureBox(const std::string& caption, const std::string& text) override;
    std::optional<std::string> ChooseFolder(const std::string& root, TOperator& op) override;

    TMainWindowLogic Logic_;

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
