#include "app/win32/TfrmMain.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>

#include "app/win32/FramedBox.h"
#include "app/win32/TfrmChoiceFolder.h"
#include "app/win32/WideText.h"
#include "app/win32/WindowFont.h"
#include "platform/OwnExecutable.h"

namespace win32ui {

namespace {

constexpr wchar_t kWindowClass[] = L"UpdaterMainWindow";
constexpr wchar_t kPanelClass[] = L"UpdaterPanel";
constexpr int kClientWidth = 433;
constexpr int kClientHeight = 393;
constexpr COLORREF kMaroon = RGB(0x80, 0x00, 0x00);
constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// IDOK and IDCANCEL are what the dialog keys send when no button is the default; the controls'
// identifiers stay clear of them, so Enter and Esc in the window press nothing.
enum TControlId : int {
    idGbConnection = 1001,
    idLProgramLocation,
    idEProgramLocation,
    idBbProgramLocation,
    idLPassword,
    idEPassword,
    idLabel1,
    idGbLog,
    idMLog,
    idBevel1,
    idPBtn,
    idAProgress,
    idLProgress,
    idOKBtn,
    idBOnline,
    idCancelBtn,
};

struct TControlRow {
    const char* Name;
    const char* Parent;
    int Id;
    const wchar_t* Class;
    DWORD Style;
    DWORD ExStyle;
    int X, Y, Width, Height;
    const char* Text;
    const char* Hint;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kContainer = WS_EX_CONTROLPARENT;

// In creation order, which is the tab order. The log pane fills its group below the group's
// title, 2 px from its frame.
const TControlRow kControls[] = {
    {"gbConnection", "frmMain", idGbConnection, L"Button", kChild | BS_GROUPBOX | WS_CLIPCHILDREN,
     kContainer, 8, 15, 417, 138, " Подключение  ", nullptr},
    {"lProgramLocation", "gbConnection", idLProgramLocation, L"Static",
     kChild | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 8, 25, 167, 13,
     "Путь к обновляемой программе:", nullptr},
    {"eProgramLocation", "gbConnection", idEProgramLocation, L"Edit",
     kChild | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 8, 40, 369, 21, "",
     nullptr},
    {"bbProgramLocation", "gbConnection", idBbProgramLocation, L"Button",
     kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, 384, 38, 24, 24, "...", nullptr},
    {"lPassword", "gbConnection", idLPassword, L"Static", kChild | SS_LEFTNOWORDWRAP | SS_NOPREFIX,
     0, 8, 71, 41, 13, "Пароль:", nullptr},
    {"ePassword", "gbConnection", idEPassword, L"Edit",
     kChild | WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, WS_EX_CLIENTEDGE, 8, 85, 145, 21, "",
     nullptr},
    {"Label1", "gbConnection", idLabel1, L"Static", kChild | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 8,
     105, 402, 13, "(требуется при обновлении сервера; как правило, принимается по умолчанию)",
     nullptr},
    {"gbLog", "frmMain", idGbLog, L"Button", kChild | BS_GROUPBOX | WS_CLIPCHILDREN, kContainer, 8,
     169, 417, 168, " Лог скрипта ", nullptr},
    {"mLog", "gbLog", idMLog, L"Edit",
     kChild | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
         ES_AUTOHSCROLL,
     WS_EX_CLIENTEDGE, 2, 14, 413, 152, "", nullptr},
    {"Bevel1", "frmMain", idBevel1, L"Static", kChild | SS_OWNERDRAW, 0, 0, 342, 433, 10, "",
     nullptr},
    {"pBtn", "frmMain", idPBtn, kPanelClass, kChild | WS_CLIPCHILDREN, kContainer, 0, 352, 433, 41,
     "", nullptr},
    {"aProgress", "pBtn", idAProgress, ANIMATE_CLASSW,
     WS_CHILD | ACS_TRANSPARENT | ACS_CENTER | ACS_TIMER, 0, 0, 1, 41, 41, "", nullptr},
    {"lProgress", "pBtn", idLProgress, L"Static", WS_CHILD | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 50,
     15, 120, 13, "Идет обновление ...", nullptr},
    {"OKBtn", "pBtn", idOKBtn, L"Button", kChild | WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 0, 190, 8,
     75, 25, "Старт", "Запустить обновление"},
    {"bOnline", "pBtn", idBOnline, L"Button", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, 270, 8, 75,
     25, "OnLine", "Перевод базы данных в многопользовательский режим"},
    {"CancelBtn", "pBtn", idCancelBtn, L"Button", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, 350, 8,
     75, 25, "Закрыть", "Выход из программы"},
};

// What SetControlsEnabled switches: the connection group and the button panel with their
// controls, each one, since a disabled container leaves its children's own state alone. The
// progress indicator on the panel takes no input and stays enabled: a disabled label is drawn
// grey, whatever colour the window gives it.
bool SwitchedWithTheControls(const TControlRow& row) {
    const std::string_view name = row.Name;
    const std::string_view parent = row.Parent;
    if (name == "lProgress" || name == "aProgress") {
        return false;
    }
    return name == "gbConnection" || name == "pBtn" || parent == "gbConnection" || parent == "pBtn";
}

// A container hands the notifications of its controls to the window, which acts on them.
LRESULT ForwardToWindow(HWND container, UINT message, WPARAM wParam, LPARAM lParam, bool& done) {
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
        done = true;
        return SendMessageW(GetAncestor(container, GA_ROOT), message, wParam, lParam);
    default:
        done = false;
        return 0;
    }
}

LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    bool done = false;
    const LRESULT result = ForwardToWindow(panel, message, wParam, lParam, done);
    return done ? result : DefWindowProcW(panel, message, wParam, lParam);
}

LRESULT CALLBACK GroupBoxProc(HWND group, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                              DWORD_PTR) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(group, GroupBoxProc, id);
    }
    if (message == WM_ERASEBKGND) {
        // The group box draws only its frame and title; as the parent of its controls it also
        // paints the face between them.
        RECT area{};
        GetClientRect(group, &area);
        FillRect(reinterpret_cast<HDC>(wParam), &area, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    bool done = false;
    const LRESULT result = ForwardToWindow(group, message, wParam, lParam, done);
    return done ? result : DefSubclassProc(group, message, wParam, lParam);
}

// The log is read-only: Tab and Enter in it are the window's dialog keys, not text.
LRESULT CALLBACK LogProc(HWND log, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                         DWORD_PTR) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(log, LogProc, id);
    } else if (message == WM_GETDLGCODE) {
        return DefSubclassProc(log, message, wParam, lParam) & ~(DLGC_WANTTAB | DLGC_WANTALLKEYS);
    }
    return DefSubclassProc(log, message, wParam, lParam);
}

