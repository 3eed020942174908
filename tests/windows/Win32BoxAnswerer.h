// Answers the modal boxes a window test opens, from a timer of the test's own thread: each box is
// recorded as it showed (caption, texts, buttons, focus) and then answered with posted keys or
// messages. A box that is still open seconds after its answer, or one nobody expected, is ended
// with kUnansweredResult, so a wrong behaviour fails a test and never hangs it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/win32/WideText.h"

struct TSeenBox {
    std::string Caption;
    std::string Text; // the texts of its static controls, joined by "|"
    HICON Icon = nullptr;
    std::vector<std::string> ScreenButtons; // left to right
    std::vector<std::string> TabButtons;    // from the focused one, as Tab walks
    std::string Focused;
    // Filled by the test's own check when the box appeared (the window's state meanwhile).
    std::string Note;
};

// The box as it shows now, read through its window messages, so also a box of another process.
// The focus is its thread's (GetFocus sees only the calling thread's).
TSeenBox RecordBox(HWND box);
// A window's text asked of the window itself (WM_GETTEXT): the system keeps no copy of what an
// edit control holds, so this also reads the controls of another process.
std::string TextOf(HWND window);
// The window that has the keyboard focus in the thread of `window`; nullptr when none has.
HWND FocusOfThreadOf(HWND window);

// What a box is answered with: called with the box, it posts its keys.
using TBoxAnswer = std::function<void(HWND box)>;

inline constexpr int kUnansweredResult = 4242;

// The keys and messages a test answers with.
TBoxAnswer PressKey(UINT key);                    // WM_KEYDOWN to the focused control
TBoxAnswer TypeChar(wchar_t character, bool alt); // WM_CHAR, or WM_SYSCHAR with Alt
TBoxAnswer CloseByTitleBar();                     // the system menu's Close
TBoxAnswer Keys(std::vector<TBoxAnswer> answers); // one after another

class TBoxAnswerer {
public:
    // `note` (may be empty) runs when each box appears, before it is answered.
    explicit TBoxAnswerer(std::vector<TBoxAnswer> answers,
                          std::function<std::string()> note = nullptr);
    ~TBoxAnswerer();
    TBoxAnswerer(const TBoxAnswerer&) = delete;
    TBoxAnswerer& operator=(const TBoxAnswerer&) = delete;

    const std::vector<TSeenBox>& Seen() const { return Seen_; }
    // Boxes that appeared with no answer left for them.
    int Unexpected() const { return Unexpected_; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void OnTick();

    std::vector<TBoxAnswer> Answers_;
    std::function<std::string()> Note_;
    std::vector<TSeenBox> Seen_;
    UINT_PTR Timer_ = 0;
    HWND Waiting_ = nullptr;
    DWORD WaitingSince_ = 0;
    HWND Answered_ = nullptr;
    DWORD AnsweredAt_ = 0;
    int Unexpected_ = 0;
};
