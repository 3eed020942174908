#include "app/win32/TfrmChoiceFolder.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <deque>
#include <vector>

#include "app/WindowLogic.h"
#include "app/win32/Handles.h"
#include "app/win32/WideText.h"
#include "app/win32/WindowFont.h"
#include "platform/Path.h"

namespace win32ui {

namespace {

constexpr int kClientWidth = 306;
constexpr int kClientHeight = 303;
constexpr int kIndent = 19;
constexpr UINT_PTR kTreeSubclassId = 1;

// One entry of the tree: the computer (empty path), a drive ("C:\") or a folder ("C:\a\b").
struct TEntry {
    std::wstring Path;
    bool Listed = false;
};

struct TDialogState {
    HWND Owner = nullptr;
    std::wstring Preset;
    std::optional<std::string>* Chosen = nullptr;
    TFont Font;
    // Addressed by the items' lParam; a deque keeps every entry where it is.
    std::deque<TEntry> Entries;
};

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Listing a drive without a medium (a floppy, an empty CD drive) must not bring up the system's
// "insert a disk" box.
class TQuietErrors {
public:
    TQuietErrors() { SetThreadErrorMode(SEM_FAILCRITICALERRORS, &Previous_); }
    ~TQuietErrors() { SetThreadErrorMode(Previous_, nullptr); }
    TQuietErrors(const TQuietErrors&) = delete;
    TQuietErrors& operator=(const TQuietErrors&) = delete;

private:
    DWORD Previous_ = 0;
};

std::wstring WithDelimiter(const std::wstring& folder) {
    return !folder.empty() && folder.back() == L'\\' ? folder : folder + L'\\';
}

// The names of the folders directly in `folder`, as a file manager lists them: no files, no
// hidden folders (the system's own included), sorted without regard to case. `firstOnly` stops at
// the first one.
std::vector<std::wstring> Subfolders(const std::wstring& folder, bool firstOnly = false) {
    const TQuietErrors quiet;
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search =
        FindFirstFileExW((WithDelimiter(folder) + L"*").c_str(), FindExInfoBasic, &found,
                         FindExSearchLimitToDirectories, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0 || name == L"." ||
            name == L"..") {
            continue;
        }
        names.push_back(name);
    } while (!(firstOnly && !names.empty()) && FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                    static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
    });
    return names;
}

HTREEITEM AddEntry(HWND tree, TDialogState& state, HTREEITEM parent, HTREEITEM after,
                   const std::wstring& text, std::wstring path, int icon, int openIcon,
                   int children) {
    state.Entries.push_back({std::move(path), false});
    std::wstring shown = text;
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = shown.data();
    insert.item.lParam = static_cast<LPARAM>(state.Entries.size() - 1);
    insert.item.cChildren = children;
    insert.item.iImage = icon;
    insert.item.iSelectedImage = openIcon;
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

// The system's small icon of a folder, closed or open; nothing of the disk is read.
int FolderIcon(bool open) {
    SHFILEINFOW info{};
    const UINT flags = SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES |
                       (open ? SHGFI_OPENICON : 0u);
    return SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof(info), flags) != 0
               ? info.iIcon
               : -1;
}

LPARAM ItemData(HWND tree, HTREEITEM item) {
    TVITEMW data{};
    data.mask = TVIF_PARAM | TVIF_HANDLE;
    data.hItem = item;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
    return data.lParam;
}

HTREEITEM Next(HWND tree, HTREEITEM item, UINT relation) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

