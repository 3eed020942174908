#include "app/win32/ShellFolderDialog.h"

#include <commctrl.h>
#include <shlobj.h>

#include "app/win32/Handles.h"
#include "app/win32/WideText.h"

namespace win32ui {

namespace {

constexpr UINT_PTR FollowSubclassId = 1;

// Keeps the first tree view among the children; a named CALLBACK, since a lambda would have the
// C calling convention where 32-bit Windows calls it as __stdcall.
BOOL CALLBACK KeepFolderTree(HWND child, LPARAM data) {
    wchar_t name[32] = {};
    GetClassNameW(child, name, 32);
    if (wcscmp(name, WC_TREEVIEWW) != 0) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(data) = child;
    return FALSE;
}

// The folder tree inside the dialog (the new-style dialog nests it in a control of its own).
HWND FindFolderTree(HWND dialog) {
    HWND found = nullptr;
    EnumChildWindows(dialog, KeepFolderTree, reinterpret_cast<LPARAM>(&found));
    return found;
}

LRESULT CALLBACK WatchOperator(HWND tree, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR);

void StopFollowing(HWND tree) {
    KillTimer(GetAncestor(tree, GA_ROOT), FollowTimerId);
    RemoveWindowSubclass(tree, WatchOperator, FollowSubclassId);
}

LRESULT CALLBACK WatchOperator(HWND tree, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR) {
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
        StopFollowing(tree);
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(tree, WatchOperator, FollowSubclassId);
        break;
    default:
        break;
    }
    return DefSubclassProc(tree, message, wParam, lParam);
}

void CALLBACK KeepSelectionInView(HWND dialog, UINT, UINT_PTR, DWORD) {
    const HWND tree = FindFolderTree(dialog);
    if (tree == nullptr) {
        return;
    }
    const auto selected =
        reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (selected != nullptr) {
        SendMessageW(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(selected));
    }
}

} // namespace

void FollowStartFolder(HWND dialog) {
    SetTimer(dialog, FollowTimerId, FollowInterval, KeepSelectionInView);
    KeepSelectionInView(dialog, WM_TIMER, FollowTimerId, 0);
    if (const HWND tree = FindFolderTree(dialog)) {
        SetWindowSubclass(tree, WatchOperator, FollowSubclassId, 0);
    }
}

int CALLBACK SelectStartFolder(HWND dialog, UINT message, LPARAM, LPARAM data) {
    const auto* folder = reinterpret_cast<const wchar_t*>(data);
    if (message == BFFM_INITIALIZED && folder != nullptr && *folder != L'\0') {
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
        FollowStartFolder(dialog);
    }
    return 0;
}

std::optional<std::string> ChooseFolderWithShell(HWND owner, const std::string& root) {
    // The dialog of the new style lives in a COM apartment of the calling thread.
    const TComApartment apartment;
    LPITEMIDLIST computer = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_DRIVES, &computer))) {
        computer = nullptr;
    }
    const TShellMemory computerOwner(computer);
    const std::wstring start = Widen(root);
    std::wstring display(MAX_PATH, L'\0');

    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.pidlRoot = computer;
    browse.pszDisplayName = display.data();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
    browse.lpfn = SelectStartFolder;
    browse.lParam = reinterpret_cast<LPARAM>(start.c_str());
    const TShellMemory chosen(SHBrowseForFolderW(&browse));
    if (!chosen) {
        return std::nullopt;
    }
    std::wstring path(MAX_PATH, L'\0');
    if (!SHGetPathFromIDListW(static_cast<LPCITEMIDLIST>(chosen.Get()), path.data())) {
        return std::nullopt;
    }
    path.resize(wcslen(path.c_str()));
    return Narrow(path);
}

} // namespace win32ui