void RegisterClasses(HINSTANCE instance) {
    static const bool registered = [instance] {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSEXW window{};
        window.cbSize = sizeof(window);
        window.lpfnWndProc = DefWindowProcW; // replaced per window at creation
        window.hInstance = instance;
        window.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        window.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        window.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
        WNDCLASSEXW panel = window;
        panel.lpfnWndProc = PanelProc;
        panel.lpszClassName = kPanelClass;
        panel.hIcon = nullptr;
        RegisterClassExW(&panel);
        window.lpszClassName = kWindowClass;
        return RegisterClassExW(&window) != 0;
    }();
    (void)registered;
}

bool IsInside(HWND window, HWND control) {
    return control != nullptr && (control == window || IsChild(window, control));
}

} // namespace

TfrmMain::TfrmMain(TMainCommands commands, const std::string& executablePath)
    : Logic_(*this, std::move(commands)), Font_(MakeWindowFont(FW_NORMAL)),
      BoldFont_(MakeWindowFont(FW_BOLD)) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterClasses(instance);

    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, WS_EX_CONTROLPARENT);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + (work.right - work.left - width) / 2;
    const int y = work.top + (work.bottom - work.top - height) / 2;
    const HWND window = CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, L"Updater", kWindowStyle,
                                        x, y, width, height, nullptr, nullptr, instance, this);
    if (window == nullptr) {
        throw std::runtime_error("the main window cannot be created");
    }
    Window_.Reset(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TfrmMain::WindowProc));
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(Font_.Get()), FALSE);
    CreateControls();

    Logic_.FormCreate(executablePath.empty() ? platform::OwnExecutablePath() : executablePath);
}

TfrmMain::~TfrmMain() {
    if (Window_) {
        // Messages sent while the window goes no longer reach this object.
        SetWindowLongPtrW(Window_.Get(), GWLP_USERDATA, 0);
    }
}

