// The Win32 window driven from inside the test: its controls as they are laid out, the keys of
// its boxes, the failure box, the enabling around a command, and whole client-only updates
// through it on real folders. Modal boxes are answered from a timer (Win32BoxAnswerer.h).
#include "platform/win32/WindowsSupport.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "app/ApplicationTitle.h"
#include "app/win32/FramedBox.h"
#include "app/win32/TfrmChoiceFolder.h"
#include "app/win32/TfrmMain.h"
#include "app/win32/WindowFont.h"
#include "platform/Path.h"
#include "tests/support/PackageMaker.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TreeSnapshot.h"
#include "tests/windows/ClientInstallation.h"
#include "tests/windows/Win32BoxAnswerer.h"
#include "tests/windows/Wine.h"
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
        EXPECT_EQ(std::wstring(font.lfFaceName), win32ui::WindowFontChoice().Face);
        EXPECT_EQ(font.lfCharSet, win32ui::WindowFontChoice().Charset);
        EXPECT_EQ(font.lfWeight, std::string_view(row.Name) == "lProgress" ? FW_BOLD : FW_NORMAL);
    }
    // 8 points at 96 dpi, the height the pixel layout is made for, whatever the screen reports.
    EXPECT_EQ(FontOf(window.Control("OKBtn")).lfHeight, -11);
}

// What the font mapper makes of a control's font: its face, its character set, and whether it
// has a glyph for every letter of `text`.
struct TMappedFont {
    std::wstring Face;
    int Charset = -1;
    bool AllGlyphs = false;
};

TMappedFont MappedFontOf(HWND control, const std::wstring& text) {
    TMappedFont mapped;
    const HDC dc = GetDC(control);
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    mapped.Face = face;
    mapped.Charset = GetTextCharset(dc);
    std::vector<WORD> glyphs(text.size());
    mapped.AllGlyphs = GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()),
                                        glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS) != GDI_ERROR &&
                       std::find(glyphs.begin(), glyphs.end(), 0xFFFF) == glyphs.end();
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return mapped;
}

// Which face and character set the window asks for, by what the system's fonts have.
TEST(Win32Window, TheFontIsChosenByWhatTheSystemsFontsHave) {
    using win32ui::TFontChoice;
    using win32ui::TMappedFace;
    struct TRow {
        const char* System;
        TMappedFace Russian; // what MS Sans Serif with RUSSIAN_CHARSET is mapped to
        TMappedFace Default; // and with the default character set
        TMappedFace Twin;    // what Microsoft Sans Serif with RUSSIAN_CHARSET is mapped to
        TFontChoice Chosen;
    };
    const TMappedFace twin{L"Microsoft Sans Serif", true};
    const TRow rows[] = {
        {"Windows, code page 1251",
         {L"MS Sans Serif", true},
         {L"MS Sans Serif", true},
         twin,
         {L"MS Sans Serif", RUSSIAN_CHARSET}},
        {"Windows, code page 1252",
         {L"Microsoft Sans Serif", true},
         {L"MS Sans Serif", false},
         twin,
         {L"Microsoft Sans Serif", RUSSIAN_CHARSET}},
        {"Windows, the mapper's other pick",
         {L"Arial", true},
         {L"MS Sans Serif", false},
         twin,
         {L"Microsoft Sans Serif", RUSSIAN_CHARSET}},
        {"a TrueType MS Sans Serif with Cyrillic",
         {L"Liberation Sans", true},
         {L"MS Sans Serif", true},
         {L"Liberation Sans", true},
         {L"MS Sans Serif", DEFAULT_CHARSET}},
        {"no twin (Wine)",
         {L"Liberation Sans", true},
         {L"MS Sans Serif", false},
         {L"Liberation Sans", true},
         {L"MS Sans Serif", DEFAULT_CHARSET}},
    };
    for (const TRow& row : rows) {
        const auto probe = [&row](const TFontChoice& request) {
            if (request.Face == L"Microsoft Sans Serif") {
                return row.Twin;
            }
            return request.Charset == RUSSIAN_CHARSET ? row.Russian : row.Default;
        };
        EXPECT_EQ(win32ui::ChooseWindowFont(probe), row.Chosen) << row.System;
    }
}

