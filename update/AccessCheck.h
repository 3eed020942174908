// Step C1 of an update: proof that the installation folder can be moved, that is, that nobody
// works inside it.
#pragma once

#include <functional>
#include <string>

// Renames a folder; false when the system refuses (the new name exists, the folder is in use).
using TRenameFolder = std::function<bool(const std::string& from, const std::string& to)>;

// Gives `rootDir` its name without a trailing delimiter followed by "_" and then its own name
// again. Fails with the no-full-access text when a running program (this one included) uses
// something inside the folder or the first rename is refused, and with the rename-back-failed
// text when the second one is refused; the folder then keeps the name with "_".
// Linux: renaming never refuses for files in use, so running programs are looked for first.
void CheckFullAccess(const std::string& rootDir, const TRenameFolder& rename);

// The texts of the two failures.
std::string NoFullAccessText(const std::string& rootDir);
extern const char* const kRenameBackFailedText;