void TfrmMain::CreateControls() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    Controls_.emplace_back("frmMain", Window_.Get());
    ToolTip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, Window_.Get(), nullptr, instance, nullptr);
    for (const TControlRow& row : kControls) {
        const HWND parent = Control(row.Parent);
        const HWND control = CreateWindowExW(row.ExStyle, row.Class, Widen(row.Text).c_str(),
                                             row.Style, row.X, row.Y, row.Width, row.Height, parent,
                                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.Id)),
                                             instance, nullptr);
        if (control == nullptr) {
            throw std::runtime_error(std::string("the control ") + row.Name + " cannot be created");
        }
        const HFONT font = row.Id == idLProgress ? BoldFont_.Get() : Font_.Get();
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (row.Id == idGbConnection || row.Id == idGbLog) {
            SetWindowSubclass(control, GroupBoxProc, 1, 0);
        }
        if (row.Hint != nullptr && ToolTip_ != nullptr) {
            const std::wstring hint = Widen(row.Hint);
            TOOLINFOW tool{};
            tool.cbSize = sizeof(tool);
            tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            tool.hwnd = Window_.Get();
            tool.uId = reinterpret_cast<UINT_PTR>(control);
            tool.lpszText = const_cast<wchar_t*>(hint.c_str());
            SendMessageW(ToolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
        Controls_.emplace_back(row.Name, control);
    }
    SendMessageW(Control("ePassword"), EM_SETPASSWORDCHAR, L'*', 0);
    // The log holds every line of a long script, beyond the edit control's usual 32 K.
    SendMessageW(Control("mLog"), EM_SETLIMITTEXT, 0, 0);
    SetWindowSubclass(Control("mLog"), LogProc, 1, 0);
    // The shell's stock "searching" animation. Where it is missing the label alone shows the
    // progress.
    SendMessageW(Control("aProgress"), ACM_OPENW,
                 reinterpret_cast<WPARAM>(GetModuleHandleW(L"shell32.dll")),
                 reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(150)));
}

HWND TfrmMain::Control(std::string_view name) const {
    const auto found = std::find_if(Controls_.begin(), Controls_.end(),
                                    [name](const auto& entry) { return entry.first == name; });
    return found == Controls_.end() ? nullptr : found->second;
}

void TfrmMain::Show(int showCommand) {
    // Also where the focus goes when the system activates the window later (under load, or
    // behind another program), instead of to the window itself.
    SavedFocus_ = Control("eProgramLocation");
    ShowWindow(Window_.Get(), showCommand);
    UpdateWindow(Window_.Get());
    SetFocus(SavedFocus_);
}

int TfrmMain::Run() {
    QuitOnDestroy_ = true;
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        Dispatch(message);
    }
    return static_cast<int>(message.wParam);
}

void TfrmMain::Dispatch(MSG& message) {
    const HWND top = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (top != nullptr && IsDialogMessageW(top, &message)) {
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

LRESULT CALLBACK TfrmMain::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // An exception must not cross the system's frames that called this procedure. The commands'
    // failures are presented by the logic; anything else is presented here, and the window goes
    // on.
    try {
        return self->OnMessage(message, wParam, lParam);
    } catch (const std::exception& failure) {
        ReportFailure(window, failure.what());
    } catch (...) {
        ReportFailure(window, "Непредвиденная ошибка!");
    }
    return 0;
}

LRESULT TfrmMain::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND window = Window_.Get();
    switch (message) {
    case WM_COMMAND:
        if (lParam != 0 && HIWORD(wParam) == BN_CLICKED) {
            OnCommand(reinterpret_cast<HWND>(lParam), LOWORD(wParam));
        }
        return 0;
    case WM_CTLCOLORSTATIC: {
        // Labels on the face colour, the progress label in maroon, the read-only log white.
        const HDC dc = reinterpret_cast<HDC>(wParam);
        const HWND control = reinterpret_cast<HWND>(lParam);
        const int face = control == Control("mLog") ? COLOR_WINDOW : COLOR_BTNFACE;
        if (control == Control("lProgress")) {
            SetTextColor(dc, kMaroon);
        }
        SetBkColor(dc, GetSysColor(face));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(face));
    }
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->CtlID == static_cast<UINT>(idBevel1)) {
            // An etched line along the bottom edge.
            RECT area = item->rcItem;
            FillRect(item->hDC, &area, GetSysColorBrush(COLOR_BTNFACE));
            area.top = area.bottom - 2;
            DrawEdge(item->hDC, &area, EDGE_ETCHED, BF_TOP);
            return TRUE;
        }
        break;
    }
    case WM_ACTIVATE: {
        // The focus comes back to the control that had it when the window is activated again
        // (after a box, or another program). An activation that arrives late, when a control of
        // the window already has the focus (moved there since), leaves it where it is.
        const HWND focus = GetFocus();
        const bool focusInside = IsInside(window, focus) && focus != window;
        if (LOWORD(wParam) == WA_INACTIVE) {
            if (focusInside) {
                SavedFocus_ = focus;
            }
        } else if (focusInside) {
            return 0;
        } else if (SavedFocus_ != nullptr && IsWindow(SavedFocus_) &&
                   IsWindowEnabled(SavedFocus_)) {
            SetFocus(SavedFocus_);
            return 0;
        }
        break;
    }
    case WM_NEXTDLGCTL: {
        // Wine's dialog keys move the focus by asking the window, as a dialog's own procedure
        // would answer; Windows moves it itself. The same step either way.
        HWND next = reinterpret_cast<HWND>(wParam);
        if (LOWORD(lParam) == 0) {
            next = GetNextDlgTabItem(window, GetFocus(), wParam != 0 ? TRUE : FALSE);
        }
        if (next != nullptr) {
            SetFocus(next);
            if (SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) {
                SendMessageW(next, EM_SETSEL, 0, -1);
            }
        }
        return 0;
    }
    case WM_CLOSE:
        if (Logic_.CloseQuery()) {
            DestroyWindow(window);
        }
        return 0;
    case WM_DESTROY:
        if (QuitOnDestroy_) {
            PostQuitMessage(0);
        }
        return 0;
    case WM_NCDESTROY:
        // The system has destroyed the window; nothing is left to release.
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        Window_.Detach();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void TfrmMain::OnCommand(HWND control, int id) {
    // Under Wine a click sent to a disabled button still reaches its parent; such a click
    // presses nothing, as on Windows.
    if (!IsWindowEnabled(control)) {
        return;
    }
    switch (id) {
    case idOKBtn:
        Logic_.OKBtnClick();
        break;
    case idBOnline:
        Logic_.bOnlineClick();
        break;
    case idBbProgramLocation:
        Logic_.bbProgramLocationClick();
        break;
    case idCancelBtn:
        Logic_.CancelBtnClick();
        break;
    default:
        break;
    }
}

