// The engine's binding to the Firebird client library named in the connect string: loaded by file
// name, every entry point resolved by name into one typed table, every call made with the
// caller's floating-point environment kept.
#pragma once

#include "connectivity/FpuGuard.h"
#include "platform/DynamicLibrary.h"

#include <string>
#include <string_view>

#include <ibase.h>

// Entry points that the engine needs, in the order of resolution.
#define SCRIPT_ENGINE_ENTRY_POINTS(X)                                                              \
    X(isc_attach_database)                                                                         \
    X(isc_detach_database)                                                                         \
    X(isc_start_multiple)                                                                          \
    X(isc_commit_transaction)                                                                      \
    X(isc_rollback_transaction)                                                                    \
    X(isc_dsql_allocate_statement)                                                                 \
    X(isc_dsql_prepare)                                                                            \
    X(isc_dsql_sql_info)                                                                           \
    X(isc_dsql_execute)                                                                            \
    X(isc_dsql_execute_immediate)                                                                  \
    X(isc_dsql_free_statement)                                                                     \
    X(isc_interprete)

namespace scriptengine {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
struct TEngineEntryPoints {
#define SCRIPT_ENGINE_DECLARE(name) decltype(&::name) name = nullptr;
    SCRIPT_ENGINE_ENTRY_POINTS(SCRIPT_ENGINE_DECLARE)
#undef SCRIPT_ENGINE_DECLARE
    // Preferred to isc_interprete when the library has it (it knows the buffer's size).
    decltype(&::fb_interpret) fb_interpret = nullptr;
};
#pragma GCC diagnostic pop

class TEngineClient {
public:
    TEngineClient() = default;
    TEngineClient(const TEngineClient&) = delete;
    TEngineClient& operator=(const TEngineClient&) = delete;

    // Loads `fileName` (mapped like every client library name of the program: "fbclient.dll" is
    // libfbclient.so.2 here, a name with "/" is loaded as given) and resolves the table. False,
    // with an English text naming the library or the missing entry point, when either fails; the
    // object then holds nothing.
    bool Load(std::string_view fileName, std::string* error);
    bool IsLoaded() const { return Library_.IsLoaded(); }
    const std::string& FileName() const { return FileName_; }
    // Gives the library back; nothing of it may be called afterwards.
    void Free();

    template <typename F, typename... A>
    ISC_STATUS Call(F TEngineEntryPoints::*entryPoint, A... args) {
        connectivity::TFpuGuard guard;
        return (EntryPoints_.*entryPoint)(Status_, args...);
    }

    // The status vector of the last call.
    const ISC_STATUS* Status() const { return Status_; }
    // The last call's failure as the client interprets it, its lines joined with CR LF.
    std::string StatusText();

private:
    platform::TDynamicLibrary Library_;
    std::string FileName_;
    TEngineEntryPoints EntryPoints_;
    ISC_STATUS_ARRAY Status_{};
};

} // namespace scriptengine
