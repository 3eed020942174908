#include "app/win32/FramedBox.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <vector>

#include "app/ApplicationTitle.h"
#include "app/win32/WideText.h"
#include "app/win32/WindowFont.h"

namespace win32ui {

namespace {

constexpr int kMargin = 12;
constexpr int kIconGap = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 6;
constexpr int kMinTextWidth = 240;
constexpr int kMaxTextWidth = 480;

struct TBoxState {
    const TBoxRequest* Request = nullptr;
    // The template's font has the system's character set; the box's Russian texts take the
    // window's font with Cyrillic (WindowFont.h).
    TFont Font;
};

int ButtonIndex(const TBoxRequest& request, const std::string& name) {
    for (std::size_t i = 0; i < request.Buttons.size(); ++i) {
        if (request.Buttons[i].Name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The message's size as the box's font draws it, wrapped at the widest text a box takes.
SIZE MeasureText(HWND box, HFONT font, const std::wstring& text) {
    const HDC dc = GetDC(box);
    const HGDIOBJ old = SelectObject(dc, font);
    RECT area{0, 0, kMaxTextWidth, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(box, dc);
    return {std::max<LONG>(area.right - area.left, kMinTextWidth), area.bottom - area.top};
}

HWND MakeChild(HWND box, const wchar_t* className, const std::wstring& text, DWORD style, int id,
               int x, int y, int width, int height, HFONT font) {
    const HWND child = CreateWindowExW(
        0, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, width, height, box,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

void Layout(HWND box, const TBoxRequest& request, HFONT font) {
    SetWindowTextW(box, Widen(request.Caption).c_str());

    const int iconSize = GetSystemMetrics(SM_CYICON);
    const HWND icon = MakeChild(box, L"Static", L"", SS_ICON, kBoxIconId, kMargin, kMargin,
                                iconSize, iconSize, font);
    const wchar_t* stock = request.Kind == TBoxKind::Information ? IDI_INFORMATION : IDI_ERROR;
    SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, stock)), 0);

    const std::wstring text = WidenWithLineBreaks(request.Text);
    const SIZE textSize = MeasureText(box, font, text);
    const int textX = kMargin + iconSize + kIconGap;
    MakeChild(box, L"Static", text, SS_LEFT | SS_NOPREFIX, kBoxMessageId, textX, kMargin,
              textSize.cx, textSize.cy, font);

    const int count = static_cast<int>(request.Buttons.size());
    const int rowWidth = count * kButtonWidth + (count - 1) * kButtonGap;
    const int clientWidth =
        std::max(textX + static_cast<int>(textSize.cx) + kMargin, rowWidth + 2 * kMargin);
    const int rowY = kMargin + std::max(iconSize, static_cast<int>(textSize.cy)) + kMargin;
    const int clientHeight = rowY + kButtonHeight + kMargin;

    // Created in the tab order (the order the dialog keys walk), placed in the screen order.
    bool first = true;
    for (const std::string& name : request.TabOrder) {
        const int index = ButtonIndex(request, name);
        if (index < 0) {
            continue;
        }
        const TBoxButton& button = request.Buttons[static_cast<std::size_t>(index)];
        const int x = (clientWidth - rowWidth) / 2 + index * (kButtonWidth + kButtonGap);
        const HWND made =
            MakeChild(box, L"Button", Widen(button.Caption),
                      WS_TABSTOP | (first ? WS_GROUP | BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                      kFirstBoxButtonId + index, x, rowY, kButtonWidth, kButtonHeight, font);
        if (first) {
            SendMessageW(box, DM_SETDEFID, static_cast<WPARAM>(kFirstBoxButtonId + index), 0);
            SetFocus(made);
            first = false;
        }
    }

    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(box, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(box, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(box, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK BoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(box, DWLP_USER, lParam);
        auto& state = *reinterpret_cast<TBoxState*>(lParam);
        state.Font = MakeWindowFont(FW_NORMAL);
        SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(state.Font.Get()), FALSE);
        Layout(box, *state.Request, state.Font.Get());
        return FALSE; // the focus is set
    }
    case WM_COMMAND: {
        const auto* state = reinterpret_cast<TBoxState*>(GetWindowLongPtrW(box, DWLP_USER));
        if (state == nullptr) {
            return FALSE;
        }
        const TBoxRequest& request = *state->Request;
        const int id = LOWORD(wParam);
        int index = id - kFirstBoxButtonId;
        // Esc: the dialog keys send IDCANCEL.
        if (id == IDCANCEL) {
            index = ButtonIndex(request, request.CancelButton);
        }
        if (index >= 0 && index < static_cast<int>(request.Buttons.size())) {
            EndDialog(box, request.Buttons[static_cast<std::size_t>(index)].Result);
            return TRUE;
        }
        return FALSE;
    }
    case WM_CLOSE:
        // The title bar's close, not Esc.
        EndDialog(box, mrClosed);
        return TRUE;
    default:
        return FALSE;
    }
}

void Append(std::vector<WORD>& words, const std::wstring& text) {
    words.insert(words.end(), text.begin(), text.end());
    words.push_back(0);
}

// An empty dialog template with the box's font; the controls are made at WM_INITDIALOG, sized to
// the message.
std::vector<WORD> BoxTemplate() {
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
    DLGTEMPLATE head{};
    head.style = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    head.dwExtendedStyle = WS_EX_DLGMODALFRAME;
    head.cdit = 0;
    head.cx = 200;
    head.cy = 80;
    std::memcpy(words.data(), &head, sizeof(head));
    words.push_back(0); // no menu
    words.push_back(0); // the dialog class
    words.push_back(0); // no title yet
    words.push_back(8); // points
    Append(words, L"MS Sans Serif");
    return words;
}

} // namespace

int ShowFramedBox(HWND owner, const TBoxRequest& box) {
    TBoxState state{&box, {}};
    // DLGTEMPLATE must be DWORD-aligned; a vector of WORDs from the heap is.
    const std::vector<WORD> layout = BoxTemplate();
    const INT_PTR result = DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(layout.data()), owner,
        BoxProc, reinterpret_cast<LPARAM>(&state));
    return result <= 0 ? mrClosed : static_cast<int>(result);
}

void ShowSystemFailureBox(HWND owner, const std::string& caption, const std::string& text) {
    MessageBoxW(owner, WidenWithLineBreaks(text).c_str(), Widen(caption).c_str(),
                MB_ICONSTOP | MB_OK);
}

void ReportFailure(HWND owner, const std::string& message) {
    std::cerr << message << std::endl;
    try {
        ShowSystemFailureBox(owner != nullptr && IsWindow(owner) ? owner : nullptr,
                             ApplicationTitle(), ApplyPeriodRule(message));
    } catch (...) {
        // Nothing is left to tell it with; the standard error stream has it.
    }
}

} // namespace win32ui