// The computer's entry lists the drives; a drive or a folder its folders. Once per entry.
void ListEntry(HWND tree, TDialogState& state, HTREEITEM item) {
    const auto index = static_cast<std::size_t>(ItemData(tree, item));
    if (state.Entries[index].Listed) {
        return;
    }
    state.Entries[index].Listed = true;
    const std::wstring path = state.Entries[index].Path;
    if (path.empty()) {
        const TQuietErrors quiet;
        wchar_t drives[512] = {};
        GetLogicalDriveStringsW(511, drives);
        for (const wchar_t* drive = drives; *drive != L'\0'; drive += wcslen(drive) + 1) {
            SHFILEINFOW info{};
            std::wstring text = drive;
            text.resize(2);
            int icon = FolderIcon(false);
            if (SHGetFileInfoW(drive, 0, &info, sizeof(info),
                               SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON) != 0) {
                icon = info.iIcon;
                if (info.szDisplayName[0] != L'\0') {
                    text = info.szDisplayName;
                }
            }
            // Whether a drive has folders is found when it is opened: asking earlier would read
            // every removable medium.
            AddEntry(tree, state, item, TVI_LAST, text, drive, icon, icon, 1);
        }
        return;
    }
    const int closed = FolderIcon(false);
    const int open = FolderIcon(true);
    const std::vector<std::wstring> names = Subfolders(path);
    for (const std::wstring& name : names) {
        AddEntry(tree, state, item, TVI_LAST, name, WithDelimiter(path) + name, closed, open,
                 I_CHILDRENCALLBACK);
    }
    if (names.empty()) {
        TVITEMW data{};
        data.mask = TVIF_CHILDREN | TVIF_HANDLE;
        data.hItem = item;
        data.cChildren = 0;
        SendMessageW(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&data));
    }
}

// The child of `parent` named `name`; when the listing left it out (a hidden folder on the way
// to the preset folder), it is added in its place.
HTREEITEM ChildNamed(HWND tree, TDialogState& state, HTREEITEM parent, const std::wstring& name) {
    HTREEITEM after = TVI_FIRST;
    for (HTREEITEM child = Next(tree, parent, TVGN_CHILD); child != nullptr;
         child = Next(tree, child, TVGN_NEXT)) {
        const std::wstring& path =
            state.Entries[static_cast<std::size_t>(ItemData(tree, child))].Path;
        const std::wstring childName = path.substr(path.find_last_of(L'\\') + 1);
        if (SameName(childName, name)) {
            return child;
        }
        if (CompareStringOrdinal(childName.c_str(), static_cast<int>(childName.size()),
                                 name.c_str(), static_cast<int>(name.size()),
                                 TRUE) == CSTR_LESS_THAN) {
            after = child;
        }
    }
    const std::wstring& parentPath =
        state.Entries[static_cast<std::size_t>(ItemData(tree, parent))].Path;
    const HTREEITEM added =
        AddEntry(tree, state, parent, after, name, WithDelimiter(parentPath) + name,
                 FolderIcon(false), FolderIcon(true), I_CHILDRENCALLBACK);
    TVITEMW data{};
    data.mask = TVIF_CHILDREN | TVIF_HANDLE;
    data.hItem = parent;
    data.cChildren = 1;
    SendMessageW(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&data));
    return added;
}

// Listed first: whether TVM_EXPAND notifies the parent differs between versions of the control.
void Expand(HWND tree, TDialogState& state, HTREEITEM item) {
    ListEntry(tree, state, item);
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

// Brings the selected entry's row into view, and its name from its start on, whole where the
// view is wide enough.
void ShowSelection(HWND tree) {
    const HTREEITEM selected = Next(tree, nullptr, TVGN_CARET);
    if (selected == nullptr) {
        return;
    }
    SendMessageW(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(selected));
    RECT name{};
    std::memcpy(&name, &selected, sizeof selected);
    if (!SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&name))) {
        return;
    }
    RECT client{};
    GetClientRect(tree, &client);
    int shift = 0;
    if (name.right > client.right) {
        shift = std::min<int>(name.right - client.right, name.left);
    } else if (name.left < 0) {
        shift = name.left;
    }
    if (shift != 0) {
        const int position = std::max(0, GetScrollPos(tree, SB_HORZ) + shift);
        SendMessageW(tree, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, position), 0);
    }
}

// The preset folder's entry, reached by expanding every entry on the way; nullptr when no drive
// of the tree holds it. The text has been resolved to a full path of an existing folder.
HTREEITEM FindFolder(HWND tree, TDialogState& state, HTREEITEM computer, const std::wstring& full) {
    if (full.size() < 3 || full[1] != L':' || full[2] != L'\\') {
        return nullptr;
    }
    HTREEITEM at = nullptr;
    for (HTREEITEM drive = Next(tree, computer, TVGN_CHILD); drive != nullptr;
         drive = Next(tree, drive, TVGN_NEXT)) {
        const std::wstring& path =
            state.Entries[static_cast<std::size_t>(ItemData(tree, drive))].Path;
        if (SameName(path.substr(0, 2), full.substr(0, 2))) {
            at = drive;
            break;
        }
    }
    std::size_t from = 3;
    while (at != nullptr && from < full.size()) {
        const std::size_t end = std::min(full.find(L'\\', from), full.size());
        if (end > from) {
            ListEntry(tree, state, at);
            const HTREEITEM child = ChildNamed(tree, state, at, full.substr(from, end - from));
            Expand(tree, state, at);
            at = child;
        }
        from = end + 1;
    }
    return at;
}

