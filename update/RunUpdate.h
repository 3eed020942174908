// The Start command: one complete update of the installation on this computer.
#pragma once

#include <string>

#include "update/Operator.h"

// Runs one update of the installation under `rootText` with the administrator's `password`,
// speaking to the operator (boxes, the question, the script log) through `op`.
// Returns normally after a successful update, when the operator declines, and after a completed
// rollback; fails with the message to show in every other case.
void RunUpdate(const std::string& rootText, const std::string& password, TOperator& op);
