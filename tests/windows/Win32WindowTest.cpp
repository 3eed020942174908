// The Win32 window driven from inside the test: its controls as they are laid out, the keys of
// its boxes, the failure box, the enabling around a command, and whole client-only updates
// through it on real folders. Modal boxes are answered from a timer (Win32BoxAnswerer.h).
#include "platform/win32/WindowsSupport.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstring>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <stdexcept>

#include "app/ApplicationTitle.h"
#include "app/win32/FramedBox.h"
#include "app/win32/ShellFolderDialog.h"
#include "app/win32/TfrmMain.h"
#include "platform/Path.h"
#include "tests/support/PackageMaker.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TreeSnapshot.h"
#include "tests/windows/ClientInstallation.h"
#include "tests/windows/Win32BoxAnswerer.h"
#include "update/RunUpdate.h"
#include "update/UpdateSeams.h"

namespace {

namespace fs = std::filesystem;
using win32ui::TfrmMain;
using win32ui::Widen;
using win32ui::WindowText;

std::string ClassName(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    std::wstring lower = name;
    for (auto& c : lower) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return win32ui::Narrow(lower);
}

// The window's pending messages, handled as its own loop handles them.
void Pump() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TfrmMain::Dispatch(message);
    }
}

RECT PlaceInParent(HWND control) {
    RECT area{};
    GetWindowRect(control, &area);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&area), 2);
    return area;
}

LOGFONTW FontOf(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font),
               &font);
    return font;
}

struct TControlRow {
    const char* Name;
    const char* Parent;
    const char* Class;
    int X, Y, Width, Height;
    const char* Text;
    bool Visible;
    bool DrawsText = true; // the panel and the animation keep no font
};

const TControlRow kLayout[] = {
    {"gbConnection", "frmMain", "button", 8, 15, 417, 138, " Подключение  ", true},
    {"lProgramLocation", "gbConnection", "static", 8, 25, 167, 13,
     "Путь к обновляемой программе:", true},
    {"eProgramLocation", "gbConnection", "edit", 8, 40, 369, 21, nullptr, true},
    {"bbProgramLocation", "gbConnection", "button", 384, 38, 24, 24, "...", true},
    {"lPassword", "gbConnection", "static", 8, 71, 41, 13, "Пароль:", true},
    {"ePassword", "gbConnection", "edit", 8, 85, 145, 21, nullptr, true},
    {"Label1", "gbConnection", "static", 8, 105, 402, 13,
     "(требуется при обновлении сервера; как правило, принимается по умолчанию)", true},
    {"gbLog", "frmMain", "button", 8, 169, 417, 168, " Лог скрипта ", true},
    {"mLog", "gbLog", "edit", 2, 14, 413, 152, "", true},
    {"Bevel1", "frmMain", "static", 0, 342, 433, 10, "", true},
    {"pBtn", "frmMain", "updaterpanel", 0, 352, 433, 41, "", true, false},
    {"aProgress", "pBtn", "sysanimate32", 0, 1, 41, 41, "", false, false},
    {"lProgress", "pBtn", "static", 50, 15, 120, 13, "Идет обновление ...", false},
    {"OKBtn", "pBtn", "button", 190, 8, 75, 25, "Старт", true},
    {"bOnline", "pBtn", "button", 270, 8, 75, 25, "OnLine", true},
    {"CancelBtn", "pBtn", "button", 350, 8, 75, 25, "Закрыть", true},
};

