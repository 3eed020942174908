// What the Firebird client library was really given: a client library in the test tree forwards
// every call to the real libfbclient.so.2 and records the arguments of the calls that carry
// parameter blocks, requests and paths. A test hands `Path` to the code under test as the client
// library's name and reads the records afterwards.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace recording_client {

// The recording library's file; a name with a slash is loaded as given.
extern const char* const Path;

// One call of an entry point. Args, by entry point:
//   isc_attach_database: attach path, parameter block
//   isc_database_info:   item list, reply buffer length in decimal, reply bytes as returned
//   isc_service_attach:  service name, parameter block
//   isc_service_start:   request bytes
//   isc_detach_database, isc_service_detach: none
struct TCall {
    std::string Name;
    std::vector<std::string> Args;
    long Result = 0;
    std::chrono::steady_clock::time_point Start;
    std::chrono::steady_clock::time_point End;
};

// Every recorded call in order; empty while the recording library is not loaded.
std::vector<TCall> Calls();
std::vector<TCall> Calls(std::string_view name);
void Clear();
// The next isc_database_info is made for real; then the start of the caller's reply buffer is
// overwritten with `bytes` (at most the buffer's length), as a damaged or hostile reply would be.
void InjectDatabaseInfoReply(const std::string& bytes);

} // namespace recording_client