// The tests run with Wine's default code page (1252, not 1251): the window's and the boxes' fonts
// show the Russian texts all the same.
TEST(Win32Window, ItsFontsHaveCyrillicWhateverTheSystemsCodePage) {
    SCOPED_TRACE("code page " + std::to_string(GetACP()));
    if (RunningUnderWine()) {
        GTEST_SKIP() << "Wine has no Microsoft Sans Serif, and its MS Sans Serif shows no "
                        "Cyrillic glyphs of its own at code page 1252: the window keeps it "
                        "(TheFontIsChosenByWhatTheSystemsFontsHave)";
    }
    TfrmMain window({}, "C:\\Kormant\\Updater.exe");
    for (const char* name : {"lProgramLocation", "lProgress", "OKBtn", "Label1"}) {
        const TMappedFont mapped =
            MappedFontOf(window.Control(name), Widen(WindowText(window.Control(name))));
        EXPECT_TRUE(mapped.AllGlyphs) << name << " " << win32ui::Narrow(mapped.Face);
    }
    TMappedFont inBox;
    TBoxAnswerer answerer({[&](HWND box) {
        inBox = MappedFontOf(GetDlgItem(box, win32ui::kBoxMessageId), L"Обновление выполнено");
        PressKey(VK_RETURN)(box);
    }});
    win32ui::ShowFramedBox(window.Handle(), InformationBox("Обновление выполнено"));
    EXPECT_TRUE(inBox.AllGlyphs);
    EXPECT_EQ(FontOf(window.Control("OKBtn")).lfCharSet, win32ui::WindowFontChoice().Charset);
}

// The colours `control` paints now, counted over its client area (drawn into a bitmap of its own:
// the tests' display driver keeps no pixels of the screen).
std::map<COLORREF, int> PaintedColours(HWND control) {
    RECT area{};
    GetClientRect(control, &area);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = area.right;
    info.bmiHeader.biHeight = -area.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC dc = CreateCompatibleDC(nullptr);
    const HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ previous = SelectObject(dc, bitmap);
    SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc),
                 PRF_CLIENT | PRF_ERASEBKGND);
    GdiFlush();
    std::map<COLORREF, int> colours;
    const auto* pixels = static_cast<const DWORD*>(bits);
    for (int i = 0; i < area.right * area.bottom; ++i) {
        const DWORD pixel = pixels[i];
        ++colours[RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF)];
    }
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return colours;
}

