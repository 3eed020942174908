// The server part of an update run against the installation's Firebird database: nobody else
// attached and single-user mode before, the database folder backed up, the function library
// and the embedded script applied, the folder restored on rollback, and multi-user mode again
// however the run ends.
#pragma once

#include <memory>
#include <string>

#include "update/ServerPart.h"

// The server part for the layout's database, SYSDBA with `password`, reading the script from
// `payloadCarrier` (the file that carries the payload).
std::unique_ptr<TServerPart> MakeFirebirdServerPart(const InstallationLayout& layout,
                                                    const std::string& password,
                                                    const std::string& payloadCarrier);

// The texts of the server part.
std::string UsersAttachedText(const std::vector<std::string>& users);
std::string SingleUserFailedText(const std::string& message);
std::string MultiUserFailedText(const std::string& message);
// The log pane's line when the server refuses asynchronous writes for the script: one line.
std::string AsynchronousWritesRefusedLine(const std::string& message);
// A database whose on-disk structure the server does not support; a file that the server cannot
// read as a database. Both say that nothing was changed and whom to ask.
std::string UnknownStructureText(const std::string& databaseFile, const std::string& message);
std::string DamagedDatabaseText(const std::string& databaseFile, const std::string& message);
extern const char* const kRebootLine;
