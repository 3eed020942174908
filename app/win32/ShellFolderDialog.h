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
// wide, zero-terminated path; none when null or empty) and keeps it in view (FollowStartFolder).
int CALLBACK SelectStartFolder(HWND dialog, UINT message, LPARAM parameter, LPARAM data);

// The shell fills the dialog's folder tree in the background after the start folder is selected,
// and rows that arrive above it push it out of view. This keeps the tree's selected entry in view
// (checked every FollowInterval ms by the dialog's timer FollowTimerId) until the operator acts
// on the tree: a key, a mouse button (also on its scroll bars) or the wheel.
void FollowStartFolder(HWND dialog);
inline constexpr UINT_PTR FollowTimerId = 0x5546;
inline constexpr UINT FollowInterval = 100;

} // namespace win32ui