// While Start runs the controls are disabled; the progress caption stays bold maroon, not the
// grey of a disabled label.
TEST(Win32Window, TheProgressCaptionIsMaroonWhileACommandRuns) {
    std::map<COLORREF, int> colours;
    bool enabled = false;
    TfrmMain* view = nullptr;
    TMainCommands commands;
    commands.Update = [&](const std::string&, const std::string&, TOperator&) {
        const HWND caption = view->Control("lProgress");
        enabled = IsWindowEnabled(caption) != FALSE;
        colours = PaintedColours(caption);
    };
    TfrmMain window(std::move(commands), "C:\\Kormant\\Updater.exe");
    view = &window;
    window.Show(SW_SHOWNORMAL);
    SendMessageW(window.Control("OKBtn"), BM_CLICK, 0, 0);
    EXPECT_TRUE(enabled);
    // Bold strokes of an 11-pixel font: dozens of pixels in the text colour itself.
    EXPECT_GT(colours[RGB(0x80, 0x00, 0x00)], 20);
    EXPECT_EQ(colours.count(GetSysColor(COLOR_GRAYTEXT)), 0u);
    EXPECT_EQ(colours.count(RGB(0, 0, 0)), 0u);
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
// A command that fails after the close is not lost with the window: its failure box comes first
// (the program has no console), and its text also goes to the standard error stream.
TEST(Win32Window, ClosedWhileACommandRunsItGoesWhenTheCommandReturns) {
    struct TRow {
        const char* Failure; // nullptr: the command succeeds
        std::size_t Boxes;
    };
    const TRow rows[] = {{nullptr, 0}, {"Нет связи с сервером", 1}};
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Failure != nullptr ? row.Failure : "no failure");
        HWND handle = nullptr;
        bool openAfterClose = false;
        bool answer = true;
        TMainCommands commands;
        commands.Update = [&](const std::string&, const std::string&, TOperator& op) {
            PostMessageW(handle, WM_SYSCOMMAND, SC_CLOSE, 0);
            op.ProcessEvents();
            openAfterClose = IsWindow(handle) != FALSE;
            answer = op.AskYesNo("Продолжить?");
            if (row.Failure != nullptr) {
                throw std::runtime_error(row.Failure);
            }
        };
        TfrmMain window(std::move(commands), "C:\\Kormant\\Updater.exe");
        handle = window.Handle();
        window.Show(SW_SHOWNORMAL);
        std::ostringstream errors;
        std::streambuf* const stderrBuffer = std::cerr.rdbuf(errors.rdbuf());
        TBoxAnswerer answerer({PressKey(VK_RETURN)},
                              [&] { return IsWindow(handle) ? "window open" : "window gone"; });
        SendMessageW(window.Control("OKBtn"), BM_CLICK, 0, 0);
        std::cerr.rdbuf(stderrBuffer);
        EXPECT_TRUE(openAfterClose);
        EXPECT_FALSE(answer);
        ASSERT_EQ(answerer.Seen().size(), row.Boxes);
        EXPECT_EQ(answerer.Unexpected(), 0);
        if (row.Failure != nullptr) {
            const TSeenBox& seen = answerer.Seen()[0];
            EXPECT_EQ(seen.Caption, "Updater");
            EXPECT_NE(seen.Text.find(std::string(row.Failure) + "."), std::string::npos)
                << seen.Text;
            EXPECT_EQ(seen.ScreenButtons, (std::vector<std::string>{"OK"}));
            EXPECT_EQ(seen.Note, "window open");
            EXPECT_EQ(errors.str(), std::string(row.Failure) + "\n");
        } else {
            EXPECT_EQ(errors.str(), "");
        }
        Pump();
        EXPECT_FALSE(IsWindow(handle));
    }
}

// ---- The folder chooser

using win32ui::TfrmChoiceFolder;

HTREEITEM TreeNext(HWND tree, HTREEITEM item, UINT relation) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

std::string TreeText(HWND tree, HTREEITEM item) {
    wchar_t text[MAX_PATH + 1] = {};
    TVITEMW data{};
    data.mask = TVIF_TEXT | TVIF_HANDLE;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = MAX_PATH;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
    return win32ui::Narrow(text);
}

bool Expanded(HWND tree, HTREEITEM item) {
    return (SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED) &
            TVIS_EXPANDED) != 0;
}

std::vector<std::string> ChildTexts(HWND tree, HTREEITEM parent) {
    std::vector<std::string> texts;
    for (HTREEITEM child = TreeNext(tree, parent, TVGN_CHILD); child != nullptr;
         child = TreeNext(tree, child, TVGN_NEXT)) {
        texts.push_back(TreeText(tree, child));
    }
    return texts;
}

HTREEITEM ChildText(HWND tree, HTREEITEM parent, const std::string& text) {
    for (HTREEITEM child = TreeNext(tree, parent, TVGN_CHILD); child != nullptr;
         child = TreeNext(tree, child, TVGN_NEXT)) {
        if (TreeText(tree, child) == text) {
            return child;
        }
    }
    return nullptr;
}