TEST(Win32Window, EveryControlIsWhereItBelongs) {
    TfrmMain window({}, "C:\\Kormant\\Updater.exe");
    window.Show(SW_SHOWNORMAL);
    for (const auto& row : kLayout) {
        SCOPED_TRACE(row.Name);
        const HWND control = window.Control(row.Name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(GetParent(control), window.Control(row.Parent));
        EXPECT_EQ(ClassName(control), row.Class);
        const RECT area = PlaceInParent(control);
        EXPECT_EQ(area.left, row.X);
        EXPECT_EQ(area.top, row.Y);
        EXPECT_EQ(area.right - area.left, row.Width);
        EXPECT_EQ(area.bottom - area.top, row.Height);
        if (row.Text != nullptr) {
            EXPECT_EQ(WindowText(control), row.Text);
        }
        EXPECT_TRUE(IsWindowEnabled(control));
        EXPECT_EQ(IsWindowVisible(control) != FALSE, row.Visible);
        if (!row.DrawsText) {
            continue;
        }
        const LOGFONTW font = FontOf(control);
        EXPECT_STREQ(font.lfFaceName, L"MS Sans Serif");
        EXPECT_EQ(font.lfWeight, std::string_view(row.Name) == "lProgress" ? FW_BOLD : FW_NORMAL);
    }
    const HDC screen = GetDC(nullptr);
    const int height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(FontOf(window.Control("OKBtn")).lfHeight, height);
}

TEST(Win32Window, IsFixedInSizeAndCentred) {
    TfrmMain window({}, "C:\\Kormant\\Updater.exe");
    window.Show(SW_SHOWNORMAL);
    const HWND handle = window.Handle();
    RECT client{};
    GetClientRect(handle, &client);
    EXPECT_EQ(client.right, 433);
    EXPECT_EQ(client.bottom, 393);
    const auto style = GetWindowLongPtrW(handle, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    RECT frame{};
    RECT work{};
    GetWindowRect(handle, &frame);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(std::abs((frame.left + frame.right) - (work.left + work.right)), 1);
    EXPECT_LE(std::abs((frame.top + frame.bottom) - (work.top + work.bottom)), 1);
}

TEST(Win32Window, StartsWithTheDefaultsAndTheFocusInTheRootField) {
    TfrmMain window({}, "C:\\Kormant\\Updater.exe");
    window.Show(SW_SHOWNORMAL);
    Pump();
    EXPECT_EQ(WindowText(window.Control("eProgramLocation")), platform::DefaultInstallationRoot);
    EXPECT_EQ(WindowText(window.Control("ePassword")), kDefaultPassword);
    EXPECT_EQ(SendMessageW(window.Control("ePassword"), EM_GETPASSWORDCHAR, 0, 0), L'*');
    EXPECT_EQ(GetFocus(), window.Control("eProgramLocation"));
    const auto logStyle = GetWindowLongPtrW(window.Control("mLog"), GWL_STYLE);
    for (const LONG_PTR bit : {LONG_PTR{ES_MULTILINE}, LONG_PTR{ES_READONLY}, LONG_PTR{WS_VSCROLL},
                               LONG_PTR{WS_HSCROLL}}) {
        EXPECT_EQ(logStyle & bit, bit);
    }
}

TEST(Win32Window, TabWalksTheFieldsAndButtonsInOrder) {
    TfrmMain window({}, "C:\\Kormant\\Updater.exe");
    window.Show(SW_SHOWNORMAL);
    const std::vector<std::string> expected = {
        "eProgramLocation", "bbProgramLocation", "ePassword", "mLog", "OKBtn",
        "bOnline",          "CancelBtn"};
    std::map<HWND, std::string> names;
    for (const auto& row : kLayout) {
        names[window.Control(row.Name)] = row.Name;
    }
    std::vector<std::string> walked;
    HWND at = window.Control("eProgramLocation");
    do {
        walked.push_back(names.count(at) ? names[at] : "?");
        at = GetNextDlgTabItem(window.Handle(), at, FALSE);
    } while (at != nullptr && at != window.Control("eProgramLocation") && walked.size() < 20);
    EXPECT_EQ(walked, expected);

    // The Tab key itself, through the window's message handling.
    SetFocus(window.Control("eProgramLocation"));
    for (std::size_t i = 1; i < expected.size(); ++i) {
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 1);
        Pump();
        EXPECT_EQ(GetFocus(), window.Control(expected[i])) << expected[i];
    }
}

// The focus comes back after the window was inactive (a box, another program); an activation that
// arrives after the focus was moved inside the window leaves it there.
TEST(Win32Window, ActivationGivesBackTheFocusOnlyWhenTheWindowHadLostIt) {
    TfrmMain window({}, "C:\\Kormant\\Updater.exe");
    window.Show(SW_SHOWNORMAL);
    const HWND handle = window.Handle();
    SetFocus(window.Control("ePassword"));
    SendMessageW(handle, WM_ACTIVATE, WA_INACTIVE, 0);
    SetFocus(nullptr);
    SendMessageW(handle, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(GetFocus(), window.Control("ePassword"));
    SetFocus(window.Control("OKBtn"));
    SendMessageW(handle, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(GetFocus(), window.Control("OKBtn"));
}

TEST(Win32Window, TheButtonsHaveTheirHints) {
    TfrmMain window({}, "C:\\Kormant\\Updater.exe");
    const std::pair<const char*, const char*> rows[] = {
        {"OKBtn", "Запустить обновление"},
        {"bOnline", "Перевод базы данных в многопользовательский режим"},
        {"CancelBtn", "Выход из программы"},
    };
    for (const auto& [name, hint] : rows) {
        wchar_t text[256] = {};
        TOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.hwnd = window.Handle();
        tool.uId = reinterpret_cast<UINT_PTR>(window.Control(name));
        tool.lpszText = text;
        SendMessageW(window.ToolTip(), TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
        EXPECT_EQ(win32ui::Narrow(text), hint) << name;
    }
}

TEST(Win32Window, TheTitleIsTheExecutablesName) {
    const std::pair<const char*, const char*> rows[] = {
        {"C:\\Kormant\\Updater.exe", "Updater"},
        {"C:\\Обновления\\Обновление 4.exe", "Обновление 4"},
        {"D:\\upd\\Kormant.update.4.exe", "Kormant.update.4"},
    };
    for (const auto& [path, title] : rows) {
        TfrmMain window({}, path);
        EXPECT_EQ(WindowText(window.Handle()), title) << path;
    }
}

// Counts the commands that reach the logic.
struct TCommandCounter {
    int Updates = 0;
    int Onlines = 0;
    TMainCommands Commands() {
        TMainCommands commands;
        commands.Update = [this](const std::string&, const std::string&, TOperator&) { ++Updates; };
        commands.Online = [this](const std::string&, const std::string&, TOperator&) { ++Onlines; };
        return commands;
    }
};

TEST(Win32Window, EnterPressesNoButtonAndADisabledButtonNothing) {
    TCommandCounter counter;
    TfrmMain window(counter.Commands(), "C:\\Kormant\\Updater.exe");
    window.Show(SW_SHOWNORMAL);
    for (const char* name : {"eProgramLocation", "ePassword", "OKBtn", "bOnline"}) {
        SetFocus(window.Control(name));
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
        Pump();
    }
    EXPECT_EQ(counter.Updates, 0);
    EXPECT_EQ(counter.Onlines, 0);

    SendMessageW(window.Control("OKBtn"), BM_CLICK, 0, 0);
    SendMessageW(window.Control("bOnline"), BM_CLICK, 0, 0);
    EXPECT_EQ(counter.Updates, 1);
    EXPECT_EQ(counter.Onlines, 1);

    EnableWindow(window.Control("OKBtn"), FALSE);
    EnableWindow(window.Control("bOnline"), FALSE);
    SendMessageW(window.Control("OKBtn"), BM_CLICK, 0, 0);
    SendMessageW(window.Control("bOnline"), BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(counter.Updates, 1);
    EXPECT_EQ(counter.Onlines, 1);
}

TEST(Win32Window, CloseButtonAndTitleBarCloseTheWindowWhenIdle) {
    for (const bool byButton : {true, false}) {
        TfrmMain window({}, "C:\\Kormant\\Updater.exe");
        const HWND handle = window.Handle();
        if (byButton) {
            SendMessageW(window.Control("CancelBtn"), BM_CLICK, 0, 0);
        } else {
            PostMessageW(handle, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        Pump();
        EXPECT_FALSE(IsWindow(handle)) << byButton;
        EXPECT_EQ(window.Handle(), nullptr);
    }
}

TEST(Win32Window, TheLogAppendsLinesAndScrollsToTheEnd) {
    TMainCommands commands;
    commands.Update = [](const std::string&, const std::string&, TOperator& op) {
        op.LogClear();
        op.LogAppend("первая строка");
        op.LogAppend("вторая\nстрока");
        for (int i = 0; i < 60; ++i) {
            op.LogAppend("line " + std::to_string(i));
        }
    };
    TfrmMain window(std::move(commands), "C:\\Kormant\\Updater.exe");
    window.Show(SW_SHOWNORMAL);
    SendMessageW(window.Control("OKBtn"), BM_CLICK, 0, 0);
    const HWND log = window.Control("mLog");
    const std::string text = WindowText(log);
    EXPECT_EQ(text.rfind("первая строка\r\nвторая\r\nстрока\r\nline 0\r\n", 0), 0u);
    EXPECT_TRUE(text.ends_with("line 59\r\n"));
    EXPECT_EQ(SendMessageW(log, EM_GETLINECOUNT, 0, 0), 64);
    EXPECT_GT(SendMessageW(log, EM_GETFIRSTVISIBLELINE, 0, 0), 40);
}

// ---- The framed boxes

struct TBoxKeyRow {
    const char* Keys;
    TBoxAnswer Answer;
    int Result;
};

TEST(Win32Boxes, TheQuestionAnswersByItsKeys) {
    const TBoxKeyRow rows[] = {
        {"Enter right after opening", PressKey(VK_RETURN), mrNo},
        {"Y", TypeChar(L'y', false), mrYes},
        {"Shift+Y", TypeChar(L'Y', false), mrYes},
        {"Alt+Y", TypeChar(L'y', true), mrYes},
        {"N", TypeChar(L'n', false), mrNo},
        {"Alt+N", TypeChar(L'n', true), mrNo},
        {"Esc", PressKey(VK_ESCAPE), mrNo},
        {"Tab, Enter", Keys({PressKey(VK_TAB), PressKey(VK_RETURN)}), mrYes},
        {"Tab, Tab, Enter", Keys({PressKey(VK_TAB), PressKey(VK_TAB), PressKey(VK_RETURN)}), mrNo},
        {"title bar", CloseByTitleBar(), mrClosed},
    };
    TfrmMain window({}, "C:\\Kormant\\Updater.exe");
    window.Show(SW_SHOWNORMAL);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Keys);
        TBoxAnswerer answerer({row.Answer});
        const int result = win32ui::ShowFramedBox(window.Handle(), QuestionBox("Обновить?\rДа"));
        EXPECT_EQ(result, row.Result);
        ASSERT_EQ(answerer.Seen().size(), 1u);
        const TSeenBox& seen = answerer.Seen()[0];
        EXPECT_EQ(seen.Caption, "Information");
        EXPECT_EQ(seen.Text, "Обновить?\r\nДа");
        EXPECT_EQ(seen.Icon, LoadIconW(nullptr, IDI_INFORMATION));
        EXPECT_EQ(seen.ScreenButtons, (std::vector<std::string>{"&Yes", "&No"}));
        EXPECT_EQ(seen.TabButtons, (std::vector<std::string>{"&No", "&Yes"}));
        EXPECT_EQ(seen.Focused, "&No");
        // The owner is usable again.
        EXPECT_TRUE(IsWindowEnabled(window.Handle()));
    }
}

TEST(Win32Boxes, TheOkBoxesShowTheirKindAndCloseWithOk) {
    struct TRow {
        TBoxRequest Request;
        const char* Caption;
        const wchar_t* Icon;
        TBoxAnswer Answer;
        int Result;
    };
    const TRow rows[] = {
        {InformationBox("Обновление выполнено"), "Information", IDI_INFORMATION,
         PressKey(VK_RETURN), mrOk},
        {ErrorBox("Ошибка\r\nвторая строка"), "Error", IDI_ERROR, PressKey(VK_ESCAPE), mrOk},
        {ErrorBox("x"), "Error", IDI_ERROR, CloseByTitleBar(), mrClosed},
    };
    TfrmMain window({}, "C:\\Kormant\\Updater.exe");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Request.Text);
        TBoxAnswerer answerer({row.Answer});
        EXPECT_EQ(win32ui::ShowFramedBox(window.Handle(), row.Request), row.Result);
        ASSERT_EQ(answerer.Seen().size(), 1u);
        const TSeenBox& seen = answerer.Seen()[0];
        EXPECT_EQ(seen.Caption, row.Caption);
        EXPECT_EQ(seen.Icon, LoadIconW(nullptr, row.Icon));
        EXPECT_EQ(seen.ScreenButtons, (std::vector<std::string>{"OK"}));
        EXPECT_EQ(seen.Focused, "OK");
    }
}

TEST(Win32Boxes, AQuestionClosedByTheTitleBarIsNotAYes) {
    std::vector<bool> answers;
    TMainCommands commands;
    commands.Update = [&](const std::string&, const std::string&, TOperator& op) {
        for (int i = 0; i < 3; ++i) {
            answers.push_back(op.AskYesNo("Продолжить?"));
        }
    };
    TfrmMain window(std::move(commands), "C:\\Kormant\\Updater.exe");
    window.Show(SW_SHOWNORMAL);
    TBoxAnswerer answerer({CloseByTitleBar(), TypeChar(L'y', false), PressKey(VK_RETURN)});
    SendMessageW(window.Control("OKBtn"), BM_CLICK, 0, 0);
    EXPECT_EQ(answers, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(answerer.Seen().size(), 3u);
}

// ---- The failure box, and the enabling around a command

TEST(Win32Failure, TheSystemBoxShowsThePeriodRuledTextAfterTheRestore) {
    const std::pair<const char*, const char*> rows[] = {
        {"Нет связи с сервером", "Нет связи с сервером."},
        {"Ошибка!", "Ошибка!"},
        {"Готово.", "Готово."},
        {"code 1", "code 1."},
        {"(x)", "(x)"},
        {"строка 1\nстрока 2", "строка 1\r\nстрока 2."},
    };
    for (const auto& [message, shown] : rows) {
        SCOPED_TRACE(message);
        std::string duringCommand;
        TfrmMain* view = nullptr;
        // The state of the controls that SetControlsEnabled switches and of the progress indicator.
        const auto state = [&view] {
            std::string text;
            for (const char* name : {"eProgramLocation", "bbProgramLocation", "ePassword", "OKBtn",
                                     "bOnline", "CancelBtn", "mLog"}) {
                text += IsWindowEnabled(view->Control(name)) ? "+" : "-";
            }
            // The label and the animation come and go together.
            const bool label = IsWindowVisible(view->Control("lProgress"));
            const bool animation = IsWindowVisible(view->Control("aProgress"));
            text += label != animation ? " half progress" : label ? " progress" : " idle";
            return text;
        };
        TMainCommands commands;
        commands.Update = [&](const std::string&, const std::string&, TOperator&) {
            duringCommand = state();
            throw std::runtime_error(message);
        };
        TfrmMain window(std::move(commands), "C:\\Обновление\\Обновление 4.exe");
        view = &window;
        window.Show(SW_SHOWNORMAL);
        TBoxAnswerer answerer({PressKey(VK_RETURN)}, state);
        SendMessageW(window.Control("OKBtn"), BM_CLICK, 0, 0);
        // The log stays usable while a command runs; the rest is disabled.
        EXPECT_EQ(duringCommand, "------+ progress");
        ASSERT_EQ(answerer.Seen().size(), 1u);
        const TSeenBox& seen = answerer.Seen()[0];
        EXPECT_EQ(seen.Caption, "Обновление 4");
        EXPECT_NE(seen.Text.find(shown), std::string::npos) << seen.Text;
        EXPECT_EQ(seen.Icon == nullptr ? "" : "icon", "icon");
        EXPECT_EQ(seen.ScreenButtons, (std::vector<std::string>{"OK"}));
        EXPECT_EQ(seen.Note, "+++++++ idle");
        EXPECT_EQ(state(), "+++++++ idle");
        EXPECT_FALSE(window.CommandRunning());
    }
}

TEST(Win32Failure, TheOnlineCommandDisablesAndRestoresToo) {
    std::string during;
    TfrmMain* view = nullptr;
    TMainCommands commands;
    commands.Online = [&](const std::string& root, const std::string& password, TOperator&) {
        during = root + "|" + password + "|" +
                 (IsWindowEnabled(view->Control("bOnline")) ? "enabled" : "disabled");
    };
    TfrmMain window(std::move(commands), "C:\\Kormant\\Updater.exe");
    view = &window;
    SetWindowTextW(window.Control("eProgramLocation"), L"D:\\Кормант");
    SetWindowTextW(window.Control("ePassword"), L"пароль");
    SendMessageW(window.Control("bOnline"), BM_CLICK, 0, 0);
    EXPECT_EQ(during, "D:\\Кормант|пароль|disabled");
    EXPECT_TRUE(IsWindowEnabled(window.Control("bOnline")));
}

// The title bar's Close while a command lets the events run: the window stays until the command
// returns, the boxes the command still opens close at once (No), and then the window goes.
TEST(Win32Window, ClosedWhileACommandRunsItGoesWhenTheCommandReturns) {
    HWND handle = nullptr;
    bool openAfterClose = false;
    bool answer = true;
    TMainCommands commands;
    commands.Update = [&](const std::string&, const std::string&, TOperator& op) {
        PostMessageW(handle, WM_SYSCOMMAND, SC_CLOSE, 0);
        op.ProcessEvents();
        openAfterClose = IsWindow(handle) != FALSE;
        answer = op.AskYesNo("Продолжить?");
    };
    TfrmMain window(std::move(commands), "C:\\Kormant\\Updater.exe");
    handle = window.Handle();
    window.Show(SW_SHOWNORMAL);
    TBoxAnswerer answerer({});
    SendMessageW(window.Control("OKBtn"), BM_CLICK, 0, 0);
    EXPECT_TRUE(openAfterClose);
    EXPECT_FALSE(answer);
    EXPECT_EQ(answerer.Seen().size(), 0u);
    Pump();
    EXPECT_FALSE(IsWindow(handle));
}

// ---- The folder chooser's pieces

// Records the messages sent to it.
std::vector<std::pair<UINT, std::wstring>> gSent;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == BFFM_SETSELECTIONW) {
        gSent.emplace_back(message, (wParam ? L"path:" : L"pidl:") +
                                        std::wstring(reinterpret_cast<const wchar_t*>(lParam)));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST(Win32FolderChooser, SelectsTheRootWhenTheDialogOpens) {
    WNDCLASSW recording{};
    recording.lpfnWndProc = RecordingProc;
    recording.hInstance = GetModuleHandleW(nullptr);
    recording.lpszClassName = L"RecordingFolderDialog";
    RegisterClassW(&recording);
    const win32ui::TWindow dialog(CreateWindowExW(0, L"RecordingFolderDialog", L"", WS_POPUP, 0, 0,
                                                  10, 10, nullptr, nullptr,
                                                  GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(dialog);
    struct TRow {
        UINT Message;
        const wchar_t* Root;
        std::vector<std::pair<UINT, std::wstring>> Sent;
    };
    const TRow rows[] = {
        {BFFM_INITIALIZED, L"C:\\QUV\\Кормант", {{BFFM_SETSELECTIONW, L"path:C:\\QUV\\Кормант"}}},
        {BFFM_INITIALIZED, L"", {}},
        {BFFM_INITIALIZED, nullptr, {}},
        {BFFM_SELCHANGED, L"C:\\QUV", {}},
    };
    for (const auto& row : rows) {
        gSent.clear();
        EXPECT_EQ(win32ui::SelectStartFolder(dialog.Get(), row.Message, 0,
                                             reinterpret_cast<LPARAM>(row.Root)),
                  0);
        EXPECT_EQ(gSent, row.Sent);
    }
}

// Whether `item` of `tree` shows whole inside the tree's client area.
bool ShownWhole(HWND tree, HTREEITEM item) {
    // TVM_GETITEMRECT takes the item in the rectangle's first bytes.
    RECT row{};
    std::memcpy(&row, &item, sizeof item);
    if (!SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&row))) {
        return false;
    }
    RECT client{};
    GetClientRect(tree, &client);
    return row.top >= client.top && row.bottom <= client.bottom;
}

HTREEITEM AddFolder(HWND tree, const std::wstring& name, HTREEITEM after) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT;
    std::wstring text = name;
    insert.item.pszText = text.data();
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void ScrollToTop(HWND tree) {
    SendMessageW(tree, TVM_SELECTITEM, TVGN_FIRSTVISIBLE,
                 SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
}

// The shell's dialog, as far as the follower sees it: a window with a folder tree nested in a
// control of its own, whose rows arrive above the selected folder after it was selected.
TEST(Win32FolderChooser, KeepsTheStartFolderInViewUntilTheOperatorActs) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW recording{};
    recording.lpfnWndProc = RecordingProc;
    recording.hInstance = GetModuleHandleW(nullptr);
    recording.lpszClassName = L"RecordingFolderDialog";
    RegisterClassW(&recording);
    const win32ui::TWindow dialog(CreateWindowExW(0, L"RecordingFolderDialog", L"", WS_POPUP, 0, 0,
                                                  306, 303, nullptr, nullptr,
                                                  GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(dialog);
    const HWND nest = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 8, 38, 289, 217,
                                      dialog.Get(), nullptr, GetModuleHandleW(nullptr), nullptr);
    const HWND tree =
        CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS, 0, 0, 289,
                        217, nest, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(tree, nullptr);
    ShowWindow(dialog.Get(), SW_SHOWNOACTIVATE);
    HTREEITEM start = nullptr;
    for (int i = 0; i < 60; ++i) {
        const HTREEITEM added = AddFolder(tree, L"Папка " + std::to_wstring(i), TVI_LAST);
        start = i == 50 ? added : start;
    }
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(start));
    ScrollToTop(tree);
    ASSERT_FALSE(ShownWhole(tree, start));

    gSent.clear();
    win32ui::SelectStartFolder(dialog.Get(), BFFM_INITIALIZED, 0,
                               reinterpret_cast<LPARAM>(L"C:\\QUV\\Кормант"));
    EXPECT_EQ(gSent.size(), 1u);
    EXPECT_TRUE(ShownWhole(tree, start));

    // Rows arrive above it for as long as they take: it comes back into view each time.
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 40; ++i) {
            AddFolder(tree, L"Ранняя " + std::to_wstring(round) + L"." + std::to_wstring(i),
                      TVI_FIRST);
        }
        ScrollToTop(tree);
        EXPECT_FALSE(ShownWhole(tree, start));
        const DWORD until = GetTickCount() + 10000;
        while (!ShownWhole(tree, start) && GetTickCount() < until) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            Pump();
        }
        EXPECT_TRUE(ShownWhole(tree, start)) << round;
    }

    // The operator turns the wheel: from then on the view is his.
    SendMessageW(tree, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    EXPECT_FALSE(KillTimer(dialog.Get(), win32ui::FollowTimerId));
    ScrollToTop(tree);
    Pump();
    EXPECT_FALSE(ShownWhole(tree, start));
}

// ---- Whole client-only updates through the window

class Win32ClientUpdate : public ::testing::Test {
protected:
    // Start pressed in the window on the installation, the question answered Yes and every
    // later box with Enter.
    std::vector<TSeenBox> RunThroughTheWindow(const std::string& carrier) {
        TMainCommands commands;
        commands.Update = [carrier](const std::string& root, const std::string& password,
                                    TOperator& op) {
            RunUpdate(root, password, op, ClientOnlySeams(carrier));
        };
        TfrmMain window(std::move(commands), "C:\\Kormant\\Updater.exe");
        window.Show(SW_SHOWNORMAL);
        const std::u8string root = Root.u8string();
        SetWindowTextW(window.Control("eProgramLocation"),
                       Widen(std::string(root.begin(), root.end())).c_str());
        TBoxAnswerer answerer({TypeChar(L'y', false), PressKey(VK_RETURN), PressKey(VK_RETURN)});
        SendMessageW(window.Control("OKBtn"), BM_CLICK, 0, 0);
        EXPECT_EQ(answerer.Unexpected(), 0);
        EXPECT_TRUE(IsWindowEnabled(window.Control("OKBtn")));
        return answerer.Seen();
    }

    static std::string Contents(const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }

    TTempFolder Temp;
    TClientRelease3 Release3{Temp};
    const fs::path& Root = Release3.Root;
    const TTreeSnapshot& Before = Release3.Before;
    const fs::path &NewExe = Release3.NewExe, &NewChm = Release3.NewChm;
};

TEST_F(Win32ClientUpdate, StartDeliversTheNewFiles) {
    const auto seen = RunThroughTheWindow(MakeTestCarrier(
        Temp.Path() / "carrier", BuildTestPackage(Temp.Path() / "p.exe", {NewExe, NewChm})));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].TabButtons, (std::vector<std::string>{"&No", "&Yes"}));
    EXPECT_EQ(seen[1].Caption, "Information");
    EXPECT_EQ(seen[1].Text, kSuccessText);
    TTreeSnapshot expected = Before;
    expected["Kormant.exe"] = "client release 4";
    expected["Kormant.chm"] = "help release 4";
    EXPECT_EQ(SnapshotOf(Root / "Program"), expected);
}

