// The folder chooser behind the window's "..." button: the shell's own folder dialog, rooted at
// the computer, with the current root folder preselected.
#pragma once

#include <optional>
#include <string>

#include "platform/win32/WindowsSupport.h"

namespace win32ui {

// The chosen folder (UTF-8); nothing when the operator cancelled or chose no file-system folder.
std::optional<std::string> ChooseFolderWithShell(HWND owner, const std::string& root);

// The dialog's callback: when the dialog has opened, it selects the folder `data` names (a
// wide, zero-terminated path; none when null or empty).
int CALLBACK SelectStartFolder(HWND dialog, UINT message, LPARAM parameter, LPARAM data);

} // namespace win32ui