// The rectangle of `item`'s name in the tree's client area; empty when the row is not shown.
RECT NameRect(HWND tree, HTREEITEM item) {
    RECT name{};
    std::memcpy(&name, &item, sizeof item);
    if (!SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&name))) {
        return {};
    }
    return name;
}

// The operator sees the row, and the name from its start on.
bool NameInView(HWND tree, HTREEITEM item) {
    const RECT name = NameRect(tree, item);
    RECT client{};
    GetClientRect(tree, &client);
    return name.right > name.left && name.top >= client.top && name.bottom <= client.bottom &&
           name.left >= client.left && name.left < client.right;
}

std::string Utf8(const fs::path& path) {
    const std::u8string text = fs::path(path).make_preferred().u8string();
    return {text.begin(), text.end()};
}

// Folders of the scratch tree that the chooser's tests open.
struct TChooserFolders {
    TTempFolder Temp;
    fs::path Kormant = Temp.MakeFolder("Кормант");
    fs::path Deep = Temp.MakeFolder("Кормант/Программа 4.1/Данные");
    fs::path Other = Temp.MakeFolder("Другая");
    fs::path Hidden = Temp.MakeFolder(".скрытая/Kormant");
    TChooserFolders() {
        SetFileAttributesW(Hidden.parent_path().wstring().c_str(), FILE_ATTRIBUTE_HIDDEN);
        SetFileAttributesW(Temp.MakeFolder("Кормант/.hidden").wstring().c_str(),
                           FILE_ATTRIBUTE_HIDDEN);
        Temp.MakeFile("Кормант/readme.txt", "x");
        Temp.MakeFile("файл.txt", "x");
        // Enough folders beside the preset ones that the tree scrolls.
        for (int i = 0; i < 30; ++i) {
            Temp.MakeFolder("Ряд " + std::to_string(10 + i));
        }
    }
};

