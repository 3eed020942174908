// The program's window drawn with plain Win32: the root folder and password fields, the command
// buttons, the progress indicator and the script log pane, over the toolkit-free window logic
// (app/WindowLogic.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/WindowLogic.h"
#include "app/win32/Handles.h"

namespace win32ui {

// The window, its controls and their owner. The controls of the connection group, of the log
// group and of the button panel are real children of them: the containers pass their children's
// notifications on to the window, and the tab key walks into them (WS_EX_CONTROLPARENT).
class TfrmMain : private TMainView {
public:
    // `executablePath` names the program whose file name titles the window; empty: this program.
    explicit TfrmMain(TMainCommands commands = TMainCommands::Default(),
                      const std::string& executablePath = {});
    ~TfrmMain() override;
    TfrmMain(const TfrmMain&) = delete;
    TfrmMain& operator=(const TfrmMain&) = delete;

    HWND Handle() const { return Window_.Get(); }
    // The control of that name ("frmMain" is the window); nullptr when there is none.
    HWND Control(std::string_view name) const;
    // The tool tip window that holds the buttons' hints.
    HWND ToolTip() const { return ToolTip_; }
    bool CommandRunning() const { return Logic_.CommandRunning(); }

    // Shows the window with the keyboard focus in the root folder field.
    void Show(int showCommand);
    // The program's message loop: runs until the window is closed; the exit code.
    int Run();

    // One message handled as the window handles it: the dialog keys (Tab, the arrows) first.
    static void Dispatch(MSG& message);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void OnCommand(HWND control, int id);

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
    // The fonts outlive the window that uses them.
    TFont Font_;
    TFont BoldFont_;
    // The window; the system destroys its controls and the tool tip with it.
    TWindow Window_;
    std::vector<std::pair<std::string, HWND>> Controls_;
    HWND ToolTip_ = nullptr;
    // Where the keyboard focus was when the controls were disabled or the window deactivated.
    HWND SavedFocus_ = nullptr;
    bool QuitOnDestroy_ = false;
};

} // namespace win32ui
