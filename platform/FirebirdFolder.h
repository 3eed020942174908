// Where the Firebird server of this computer is installed.
#pragma once

#include <string>

namespace platform {

struct TFirebirdFolderLookup {
    enum class TOutcome {
        Found,    // Folder holds the server's folder, as stored (not expanded, maybe empty)
        NotFound, // no server folder is recorded
        WrongType // Windows: the value is not text; Folder holds the value's name
    };
    TOutcome Outcome = TOutcome::NotFound;
    std::string Folder;
};

// Windows: the value "DefaultInstance" of the registry key
// HKEY_LOCAL_MACHINE\Software\Firebird Project\Firebird Server\Instances, read-only: in the
// registry's 32-bit view, and when that has no such value, in its 64-bit view.
// Linux: the environment variable FIREBIRD when it names a folder, else the first existing of
// /opt/firebird and /usr/lib/<multiarch>/firebird/<version> (the highest version).
TFirebirdFolderLookup LookUpFirebirdFolder();

#ifdef _WIN32
// The same lookup in the key HKEY_LOCAL_MACHINE\<subKey>: LookUpFirebirdFolder is this with the
// Firebird key; tests point it at keys of their own.
TFirebirdFolderLookup LookUpFirebirdFolderAt(const std::string& subKey);
#endif

} // namespace platform
