// The folder chooser behind the main window's "..." button: a tree of the computer's drives and
// folders in a dialog of its own, drawn with plain Win32 (a tree view control; no shell dialog,
// so no edit field, no new-folder button, no context menu, no renaming).
#pragma once

#include <optional>
#include <string>

#include "platform/win32/WindowsSupport.h"

namespace win32ui {

// The identifiers of the dialog's controls; its buttons are IDOK ("OK", the default button) and
// IDCANCEL ("Отмена").
inline constexpr int idLChoiceFolder = 1201;
inline constexpr int idStvChoiceFolder = 1202;

// The path the computer's entry gives: the shell's parsing name of the computer, no folder, so a
// later Start or OnLine reports it as not found.
inline constexpr char kComputerEntryPath[] = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";

// The chooser: caption "Выбор папки", client area 306 x 303, centred over its owner, the computer's
// entry expanded by one level and selected. Results: OK and Enter give mrOk (1); Отмена, Esc and
// the title bar's close give mrClosed (2).
class TfrmChoiceFolder {
public:
    explicit TfrmChoiceFolder(HWND owner);

    // The folder to select when the dialog opens (UTF-8), resolved as the update resolves the
    // root (relative to the current folder, "." and ".." lexically). A text that names no existing
    // folder changes nothing; a folder whose entry the tree does not have (no drive of the
    // computer holds it) leaves no entry selected. Every entry on the way is expanded, hidden
    // folders included; the folder's own entry is not.
    void SetPath(const std::string& path);

    // Shows the dialog modal over the owner (disabled meanwhile); its result.
    int ShowModal();

    // The entry selected when OK closed the dialog: a drive's root ("C:\"), a folder's full path,
    // or kComputerEntryPath; nothing when no entry was selected or the dialog was not closed by OK.
    std::optional<std::string> Path() const { return Chosen_; }

private:
    HWND Owner_;
    std::string Preset_;
    std::optional<std::string> Chosen_;
};

// The "..." command: the chooser over `owner` at the folder `root` names; the chosen folder, or
// nothing when the operator cancelled or OK found no entry selected.
std::optional<std::string> ChooseFolderWithDialog(HWND owner, const std::string& root);

} // namespace win32ui
