#include "tests/windows/Win32ProgramDriver.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <utility>

#include "app/win32/Handles.h"

namespace {

using win32ui::Widen;

constexpr DWORD kPollMs = 20;

// A wait's patience, times UPDATER_TEST_PATIENCE when that is set: a 32-bit program under
// emulated 32-bit Wine (scripts/windows32-tests.sh) answers many times slower.
DWORD Patient(DWORD ms) {
    const char* factor = std::getenv("UPDATER_TEST_PATIENCE");
    const long times = factor != nullptr ? std::strtol(factor, nullptr, 10) : 1;
    return times > 1 ? ms * static_cast<DWORD>(times) : ms;
}

const DWORD kFocusPatienceMs = Patient(2000);
const DWORD kAnswerPatienceMs = Patient(5000);
// How long a message to the program may take before it counts as hung.
const UINT kMessagePatienceMs = Patient(5000);

void CloseHandleOf(HANDLE handle) {
    CloseHandle(handle);
}
using THandle = win32ui::TOwned<HANDLE, &CloseHandleOf>;

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// The visible top-level window of class `className` that `process` owns, or nullptr.
HWND TopWindowOf(DWORD process, const wchar_t* className) {
    struct TSearch {
        DWORD Process;
        const wchar_t* Class;
        HWND Found;
    } search{process, className, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* wanted = reinterpret_cast<TSearch*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == wanted->Process && IsWindowVisible(window) &&
                ClassOf(window) == wanted->Class) {
                wanted->Found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

// The first descendant of `window` that `wanted` accepts, or nullptr.
HWND DescendantWhere(HWND window, const std::function<bool(HWND)>& wanted) {
    struct TSearch {
        const std::function<bool(HWND)>* Wanted;
        HWND Found;
    } search{&wanted, nullptr};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM data) -> BOOL {
            auto* found = reinterpret_cast<TSearch*>(data);
            if ((*found->Wanted)(child)) {
                found->Found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

// An edit control of the window, told apart by its style as the operator tells the fields
// apart by what they show: the password field hides its text, the log pane has many lines.
HWND EditOf(HWND window, LONG_PTR kind) {
    return DescendantWhere(window, [kind](HWND child) {
        const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
        return _wcsicmp(ClassOf(child).c_str(), L"Edit") == 0 &&
               (style & (ES_PASSWORD | ES_MULTILINE)) == kind;
    });
}

HWND ButtonOf(HWND window, const std::string& caption) {
    return DescendantWhere(window, [&caption](HWND child) {
        return _wcsicmp(ClassOf(child).c_str(), L"Button") == 0 && TextOf(child) == caption;
    });
}

bool SetText(HWND control, const std::string& text) {
    const std::wstring wide = Widen(text);
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                               SMTO_ABORTIFHUNG, kMessagePatienceMs, &result) != 0 &&
           result != 0;
}

class TDriver {
public:
    TDriver(DWORD process, HANDLE handle, DWORD limitMs, const std::function<std::string()>& note)
        : Process_(process), Handle_(handle), Started_(GetTickCount()), LimitMs_(limitMs),
          Note_(note) {}

    bool TimeLeft() const { return GetTickCount() - Started_ < LimitMs_; }
    DWORD MsLeft() const {
        const DWORD spent = GetTickCount() - Started_;
        return spent < LimitMs_ ? LimitMs_ - spent : 0;
    }
    bool Ended() const { return WaitForSingleObject(Handle_, 0) == WAIT_OBJECT_0; }

    // The run itself; the trouble, or "".
    std::string Drive(const std::string& root, const std::string& password,
                      std::vector<std::string> answers, TProgramRun& run) {
        HWND window = nullptr;
        while (window == nullptr) {
            if (Ended()) {
                return "the program ended before its window showed";
            }
            if (!TimeLeft()) {
                return "no window showed";
            }
            window = TopWindowOf(Process_, L"UpdaterMainWindow");
            Sleep(window == nullptr ? kPollMs : 0);
        }
        const HWND rootField = EditOf(window, 0);
        const HWND passwordField = EditOf(window, ES_PASSWORD);
        const HWND log = EditOf(window, ES_MULTILINE);
        const HWND start = ButtonOf(window, "Старт");
        Close_ = ButtonOf(window, "Закрыть");
        if (rootField == nullptr || passwordField == nullptr || log == nullptr ||
            start == nullptr || Close_ == nullptr) {
            return "the window lacks a field or a button";
        }
        if (!SetText(rootField, root) || !SetText(passwordField, password)) {
            return "the fields took no text";
        }
        PostMessageW(start, BM_CLICK, 0, 0);

        std::reverse(answers.begin(), answers.end());
        bool running = false;
        for (;;) {
            if (!TimeLeft()) {
                return "the run did not end in time";
            }
            if (Ended()) {
                return "the program ended during the run";
            }
            if (const HWND box = TopWindowOf(Process_, L"#32770")) {
                running = true;
                if (auto trouble = Answer(box, answers, run); !trouble.empty()) {
                    return trouble;
                }
                continue;
            }
            if (!IsWindowEnabled(start)) {
                running = true;
            } else if (running) {
                // Enabled again with no box open: the run has ended, unless a box is just
                // about to open. A failure's box opens only after the window is restored, which
                // takes a while on a loaded machine: while answers are left, the wait is longer.
                const ULONGLONG until = GetTickCount64() + (answers.empty() ? 200 : 5000);
                bool boxOpened = false;
                while (!boxOpened && GetTickCount64() < until) {
                    Sleep(kPollMs);
                    boxOpened = TopWindowOf(Process_, L"#32770") != nullptr;
                }
                if (!boxOpened && IsWindowEnabled(start)) {
                    break;
                }
                continue;
            }
            Sleep(kPollMs);
        }
        run.Log = TextOf(log);
        return {};
    }

    // Closes the window by its Close button and waits for the end, ending the program by force
    // when the time is over.
    std::string Finish(TProgramRun& run) {
        if (!Ended() && Close_ != nullptr) {
            PostMessageW(Close_, BM_CLICK, 0, 0);
        }
        if (WaitForSingleObject(Handle_, std::max<DWORD>(MsLeft(), 1000)) != WAIT_OBJECT_0) {
            TerminateProcess(Handle_, 255);
            WaitForSingleObject(Handle_, 5000);
            return "the program did not end and was ended by force";
        }
        DWORD code = 0;
        GetExitCodeProcess(Handle_, &code);
        run.ExitCode = code;
        return {};
    }

private:
    // Reads the box once its focus has settled (Wine activates a new window a moment after
    // showing it), presses the next answer's button and waits for the box to go.
    std::string Answer(HWND box, std::vector<std::string>& answers, TProgramRun& run) {
        const DWORD shown = GetTickCount();
        while (GetTickCount() - shown < kFocusPatienceMs) {
            const HWND focus = FocusOfThreadOf(box);
            if (focus != nullptr && GetParent(focus) == box) {
                break;
            }
            Sleep(kPollMs);
        }
        run.Boxes.push_back(RecordBox(box));
        if (Note_) {
            run.Boxes.back().Note = Note_();
        }
        std::string trouble;
        if (answers.empty()) {
            ++run.Unexpected;
            PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else {
            const std::string caption = std::move(answers.back());
            answers.pop_back();
            if (const HWND button = ButtonOf(box, caption)) {
                PostMessageW(button, BM_CLICK, 0, 0);
            } else {
                trouble = "a box had no button " + caption;
                PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
        }
        const DWORD answered = GetTickCount();
        while (IsWindow(box) && IsWindowVisible(box)) {
            if (GetTickCount() - answered > kAnswerPatienceMs) {
                return "a box stayed open after its answer";
            }
            Sleep(kPollMs);
        }
        return trouble;
    }

    DWORD Process_;
    HANDLE Handle_;
    DWORD Started_;
    DWORD LimitMs_;
    const std::function<std::string()>& Note_;
    HWND Close_ = nullptr;
};

} // namespace

TProgramRun RunUpdaterProgram(const std::filesystem::path& program, const std::string& root,
                              const std::string& password, std::vector<std::string> answers,
                              unsigned long limitMs, const std::function<std::string()>& note) {
    TProgramRun run;
    const std::wstring path = program.wstring();
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    // A program that crashes ends at once instead of waiting at the system's crash box (the
    // error mode is inherited; Wine ignores it and asks its own setting, scripts/windows-tests.sh).
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        program.parent_path().wstring().c_str(), &startup, &started)) {
        run.Trouble = "the program did not start, error " + std::to_string(GetLastError());
        return run;
    }
    const THandle process(started.hProcess);
    const THandle thread(started.hThread);
    TDriver driver(started.dwProcessId, process.Get(), limitMs, note);
    run.Trouble = driver.Drive(root, password, std::move(answers), run);
    const std::string ending = driver.Finish(run);
    if (!ending.empty()) {
        run.Trouble += (run.Trouble.empty() ? "" : "; ") + ending;
    }
    return run;
}

unsigned long RunToEnd(const std::string& program, const std::string& arguments,
                       unsigned long limitMs) {
    std::wstring commandLine = L"\"" + Widen(program) + L"\" " + Widen(arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(Widen(program).c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started)) {
        return 0xFFFFFFFF;
    }
    const THandle process(started.hProcess);
    const THandle thread(started.hThread);
    if (WaitForSingleObject(process.Get(), limitMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 255);
        WaitForSingleObject(process.Get(), 5000);
        return 0xFFFFFFFE;
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.Get(), &exitCode);
    return exitCode;
}

std::string AsShown(std::string text) {
    for (std::size_t at = text.find('\r'); at != std::string::npos; at = text.find('\r', at + 1)) {
        if (at + 1 == text.size() || text[at + 1] != '\n') {
            text.insert(at + 1, "\n");
        }
    }
    return text;
}

std::string Described(const TProgramRun& run) {
    std::string text = "trouble: \"" + run.Trouble + "\", exit code " +
                       std::to_string(run.ExitCode) + ", " + std::to_string(run.Boxes.size()) +
                       " boxes";
    for (const TSeenBox& box : run.Boxes) {
        text += "\n[" + box.Caption + "] " + box.Text + " {";
        for (const std::string& button : box.ScreenButtons) {
            text += " " + button;
        }
        text += " }" + (box.Note.empty() ? "" : " note: " + box.Note);
    }
    return text;
}
