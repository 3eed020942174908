#include "tests/windows/Win32BoxAnswerer.h"

#include <algorithm>
#include <map>

namespace {

TBoxAnswerer* gActive = nullptr;
constexpr DWORD kAnswerPatienceMs = 5000;
constexpr DWORD kFocusPatienceMs = 2000;

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// The dialog window of this thread that is open now, or nullptr.
HWND OpenBox() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM result) -> BOOL {
            if (IsWindowVisible(window) && ClassOf(window) == L"#32770") {
                *reinterpret_cast<HWND*>(result) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

} // namespace

std::string TextOf(HWND window) {
    constexpr UINT kPatienceMs = 5000;
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kPatienceMs,
                             &length)) {
        return {};
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kPatienceMs, &got)) {
        return {};
    }
    text.resize(std::min<std::size_t>(got, length));
    return win32ui::Narrow(text);
}

HWND FocusOfThreadOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus
                                                                              : nullptr;
}

TSeenBox RecordBox(HWND box) {
    TSeenBox seen;
    seen.Caption = TextOf(box);
    std::multimap<LONG, std::string> buttons;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const std::wstring kind = ClassOf(child);
        if (_wcsicmp(kind.c_str(), L"Static") == 0) {
            const auto icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
            if (icon != nullptr) {
                seen.Icon = icon;
            }
            const std::string text = TextOf(child);
            if (!text.empty()) {
                seen.Text += (seen.Text.empty() ? "" : "|") + text;
            }
        } else if (_wcsicmp(kind.c_str(), L"Button") == 0) {
            RECT area{};
            GetWindowRect(child, &area);
            buttons.emplace(area.left, TextOf(child));
        }
    }
    for (const auto& [x, text] : buttons) {
        seen.ScreenButtons.push_back(text);
    }
    const HWND focus = FocusOfThreadOf(box);
    if (focus != nullptr && GetParent(focus) == box) {
        seen.Focused = TextOf(focus);
        HWND at = focus;
        do {
            seen.TabButtons.push_back(TextOf(at));
            at = GetNextDlgTabItem(box, at, FALSE);
        } while (at != nullptr && at != focus && seen.TabButtons.size() < 10);
    }
    return seen;
}

TBoxAnswer PressKey(UINT key) {
    return [key](HWND box) {
        const HWND focus = GetFocus();
        PostMessageW(focus != nullptr ? focus : box, WM_KEYDOWN, key, 1);
    };
}

TBoxAnswer TypeChar(wchar_t character, bool alt) {
    return [character, alt](HWND box) {
        const HWND focus = GetFocus();
        // Bit 29: the Alt key is down.
        PostMessageW(focus != nullptr ? focus : box, alt ? WM_SYSCHAR : WM_CHAR, character,
                     alt ? (1 | (1 << 29)) : 1);
    };
}

TBoxAnswer CloseByTitleBar() {
    return [](HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); };
}

TBoxAnswer Keys(std::vector<TBoxAnswer> answers) {
    return [answers](HWND box) {
        for (const auto& answer : answers) {
            answer(box);
        }
    };
}

TBoxAnswerer::TBoxAnswerer(std::vector<TBoxAnswer> answers, std::function<std::string()> note)
    : Answers_(std::move(answers)), Note_(std::move(note)) {
    std::reverse(Answers_.begin(), Answers_.end());
    gActive = this;
    Timer_ = SetTimer(nullptr, 0, 20, &TBoxAnswerer::Tick);
}

TBoxAnswerer::~TBoxAnswerer() {
    KillTimer(nullptr, Timer_);
    gActive = nullptr;
}

void CALLBACK TBoxAnswerer::Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (gActive != nullptr) {
        gActive->OnTick();
    }
}

void TBoxAnswerer::OnTick() {
    const HWND box = OpenBox();
    if (box == nullptr) {
        return;
    }
    if (box == Answered_) {
        if (GetTickCount() - AnsweredAt_ > kAnswerPatienceMs) {
            EndDialog(box, kUnansweredResult);
            Answered_ = nullptr;
        }
        return;
    }
    // The box is recorded once its focus has settled: under load Wine activates a new window
    // a moment after showing it. A box whose focus never arrives is recorded as it is.
    const HWND focus = GetFocus();
    if (box != Waiting_) {
        Waiting_ = box;
        WaitingSince_ = GetTickCount();
    }
    if ((focus == nullptr || GetParent(focus) != box) &&
        GetTickCount() - WaitingSince_ < kFocusPatienceMs) {
        return;
    }
    TSeenBox seen = RecordBox(box);
    if (Note_) {
        seen.Note = Note_();
    }
    Seen_.push_back(std::move(seen));
    Answered_ = box;
    AnsweredAt_ = GetTickCount();
    if (Answers_.empty()) {
        ++Unexpected_;
        EndDialog(box, kUnansweredResult);
        return;
    }
    const TBoxAnswer answer = std::move(Answers_.back());
    Answers_.pop_back();
    answer(box);
}