TEST(Win32FolderChooser, ItsControlsTextsAndRectangles) {
    TfrmMain window({}, "C:\\Kormant\\Updater.exe");
    window.Show(SW_SHOWNORMAL);
    std::vector<std::string> failures;
    const auto check = [&failures](bool good, const std::string& what) {
        if (!good) {
            failures.push_back(what);
        }
    };
    std::optional<std::string> chosen;
    TBoxAnswerer answerer({[&](HWND dialog) {
        check(!IsWindowEnabled(window.Handle()), "the owner is disabled");
        RECT client{};
        GetClientRect(dialog, &client);
        check(client.right == 306 && client.bottom == 303,
              "client " + std::to_string(client.right) + "x" + std::to_string(client.bottom));
        const auto style = GetWindowLongPtrW(dialog, GWL_STYLE);
        check((style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU), "caption and close");
        check(!(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX)), "fixed frame");
        RECT frame{};
        RECT owner{};
        GetWindowRect(dialog, &frame);
        GetWindowRect(window.Handle(), &owner);
        check(std::abs((frame.left + frame.right) - (owner.left + owner.right)) <= 1 &&
                  std::abs((frame.top + frame.bottom) - (owner.top + owner.bottom)) <= 1,
              "centred over the window");
        check(static_cast<DWORD>(SendMessageW(dialog, DM_GETDEFID, 0, 0)) ==
                  MAKELONG(IDOK, DC_HASDEFID),
              "OK is the default button");
        struct TRow {
            int Id;
            const char* Class;
            const char* Text;
            int X, Y, Width, Height;
        };
        const TRow rows[] = {
            {win32ui::idLChoiceFolder, "static", "Выбор папки:", 8, 16, 69, 13},
            {win32ui::idStvChoiceFolder, "systreeview32", "", 8, 38, 289, 217},
            {IDOK, "button", "OK", 142, 268, 75, 25},
            {IDCANCEL, "button", "Отмена", 222, 268, 75, 25},
        };
        for (const TRow& row : rows) {
            const HWND control = GetDlgItem(dialog, row.Id);
            check(control != nullptr, std::string("control ") + row.Text);
            if (control == nullptr) {
                continue;
            }
            check(ClassName(control) == row.Class, ClassName(control));
            check(WindowText(control) == row.Text, WindowText(control));
            const RECT area = PlaceInParent(control);
            check(area.left == row.X && area.top == row.Y && area.right - area.left == row.Width &&
                      area.bottom - area.top == row.Height,
                  std::string("rectangle of ") + ClassName(control) + " " + row.Text);
            const LOGFONTW font = FontOf(control);
            check(std::wstring(font.lfFaceName) == win32ui::WindowFontChoice().Face &&
                      font.lfCharSet == win32ui::WindowFontChoice().Charset && font.lfHeight == -11,
                  std::string("font of ") + row.Text);
        }
        const HWND tree = GetDlgItem(dialog, win32ui::idStvChoiceFolder);
        check(GetFocus() == tree, "the tree has the focus");
        check(SendMessageW(tree, TVM_GETINDENT, 0, 0) == 19, "indent 19");
        const auto treeStyle = GetWindowLongPtrW(tree, GWL_STYLE);
        check((treeStyle & TVS_HASBUTTONS) && !(treeStyle & TVS_LINESATROOT) &&
                  !(treeStyle & TVS_EDITLABELS),
              "buttons below the root, no renaming");
        // One top entry, the computer's, expanded and selected, with the drives below it.
        const HTREEITEM root = TreeNext(tree, nullptr, TVGN_ROOT);
        check(root != nullptr && TreeNext(tree, root, TVGN_NEXT) == nullptr, "one top entry");
        check(!TreeText(tree, root).empty(), "the computer's name");
        check(Expanded(tree, root), "the computer's entry expanded");
        check(TreeNext(tree, nullptr, TVGN_CARET) == root, "the computer's entry selected");
        bool driveZ = false;
        for (const std::string& drive : ChildTexts(tree, root)) {
            driveZ = driveZ || drive.find("Z:") != std::string::npos;
        }
        check(driveZ, "drive Z: listed");
        PressKey(VK_ESCAPE)(dialog);
    }});
    chosen = win32ui::ChooseFolderWithDialog(window.Handle(), "");
    EXPECT_EQ(failures, std::vector<std::string>{});
    EXPECT_EQ(chosen, std::nullopt);
    ASSERT_EQ(answerer.Seen().size(), 1u);
    const TSeenBox& seen = answerer.Seen()[0];
    EXPECT_EQ(seen.Caption, "Выбор папки");
    EXPECT_EQ(seen.Text, "Выбор папки:");
    EXPECT_EQ(seen.ScreenButtons, (std::vector<std::string>{"OK", "Отмена"}));
    // Tab walks from the tree (no text) to OK and Отмена.
    EXPECT_EQ(seen.TabButtons, (std::vector<std::string>{"", "OK", "Отмена"}));
    EXPECT_TRUE(IsWindowEnabled(window.Handle()));
}

