#include "platform/FolderUse.h"

namespace platform {

bool FolderInUse(const std::string& /*folder*/) {
    // The system refuses to rename a folder that holds an open file or a running program, so
    // the rename of the access check finds this by itself.
    return false;
}

} // namespace platform