void SelectPreset(HWND tree, TDialogState& state, HTREEITEM computer) {
    std::wstring full;
    try {
        const std::string text = Narrow(state.Preset);
        if (text.empty()) {
            return;
        }
        const std::string resolved = platform::FullPath(text);
        if (!platform::FolderExists(resolved)) {
            return;
        }
        full = Widen(resolved);
    } catch (...) {
        // A text that cannot be resolved selects nothing new.
        return;
    }
    const HTREEITEM found = FindFolder(tree, state, computer, full);
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(found));
}

std::optional<std::string> SelectedPath(HWND tree, const TDialogState& state) {
    const HTREEITEM selected = Next(tree, nullptr, TVGN_CARET);
    if (selected == nullptr) {
        return std::nullopt;
    }
    const std::wstring& path =
        state.Entries[static_cast<std::size_t>(ItemData(tree, selected))].Path;
    if (path.empty()) {
        return kComputerEntryPath;
    }
    return Narrow(path);
}

// A right click selects the entry under the pointer, and nothing offers a menu.
LRESULT CALLBACK TreeProc(HWND tree, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                          DWORD_PTR) {
    switch (message) {
    case WM_RBUTTONDOWN: {
        TVHITTESTINFO hit{};
        hit.pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        const auto item = reinterpret_cast<HTREEITEM>(
            SendMessageW(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        if (item != nullptr && (hit.flags & TVHT_ONITEM) != 0) {
            SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
        }
        SetFocus(tree);
        return 0;
    }
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_CONTEXTMENU:
        return 0;
    case WM_NCDESTROY:
        RemoveWindowSubclass(tree, TreeProc, id);
        break;
    default:
        break;
    }
    return DefSubclassProc(tree, message, wParam, lParam);
}

HWND MakeControl(HWND dialog, const wchar_t* className, const wchar_t* text, DWORD style,
                 DWORD exStyle, int id, int x, int y, int width, int height, HFONT font) {
    const HWND control = CreateWindowExW(
        exStyle, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void Layout(HWND dialog, TDialogState& state) {
    SetWindowTextW(dialog, L"Выбор папки");
    state.Font = MakeWindowFont(FW_NORMAL);
    const HFONT font = state.Font.Get();
    SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    // Created in the tab order.
    MakeControl(dialog, L"Static", L"Выбор папки:", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0,
                idLChoiceFolder, 8, 16, 69, 13, font);
    const HWND tree = MakeControl(dialog, WC_TREEVIEWW, L"",
                                  WS_TABSTOP | WS_GROUP | TVS_HASBUTTONS | TVS_HASLINES |
                                      TVS_SHOWSELALWAYS | TVS_DISABLEDRAGDROP,
                                  WS_EX_CLIENTEDGE, idStvChoiceFolder, 8, 38, 289, 217, font);
    MakeControl(dialog, L"Button", L"OK", WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 0, IDOK, 142,
                268, 75, 25, font);
    MakeControl(dialog, L"Button", L"Отмена", WS_TABSTOP | BS_PUSHBUTTON, 0, IDCANCEL, 222, 268, 75,
                25, font);
    SendMessageW(dialog, DM_SETDEFID, IDOK, 0);
    SetWindowSubclass(tree, TreeProc, kTreeSubclassId, 0);
    SendMessageW(tree, TVM_SETINDENT, kIndent, 0);
    SHFILEINFOW info{};
    const auto icons = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoW(L"C:\\", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    // The system's image list is shared: the tree view never destroys a list it was given.
    if (icons != nullptr) {
        SendMessageW(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(icons));
    }

    // The computer's entry, expanded and selected; then the preset folder.
    std::wstring computerName = L"Компьютер";
    int computerIcon = FolderIcon(false);
    LPITEMIDLIST computer = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(dialog, CSIDL_DRIVES, &computer))) {
        const TShellMemory owner(computer);
        if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(computer), 0, &info, sizeof(info),
                           SHGFI_PIDL | SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON) !=
            0) {
            computerIcon = info.iIcon;
            if (info.szDisplayName[0] != L'\0') {
                computerName = info.szDisplayName;
            }
        }
    }
    const HTREEITEM root =
        AddEntry(tree, state, TVI_ROOT, TVI_LAST, computerName, L"", computerIcon, computerIcon, 1);
    Expand(tree, state, root);
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(root));
    SelectPreset(tree, state, root);

    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT over{};
    if (state.Owner == nullptr || !GetWindowRect(state.Owner, &over)) {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &over, 0);
    }
    SetWindowPos(dialog, nullptr, (over.left + over.right - width) / 2,
                 (over.top + over.bottom - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ShowSelection(tree);
    SetFocus(tree);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<TDialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        Layout(dialog, *reinterpret_cast<TDialogState*>(lParam));
        return FALSE; // the focus is set
    case WM_SHOWWINDOW:
        // The size is final once shown: the selection is brought into view again.
        if (wParam != 0) {
            ShowSelection(GetDlgItem(dialog, idStvChoiceFolder));
        }
        return FALSE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (state == nullptr || header->idFrom != static_cast<UINT_PTR>(idStvChoiceFolder)) {
            return FALSE;
        }
        if (header->code == TVN_ITEMEXPANDINGW) {
            const auto* view = reinterpret_cast<const NMTREEVIEWW*>(lParam);
            if ((view->action & TVE_EXPAND) != 0) {
                ListEntry(header->hwndFrom, *state, view->itemNew.hItem);
            }
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, FALSE);
            return TRUE;
        }
        if (header->code == TVN_GETDISPINFOW) {
            // Whether a folder has folders of its own is asked for the rows the tree shows.
            auto* info = reinterpret_cast<NMTVDISPINFOW*>(lParam);
            if ((info->item.mask & TVIF_CHILDREN) != 0) {
                const std::wstring& path =
                    state->Entries[static_cast<std::size_t>(info->item.lParam)].Path;
                info->item.cChildren = Subfolders(path, true).empty() ? 0 : 1;
                info->item.mask |= TVIF_DI_SETITEM;
            }
            return TRUE;
        }
        return FALSE;
    }
    case WM_COMMAND:
        if (state == nullptr) {
            return FALSE;
        }
        if (LOWORD(wParam) == IDOK) {
            *state->Chosen = SelectedPath(GetDlgItem(dialog, idStvChoiceFolder), *state);
            EndDialog(dialog, mrOk);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, mrClosed);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, mrClosed);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