// The root field's text preselects its folder, every entry on the way expanded, in view; OK
// without any click gives it back. A text that names no folder leaves the computer selected.
TEST(Win32FolderChooser, ThePresetFolderIsSelectedWithItsWay) {
    TChooserFolders folders;
    const std::string temp = Utf8(folders.Temp.Path());
    struct TRow {
        std::string Text;
        std::string Chosen;
        std::string Name; // the selected entry's text ("" for the computer's)
    };
    const TRow rows[] = {
        {Utf8(folders.Deep), Utf8(folders.Deep), "Данные"},
        {temp + "\\Кормант\\нет\\..\\Программа 4.1\\\\", temp + "\\Кормант\\Программа 4.1",
         "Программа 4.1"},
        {temp + "\\КОРМАНТ", temp + "\\Кормант", "Кормант"},
        {Utf8(folders.Hidden), Utf8(folders.Hidden), "Kormant"},
        {temp + "\\Ряд 39", temp + "\\Ряд 39", "Ряд 39"},
        {temp + "\\нет такой папки", win32ui::kComputerEntryPath, ""},
        {temp + "\\файл.txt", win32ui::kComputerEntryPath, ""},
        {"", win32ui::kComputerEntryPath, ""},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Text);
        std::string name = "?";
        bool wayExpanded = true;
        bool selectionExpanded = true;
        bool inView = false;
        TBoxAnswerer answerer({[&](HWND dialog) {
            const HWND tree = GetDlgItem(dialog, win32ui::idStvChoiceFolder);
            const HTREEITEM selected = TreeNext(tree, nullptr, TVGN_CARET);
            const bool computer = selected == TreeNext(tree, nullptr, TVGN_ROOT);
            name = computer ? "" : TreeText(tree, selected);
            for (HTREEITEM way = TreeNext(tree, selected, TVGN_PARENT); way != nullptr;
                 way = TreeNext(tree, way, TVGN_PARENT)) {
                wayExpanded = wayExpanded && Expanded(tree, way);
            }
            selectionExpanded = !computer && Expanded(tree, selected);
            inView = NameInView(tree, selected);
            PressKey(VK_RETURN)(dialog);
        }});
        TfrmChoiceFolder dialog(nullptr);
        dialog.SetPath(row.Text);
        EXPECT_EQ(dialog.ShowModal(), mrOk);
        EXPECT_EQ(dialog.Path(), std::optional<std::string>(row.Chosen));
        EXPECT_EQ(name, row.Name);
        EXPECT_TRUE(wayExpanded);
        EXPECT_FALSE(selectionExpanded);
        EXPECT_TRUE(inView);
    }
}

TEST(Win32FolderChooser, ItsResultsFollowTheButtonsAndKeys) {
    TChooserFolders folders;
    const auto press = [](int id) {
        return [id](HWND dialog) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); };
    };
    struct TRow {
        const char* Name;
        TBoxAnswer Answer;
        int Result;
        std::optional<std::string> Chosen;
    };
    const TRow rows[] = {
        {"OK", press(IDOK), mrOk, Utf8(folders.Deep)},
        {"Enter", PressKey(VK_RETURN), mrOk, Utf8(folders.Deep)},
        {"Отмена", press(IDCANCEL), mrClosed, std::nullopt},
        {"Esc", PressKey(VK_ESCAPE), mrClosed, std::nullopt},
        {"title bar", CloseByTitleBar(), mrClosed, std::nullopt},
        // As after a preset folder whose entry the tree does not have: OK gives nothing.
        {"OK, nothing selected",
         [](HWND dialog) {
             SendMessageW(GetDlgItem(dialog, win32ui::idStvChoiceFolder), TVM_SELECTITEM,
                          TVGN_CARET, 0);
             PressKey(VK_RETURN)(dialog);
         },
         mrOk, std::nullopt},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TBoxAnswerer answerer({row.Answer});
        TfrmChoiceFolder dialog(nullptr);
        dialog.SetPath(Utf8(folders.Deep));
        EXPECT_EQ(dialog.ShowModal(), row.Result);
        EXPECT_EQ(dialog.Path(), row.Chosen);
        EXPECT_EQ(answerer.Seen().size(), 1u);
    }
}

