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
// The Windows build runs under Wine on Linux, and the server's tools are Linux programs: there the
// command is a Linux shell command as well, started through Wine (CommandWindows.cpp).
TCommandResult RunCommand(const std::string& command, bool withErrors = true);

// `path` as the programs that RunCommand starts see it. Under Wine the drive Z: is the Linux
// root, so Z:\a\b is /a/b; elsewhere the path itself.
std::string HostPath(const std::string& path);
