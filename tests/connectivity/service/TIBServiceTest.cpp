// The service-manager clients' own rules: what they refuse before anything reaches the client
// library. The real library is loaded, but no server is needed.
#include "connectivity/service/FbClientBinding.h"
#include "connectivity/service/TIBCustomService.h"

#include "tests/support/FailureText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr const char* NotAttached = "Cannot perform operation -- service is not attached";
constexpr const char* NoRequest = "start Parameters missing or incorrect";
constexpr const char* NotSupported = "SPB Constant Not supported";

std::string ClientFailure(const auto& operation) {
    return FailureText<EIBClientError>(operation);
}

// The start-request steps, open to the tests.
class TOpenControlService : public TIBControlService {
public:
    using TIBControlService::AddStartItem;
    using TIBControlService::BeginStartRequest;
    using TIBControlService::SendStartRequest;
};

TEST(TIBService, ConstructionLoadsTheClientLibraryFirst) {
    FbClientBinding().LibraryName = "/nonexistent/libfbclient.so.2";
    EXPECT_EQ(ClientFailure([] { TIBConfigService service; }),
              "InterBase library gds32.dll not found in the path. Please install InterBase to use "
              "this functionality");
    FbClientBinding().LibraryName = "fbclient.dll";
    EXPECT_EQ(ClientFailure([] { TIBConfigService service; }), "<no failure>");
}

// The server name is set after the protocol; a change to Local also empties it.
TEST(TIBService, ServiceNameFollowsTheProtocol) {
    FbClientBinding().LibraryName = "fbclient.dll";
    struct TRow {
        TProtocol From, To;
        std::string ServerName, ServiceName;
    };
    const TRow rows[] = {
        {TProtocol::Local, TProtocol::TCP, "db/3051", "db/3051:service_mgr"},
        {TProtocol::Local, TProtocol::SPX, "db/3051", "db/3051@service_mgr"},
        {TProtocol::Local, TProtocol::NamedPipe, "db/3051", "\\\\db/3051\\service_mgr"},
        {TProtocol::Local, TProtocol::Local, "db/3051", "service_mgr"},
        {TProtocol::TCP, TProtocol::Local, "", "service_mgr"},
        {TProtocol::NamedPipe, TProtocol::SPX, "db/3051", "db/3051@service_mgr"},
    };
    for (const TRow& row : rows) {
        TIBCustomService service;
        service.SetProtocol(row.From);
        service.SetServerName("db/3051");
        service.SetProtocol(row.To);
        EXPECT_EQ(service.ServerName(), row.ServerName);
        EXPECT_EQ(service.ServiceName(), row.ServiceName);
    }
}

// Each attach is refused twice the same way: a refused block is never replaced by an older one.
TEST(TIBService, AttachRefusesBeforeCallingTheClient) {
    FbClientBinding().LibraryName = "fbclient.dll";
    const std::string x255(255, 'x');
    std::vector<std::string> fullBlock(254, "password=" + x255);
    std::vector<std::string> overfullBlock = fullBlock;
    fullBlock.insert(fullBlock.end(), {"password=" + x255.substr(2), "db_name=x"});
    overfullBlock.push_back("password=" + x255.substr(1));
    struct TRow {
        TProtocol Protocol;
        std::vector<std::string> Params;
        std::string Expected;
    };
    const TRow rows[] = {
        {TProtocol::TCP, {"user_name=SYSDBA"}, "Server Name Missing"},
        {TProtocol::SPX, {}, "Server Name Missing"},
        {TProtocol::NamedPipe, {}, "Server Name Missing"},
        {TProtocol::Local, {"user_name=SYSDBA", "db_name=x"}, NotSupported},
        {TProtocol::Local, {"ISC_SPB_Verbose=1"}, NotSupported},
        {TProtocol::Local, {"no equals", " \t=x", "=", "sql_role_name=R"}, NotSupported},
        {TProtocol::Local, {"USER_NAME=a", "role=x"}, "SPB Constant Unknown"},
        {TProtocol::Local, {" user_name=SYSDBA"}, "SPB Constant Unknown"},
        {TProtocol::Local, {"isc_spb_=1"}, "SPB Constant Unknown"},
        {TProtocol::Local,
         {"user_name=" + x255 + "x"},
         "SPB parameter value longer than 255 bytes"},
        {TProtocol::Local, {"password=" + x255 + "x"}, "SPB parameter value longer than 255 bytes"},
        {TProtocol::Local, {"user_name=" + x255, "db_name=x"}, NotSupported},
        {TProtocol::Local, overfullBlock, "SPB longer than 65535 bytes"},
        {TProtocol::Local, fullBlock, NotSupported},
    };
    for (const TRow& row : rows) {
        TIBCustomService service;
        service.SetProtocol(row.Protocol);
        service.SetParams(row.Params);
        service.SetLoginPrompt(false);
        for (int attempt = 0; attempt < 2; ++attempt) {
            EXPECT_EQ(ClientFailure([&] { service.SetActive(true); }), row.Expected)
                << row.Params.size() << " lines, attempt " << attempt;
            EXPECT_FALSE(service.Active());
        }
    }
}

TEST(TIBService, DetachingADetachedClientIsRefusedButSettingInactiveIsNot) {
    FbClientBinding().LibraryName = "fbclient.dll";
    TIBCustomService service;
    EXPECT_EQ(ClientFailure([&] { service.DetachService(); }), NotAttached);
    EXPECT_EQ(ClientFailure([&] { service.SetActive(false); }), "<no failure>");
}

// Each case ends with a send; a second send then finds nothing pending.
TEST(TIBService, StartRequestIsRefusedWithoutAnAttachmentAndEmptiedAfterEverySend) {
    FbClientBinding().LibraryName = "fbclient.dll";
    struct TRow {
        void (*Build)(TOpenControlService&);
        std::string Expected;
    };
    const TRow rows[] = {
        {[](TOpenControlService&) {}, NoRequest},
        {[](TOpenControlService& s) { s.AddStartItem(isc_spb_dbname, ""); }, NoRequest},
        {[](TOpenControlService& s) { s.AddStartItem(isc_spb_options, 512); }, NotAttached},
        {[](TOpenControlService& s) { s.BeginStartRequest(isc_action_svc_properties); },
         NotAttached},
    };
    for (const TRow& row : rows) {
        TOpenControlService service;
        row.Build(service);
        EXPECT_EQ(ClientFailure([&] { service.SendStartRequest(); }), row.Expected);
        EXPECT_EQ(ClientFailure([&] { service.SendStartRequest(); }), NoRequest);
    }
}

// The request's length has 16 bits: 1 action byte, 3 + the path, 5 for the number item.
TEST(TIBService, RequestsThatOutgrowTheirLengthAreRefusedBeforeSending) {
    FbClientBinding().LibraryName = "fbclient.dll";
    for (const bool shutdown : {true, false}) {
        for (const auto& [pathLength, expected] :
             {std::pair<std::size_t, std::string>{65526, NotAttached},
              {65527, "start Parameters longer than 65535 bytes"}}) {
            TIBConfigService service;
            service.SetDatabaseName(std::string(pathLength, 'p'));
            EXPECT_EQ(ClientFailure([&] {
                          shutdown ? service.Shutdown(ShutdownForced, 1) : service.BringOnline();
                      }),
                      expected)
                << pathLength;
        }
    }
}

} // namespace