TfrmChoiceFolder::TfrmChoiceFolder(HWND owner) : Owner_(owner) {}

void TfrmChoiceFolder::SetPath(const std::string& path) {
    Preset_ = path;
}

int TfrmChoiceFolder::ShowModal() {
    Chosen_.reset();
    TDialogState state;
    state.Owner = Owner_;
    state.Preset = Widen(Preset_);
    state.Chosen = &Chosen_;
    // The shell's file information (icons, the drives' names) wants COM on the calling thread.
    const TComApartment apartment;
    // An empty template, DWORD-aligned: the controls are made at WM_INITDIALOG in pixels.
    struct alignas(4) TTemplate {
        DLGTEMPLATE Head;
        WORD Menu = 0, Class = 0, Title = 0;
    } layout{};
    static_assert(offsetof(TTemplate, Menu) == 18, "the template's words follow its head");
    layout.Head.style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    layout.Head.dwExtendedStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    layout.Head.cx = 200;
    layout.Head.cy = 200;
    const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &layout.Head, Owner_,
                                                   DialogProc, reinterpret_cast<LPARAM>(&state));
    if (result != mrOk) {
        Chosen_.reset();
        return mrClosed;
    }
    return mrOk;
}

std::optional<std::string> ChooseFolderWithDialog(HWND owner, const std::string& root) {
    TfrmChoiceFolder dialog(owner);
    dialog.SetPath(root);
    if (dialog.ShowModal() != mrOk) {
        return std::nullopt;
    }
    return dialog.Path();
}

} // namespace win32ui
