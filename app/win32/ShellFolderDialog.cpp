#include "app/win32/ShellFolderDialog.h"

#include <shlobj.h>

#include "app/win32/Handles.h"
#include "app/win32/WideText.h"

namespace win32ui {

int CALLBACK SelectStartFolder(HWND dialog, UINT message, LPARAM, LPARAM data) {
    const auto* folder = reinterpret_cast<const wchar_t*>(data);
    if (message == BFFM_INITIALIZED && folder != nullptr && *folder != L'\0') {
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
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