// Folders only, hidden ones left out; a right click selects the entry under the pointer and
// opens no menu.
TEST(Win32FolderChooser, ListsFoldersOnlyAndARightClickSelects) {
    TChooserFolders folders;
    std::vector<std::string> listed;
    std::string selectedByClick;
    bool menu = true;
    TBoxAnswerer answerer({[&](HWND dialog) {
        const HWND tree = GetDlgItem(dialog, win32ui::idStvChoiceFolder);
        const HTREEITEM program = TreeNext(tree, nullptr, TVGN_CARET);
        const HTREEITEM kormant = TreeNext(tree, program, TVGN_PARENT);
        listed = ChildTexts(tree, kormant);
        const HTREEITEM other = ChildText(tree, TreeNext(tree, kormant, TVGN_PARENT), "Другая");
        SendMessageW(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(other));
        const RECT name = NameRect(tree, other);
        const LPARAM at = MAKELPARAM((name.left + name.right) / 2, (name.top + name.bottom) / 2);
        SendMessageW(tree, WM_RBUTTONDOWN, MK_RBUTTON, at);
        SendMessageW(tree, WM_RBUTTONUP, 0, at);
        POINT screen{(name.left + name.right) / 2, (name.top + name.bottom) / 2};
        ClientToScreen(tree, &screen);
        SendMessageW(tree, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(tree),
                     MAKELPARAM(screen.x, screen.y));
        selectedByClick = TreeText(tree, TreeNext(tree, nullptr, TVGN_CARET));
        // A menu would be a window of the class #32768.
        menu = FindWindowW(L"#32768", nullptr) != nullptr &&
               IsWindowVisible(FindWindowW(L"#32768", nullptr));
        PressKey(VK_RETURN)(dialog);
    }});
    TfrmChoiceFolder dialog(nullptr);
    dialog.SetPath(Utf8(folders.Kormant) + "\\Программа 4.1");
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    EXPECT_EQ(listed, std::vector<std::string>{"Программа 4.1"});
    EXPECT_EQ(selectedByClick, "Другая");
    EXPECT_FALSE(menu);
    EXPECT_EQ(dialog.Path(), std::optional<std::string>(Utf8(folders.Other)));
}

// The main window's "..." opens the chooser at the root field's folder and puts the chosen one
// into the field; the password stays.
TEST(Win32FolderChooser, TheDotsButtonPutsTheChosenFolderIntoTheRoot) {
    TChooserFolders folders;
    const std::string start = Utf8(folders.Kormant);
    struct TRow {
        const char* Name;
        bool Pick;
        TBoxAnswer Close;
        std::string Root;
    };
    const TRow rows[] = {
        {"OK", true, PressKey(VK_RETURN), Utf8(folders.Other)},
        {"Отмена", true,
         [](HWND dialog) { SendMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0); }, start},
        {"Esc", true, PressKey(VK_ESCAPE), start},
        {"OK, nothing selected", false,
         [](HWND dialog) {
             SendMessageW(GetDlgItem(dialog, win32ui::idStvChoiceFolder), TVM_SELECTITEM,
                          TVGN_CARET, 0);
             PressKey(VK_RETURN)(dialog);
         },
         start},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TfrmMain window({}, "C:\\Kormant\\Updater.exe");
        window.Show(SW_SHOWNORMAL);
        SetWindowTextW(window.Control("eProgramLocation"), Widen(start).c_str());
        SetWindowTextW(window.Control("ePassword"), L"секрет");
        std::string preset;
        HWND owner = nullptr;
        TBoxAnswerer answerer({[&](HWND dialog) {
            owner = GetWindow(dialog, GW_OWNER);
            const HWND tree = GetDlgItem(dialog, win32ui::idStvChoiceFolder);
            const HTREEITEM kormant = TreeNext(tree, nullptr, TVGN_CARET);
            preset = TreeText(tree, kormant);
            if (row.Pick) {
                const HTREEITEM other =
                    ChildText(tree, TreeNext(tree, kormant, TVGN_PARENT), "Другая");
                SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(other));
            }
            row.Close(dialog);
        }});
        SendMessageW(window.Control("bbProgramLocation"), BM_CLICK, 0, 0);
        EXPECT_EQ(owner, window.Handle());
        EXPECT_EQ(preset, "Кормант");
        EXPECT_EQ(WindowText(window.Control("eProgramLocation")), row.Root);
        EXPECT_EQ(WindowText(window.Control("ePassword")), "секрет");
        EXPECT_EQ(answerer.Seen().size(), 1u);
    }
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
