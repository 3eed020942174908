#include "dbadmin/ServiceOperations.h"

#include "connectivity/attachment/TIB_Connection.h"
#include "connectivity/service/FbClientBinding.h"
#include "connectivity/service/TIBCustomService.h"
#include "dbadmin/AdminParams.h"

#include <chrono>
#include <thread>

namespace {

enum class TServiceRequest { Shutdown, Online };

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

    if (request == TServiceRequest::Shutdown) {
        service.Shutdown(ShutdownForced, 1);
        // Reached only when the server accepted the request: a refusal has raised above.
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    } else {
        service.BringOnline();
    }
    // Detached here rather than in the destructor, so that a refused detach reaches the caller
    // in place of the success; on a failure above, the destructor detaches and stays silent.
    service.SetActive(false);
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
