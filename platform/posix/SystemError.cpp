#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

namespace platform {

TSystemError LastSystemError() {
    const int error = errno;
    const TSystemErrorKind kind = error == EACCES || error == EPERM || error == EROFS
                                      ? TSystemErrorKind::NoAccess
                                  : error == ENOSPC || error == EDQUOT ? TSystemErrorKind::NoRoom
                                                                       : TSystemErrorKind::Other;
    return {kind, std::strerror(error)};
}

} // namespace platform
