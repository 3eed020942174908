// Runs one script on an attached session: splits it once, then runs the statements in order,
// the script commands itself and every other statement on the server, and reports through the
// caller's callbacks.
#pragma once

#include "scriptengine/EngineSession.h"
#include "scriptengine/IBEScript.h"

#include <string_view>

namespace scriptengine {

struct TRunCallbacks {
    TOnStatementError OnStatementError = nullptr;
    TOnLogLine OnLogLine = nullptr;
};

// Logs "N/TOTAL <first line of the statement>" before each statement and one closing line.
// Stops at the first failing statement: rolls back what was not committed, reports the
// statement and the error text, detaches. On success commits and detaches. Either way the
// session is detached when this returns. 0 on success, 1 after a failure.
int RunScript(TEngineSession& session, std::string_view script, const TRunCallbacks& callbacks);

} // namespace scriptengine
