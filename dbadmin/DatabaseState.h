// The database's shutdown state as the server reports it, whatever on-disk structure the server
// writes: what an interrupted-run restore needs to know before it replaces the database.
#pragma once

#include <string>

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
