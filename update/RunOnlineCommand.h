// The OnLine command: returns the installation's database to multi-user mode and nothing else.
#pragma once

#include <string>

#include "update/Operator.h"

// Resolves the layout of `rootText`, refuses an installation without the server part on this
// computer, and asks the service manager to bring the database online as SYSDBA with
// `password`; reports success through `op`. Every failure passes on unchanged.
void RunOnlineCommand(const std::string& rootText, const std::string& password, TOperator& op);
