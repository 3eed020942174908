// The database's shutdown state as the server reports it, whatever on-disk structure the server
// writes: what an interrupted-run restore needs to know before it replaces the database.
#pragma once

#include <string>
#include <string_view>

enum class TServedState {
    Online,           // the server lets every user in
    ShutDown,         // any shutdown mode (a forced shutdown leaves "multi-user maintenance")
    UnknownStructure, // the server does not support the file's on-disk structure
    NotADatabase      // the server cannot read the file as a database (cut short, damaged)
};

struct TServedStateRead {
    TServedState State = TServedState::Online;
    std::string Message; // the server's text, for UnknownStructure and NotADatabase
};

// Checks the parameters (CheckAdminParams), attaches as `userName` through the attachment layer
// (as ReadAttachedUsers does) and reads MON$DATABASE.MON$SHUTDOWN_MODE on that attachment
// through the service layer's binding. A refusal of the attach because the database is shut down
// (a full shutdown admits nobody) is ShutDown; a refusal for the file's structure or for a file
// the server cannot read is answered with that state and the server's text. Every other
// failure (wrong password, no server) passes on unchanged. Nothing is left attached.
TServedStateRead ReadServedState(const std::string& clientLibrary,
                                 const std::string& databaseString, const std::string& userName,
                                 const std::string& password);

// The state that a refused attach's first status code stands for; Online when the code is none
// of those above (the refusal is then passed on).
TServedState StateOfRefusal(long statusCode);

// What the server says of a database, for the run record.
struct TDatabaseFacts {
    std::string ServerVersion; // isc_info_firebird_version, e.g. "LI-V3.0.11.33703 Firebird 3.0"
    int OdsMajor = 0;          // the on-disk structure, e.g. 12.0
    int OdsMinor = 0;
    long PageSize = 0; // bytes
    // isc_info_forced_writes: 1 for forced (synchronous) writes, 0 for asynchronous; -1 when the
    // reply lacks it.
    int ForcedWrites = -1;
};

// Attaches as ReadServedState does and asks isc_info_firebird_version, isc_info_ods_version,
// isc_info_ods_minor_version, isc_info_page_size and isc_info_forced_writes in one
// isc_database_info request; items the reply lacks keep their empty values. A refusal passes on;
// nothing is left attached.
TDatabaseFacts ReadDatabaseFacts(const std::string& clientLibrary,
                                 const std::string& databaseString, const std::string& userName,
                                 const std::string& password);

// The facts in a reply of that request: clumps of an item byte, a two-byte little-endian length
// and the value, up to isc_info_end; nothing outside `reply` is read.
TDatabaseFacts ParseDatabaseFacts(std::string_view reply);