std::string TfrmMain::RootText() const {
    return WindowText(Control("eProgramLocation"));
}

void TfrmMain::SetRootText(const std::string& text) {
    SetWindowTextW(Control("eProgramLocation"), Widen(text).c_str());
}

std::string TfrmMain::PasswordText() const {
    return WindowText(Control("ePassword"));
}

void TfrmMain::SetPasswordText(const std::string& text) {
    SetWindowTextW(Control("ePassword"), Widen(text).c_str());
}

void TfrmMain::SetTitle(const std::string& title) {
    SetWindowTextW(Window_.Get(), Widen(title).c_str());
}

void TfrmMain::SetControlsEnabled(bool enabled) {
    const HWND window = Window_.Get();
    if (!enabled) {
        const HWND focus = GetFocus();
        SavedFocus_ = IsInside(window, focus) && focus != window ? focus : SavedFocus_;
    }
    for (const TControlRow& row : kControls) {
        if (SwitchedWithTheControls(row)) {
            EnableWindow(Control(row.Name), enabled ? TRUE : FALSE);
        }
    }
    if (enabled && SavedFocus_ != nullptr && GetActiveWindow() == window &&
        !IsInside(window, GetFocus())) {
        SetFocus(SavedFocus_);
    }
}

void TfrmMain::SetProgressShown(bool shown) {
    const HWND animation = Control("aProgress");
    ShowWindow(Control("lProgress"), shown ? SW_SHOWNA : SW_HIDE);
    ShowWindow(animation, shown ? SW_SHOWNA : SW_HIDE);
    if (shown) {
        SendMessageW(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, 0xFFFF));
    } else {
        SendMessageW(animation, ACM_STOP, 0, 0);
    }
}

void TfrmMain::ProcessEvents() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The quit belongs to the loop that runs the program: left for it.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        Dispatch(message);
    }
}

void TfrmMain::CloseWindow() {
    // Posted: the window goes once the button's click has returned.
    if (Window_) {
        PostMessageW(Window_.Get(), WM_CLOSE, 0, 0);
    }
}

void TfrmMain::LogClear() {
    SetWindowTextW(Control("mLog"), L"");
}

void TfrmMain::LogAppend(const std::string& line) {
    const HWND log = Control("mLog");
    const std::wstring text = WidenWithLineBreaks(line) + L"\r\n";
    const int length = GetWindowTextLengthW(log);
    SendMessageW(log, EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(log, EM_SCROLLCARET, 0, 0);
}

int TfrmMain::ShowBox(const TBoxRequest& box) {
    return ShowFramedBox(Window_.Get(), box);
}

void TfrmMain::ShowFailureBox(const std::string& caption, const std::string& text) {
    ShowSystemFailureBox(Window_.Get(), caption, text);
}

std::optional<std::string> TfrmMain::ChooseFolder(const std::string& root, TOperator&) {
    return ChooseFolderWithDialog(Window_.Get(), root);
}

} // namespace win32ui
