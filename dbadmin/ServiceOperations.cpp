#include "dbadmin/ServiceOperations.h"

#include "connectivity/attachment/TIB_Connection.h"
#include "connectivity/service/FbClientBinding.h"
#include "connectivity/service/IBErrors.h"
#include "connectivity/service/TIBCustomService.h"
#include "dbadmin/AdminParams.h"

#include <chrono>
#include <string_view>
#include <thread>

namespace {

enum class TServiceRequest { Shutdown, Online, SyncWrites, AsyncWrites };

// Firebird 3's service manager hands the path of the server's own security database, twice, to
// the tool that carries a request out, in an item of at most 255 bytes: on a server whose
// security database lies deeper than 99 bytes every request is refused with "Internal error when
// using clumplet API: attempt to store N bytes in a clumplet with maximum size 255 bytes", before
// the database is touched. The database's own path is not the cause: it travels with a 16-bit
// length in the request.
bool RefusedForTheServersOwnPath(const EIBError& failure) {
    return failure.IBErrorCode == isc_random &&
           std::string_view(failure.what()).find("clumplet") != std::string_view::npos;
}

void AddDpbText(std::string& dpb, unsigned char code, const std::string& value) {
    // The length travels in one byte, as in the service parameter block.
    if (value.size() > 255) {
        throw EIBClientError("DPB parameter value longer than 255 bytes", 0, 0);
    }
    dpb += static_cast<char>(code);
    dpb += static_cast<char>(value.size());
    dpb += value;
}

// The same request made the way the server's gfix makes it: an attachment whose parameter block
// asks for the shutdown (forced, to multi-user maintenance, 1 second), for the database to come
// online or for its write mode, detached at once. The server carries it out before the attachment
// is granted.
void RequestThroughAttachment(const std::string& utf8DatabaseString, const std::string& userName,
                              const std::string& password, TServiceRequest request) {
    const std::string databaseString = ToClientText(utf8DatabaseString, "путь к базе данных");
    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    AddDpbText(dpb, isc_dpb_user_name, ToClientText(userName, "имя пользователя"));
    AddDpbText(dpb, isc_dpb_password, ToClientText(password, "пароль"));
    if (request == TServiceRequest::Shutdown) {
        dpb += {static_cast<char>(isc_dpb_shutdown), 1,
                static_cast<char>(isc_dpb_shut_force | isc_dpb_shut_multi)};
        dpb += {static_cast<char>(isc_dpb_shutdown_delay), 4, 1, 0, 0, 0};
    } else if (request == TServiceRequest::Online) {
        dpb += {static_cast<char>(isc_dpb_online), 1, static_cast<char>(isc_dpb_shut_normal)};
    } else {
        dpb += {static_cast<char>(isc_dpb_force_write), 1,
                static_cast<char>(request == TServiceRequest::SyncWrites ? 1 : 0)};
    }
    if (databaseString.size() > 32767) {
        throw EIBClientError("database name longer than 32767 bytes", 0, 0);
    }
    TFbClientBinding& binding = FbClientBinding();
    isc_db_handle handle = 0;
    if (binding.Call(&TFbClientEntryPoints::isc_attach_database, StatusVector(),
                     static_cast<short>(databaseString.size()), databaseString.c_str(), &handle,
                     static_cast<short>(dpb.size()), dpb.data()) > 0) {
        binding.RaiseStatusError();
    }
    if (binding.Call(&TFbClientEntryPoints::isc_detach_database, StatusVector(), &handle) > 0) {
        binding.RaiseStatusError();
    }
}

void RunServiceRequest(const std::string& clientLibrary, const std::string& databaseString,
                       const std::string& userName, const std::string& password,
                       TServiceRequest request) {
    CheckAdminParams(clientLibrary, databaseString, userName, password);
    // Only splits the database string; it is never attached. Declared first, so that it goes
    // after the service client on every exit.
    TIBODatabase splitter;
    FbClientBinding().LibraryName = clientLibrary;
    TIBConfigService service;

    splitter.SetDatabaseName(databaseString);
    service.SetDatabaseName(splitter.Path());
    service.SetServerName(splitter.Server());
    service.SetProtocol(TProtocol::TCP);
    if (splitter.Protocol() == cpLocal) {
        service.SetProtocol(TProtocol::Local);
    }
    service.AppendParam("user_name=" + userName);
    service.AppendParam("password=" + password);
    service.SetLoginPrompt(false);
    service.SetActive(true);

    try {
        switch (request) {
        case TServiceRequest::Shutdown:
            service.Shutdown(ShutdownForced, 1);
            break;
        case TServiceRequest::Online:
            service.BringOnline();
            break;
        case TServiceRequest::SyncWrites:
        case TServiceRequest::AsyncWrites:
            service.SetForcedWrites(request == TServiceRequest::SyncWrites);
            break;
        }
    } catch (const EIBInterBaseError& failure) {
        if (!RefusedForTheServersOwnPath(failure)) {
            throw;
        }
        // The refused start cleared the handle: the service client sends nothing more.
        RequestThroughAttachment(databaseString, userName, password, request);
    }
    if (request == TServiceRequest::Shutdown) {
        // Reached only when the server accepted the request: a refusal has raised above.
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    }
    // Detached here rather than in the destructor, so that a refused detach reaches the caller
    // in place of the success; on a failure above, the destructor detaches and stays silent.
    if (service.Active()) {
        service.SetActive(false);
    }
}

} // namespace

void SetSingleUserMode(const std::string& clientLibrary, const std::string& databaseString,
                       const std::string& userName, const std::string& password) {
    RunServiceRequest(clientLibrary, databaseString, userName, password, TServiceRequest::Shutdown);
}

void SetMultiUserMode(const std::string& clientLibrary, const std::string& databaseString,
                      const std::string& userName, const std::string& password) {
    RunServiceRequest(clientLibrary, databaseString, userName, password, TServiceRequest::Online);
}

void SetForcedWrites(const std::string& clientLibrary, const std::string& databaseString,
                     const std::string& userName, const std::string& password, bool forced) {
    RunServiceRequest(clientLibrary, databaseString, userName, password,
                      forced ? TServiceRequest::SyncWrites : TServiceRequest::AsyncWrites);
}