TEST_F(Win32ClientUpdate, AFileThatIsNotDeliveredRollsBack) {
    const auto seen = RunThroughTheWindow(MakeTestCarrier(
        Temp.Path() / "carrier", BuildTestPackage(Temp.Path() / "p.exe", {NewExe})));
    const auto staging = StagingFoldersUnder(Root);
    ASSERT_EQ(staging.size(), 1u);
    const std::u8string missing = (staging[0] / "New" / "Kormant.chm").u8string();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].Caption, "Error");
    EXPECT_EQ(seen[1].Icon, LoadIconW(nullptr, IDI_ERROR));
    // The box draws each CR as a line break.
    std::string announced = kRollbackAnnouncedText;
    for (std::size_t at = announced.find('\r'); at != std::string::npos;
         at = announced.find('\r', at + 2)) {
        announced.insert(at + 1, "\n");
    }
    EXPECT_EQ(seen[1].Text, announced + "Невозможно скопировать файл " +
                                std::string(missing.begin(), missing.end()) + "!");
    EXPECT_EQ(seen[2].Text, kRollbackDoneText);
    EXPECT_EQ(SnapshotOf(Root / "Program"), Before);
}

// The built Updater.exe carries the sample client files as its own package.
TEST_F(Win32ClientUpdate, TheBuiltUpdaterDeliversItsOwnPackage) {
    const auto seen = RunThroughTheWindow(UPDATER_EXE);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].Text, kSuccessText);
    TTreeSnapshot expected = Before;
    expected["Kormant.exe"] = Contents(UPDATER_SAMPLE_CLIENT "/Kormant.exe");
    expected["Kormant.chm"] = Contents(UPDATER_SAMPLE_CLIENT "/Kormant.chm");
    EXPECT_EQ(SnapshotOf(Root / "Program"), expected);
}

} // namespace
