// Running a command through the shell and reading what it printed, for tests of the project's
// tools and of the Firebird server's own programs.
#pragma once

#include <string>

struct TCommandResult {
    // The exit code; -1 when the command could not run or was ended by a signal.
    int ExitCode = -1;
    std::string Output;
};

// Runs `command` with /bin/sh. Its standard error joins the output when `withErrors`, and is
// discarded otherwise (so that standard output can be compared whole).
TCommandResult RunCommand(const std::string& command, bool withErrors = true);
