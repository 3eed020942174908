// The whole-folder operations by which an update stages, backs up, applies and rolls back, and
// the lookup of the Firebird server's folder. Each fails (EFailure) with its fixed text naming
// the file or folder concerned; what it did before failing stays done.
#pragma once

#include <initializer_list>
#include <string>

// Removes the folder with everything in it, depth first. A file that cannot be deleted stops
// the operation with "Невозможно удалить файл <path>!", an existing folder that cannot be
// listed (or whose listing breaks off) with "Невозможно прочитать папку <path>!"; a folder that
// cannot be removed (missing, still in use) is passed over in silence, so a missing folder is no
// failure. Symbolic links are removed as links; what they point to is never touched.
void DeleteFolderTree(const std::string& folder);

// Creates exactly this folder; fails with "Невозможно создать папку <path>!" when the system
// refuses (parent missing, name taken, no access).
void CreateFolder(const std::string& folder);

// Copies one file over the target, replacing a read-only or hidden target, with content,
// permissions and modification time, and on Linux owner and group where the process may set
// them. Fails with "Невозможно скопировать файл <source>!".
void CopyOneFile(const std::string& source, const std::string& target);

// Puts a library in place of one a running process may hold loaded (the server its function
// library), as installers on Windows do: an existing target is first renamed aside in its own
// folder, to "<name>.<n>.old" with the lowest n not taken, the source is copied under the
// target's name, and the renamed file is deleted, or when something holds it, deleted when the
// system next starts. Renamed files of earlier runs that nothing holds any more are deleted
// first. A target that cannot be renamed is copied over as CopyOneFile does; a failed copy
// renames the old library back. Fails as CopyOneFile.
void ReplaceLibrary(const std::string& source, const std::string& target);

// Copies the content of `source` into `target`, creating it with its parents, and merges:
// target files the source lacks stay, same names are replaced, empty folders are created.
// Fails with "Папка <source>/ не существует!", "Невозможно создать папку <target>/!",
// "Невозможно прочитать папку <source>/!" (a folder that cannot be listed, or whose listing
// breaks off, so that nothing is silently left out) or "Невозможно скопировать папку
// <source>/!" (its attributes cannot be given to the target), all quoted with a trailing
// delimiter, or with the failure of the first entry that cannot be copied. Symbolic links are
// recreated as links, never followed. On Linux every copied folder, file and link keeps owner
// and group (where the process may set them), mode and times, as `cp -a` keeps them; a
// folder's are set after its content.
void CopyFolderTree(const std::string& source, const std::string& target);

// Called after every file or link that CopyOneFile and CopyFolderTree copied, with the target;
// empty by default. Tests stop a run at a chosen copy through it.
using TCopyObserver = void (*)(const std::string& target);
void SetCopyObserver(TCopyObserver observer);

// Puts everything written under `folder` on the disk, so that a power cut afterwards loses
// none of it. Fails with "Невозможно записать на диск папку <folder>!". For a step that wrote a
// whole tree (a backup, a restore).
void FlushToDisk(const std::string& folder);

// Puts on the disk what a step wrote into one folder: the content of each of `files`, then the
// folder's entries (their names). Nothing else of the folder is touched: a library copied into
// the server's udf folder is flushed alone, never the libraries the server holds loaded there
// (Windows would refuse to open them for writing). Reports success as a value; whether a
// failure stops the step is the caller's decision.
bool FlushWritten(const std::string& folder, std::initializer_list<std::string> files);

// Asked with each path before FlushToDisk and FlushWritten flush it; when it answers true, that
// flush fails without touching the disk. Empty by default; tests make a flush fail through it.
using TFlushFailure = bool (*)(const std::string& path);
void SetFlushFailure(TFlushFailure failure);

// The folder in which the Firebird server is installed (see platform/FirebirdFolder.h for where
// it is looked for). Fails with "Невозможно определить папку, в которой инсталлирована
// программа "FireBird"!", or, for a registry value that is not text, with
// "Invalid data type for 'DefaultInstance'".
std::string FindFirebirdFolder();
