// Failures of the real server, turned into texts by the service layer's rules.
#include "connectivity/service/FbClientBinding.h"

#include "tests/firebird/TestServer.h"

#include <gtest/gtest.h>

namespace {

TFbClientBinding& RealBinding() {
    TFbClientBinding& binding = FbClientBinding();
    binding.LibraryName = "fbclient.dll";
    binding.EnsureLoaded();
    return binding;
}

std::string ServiceBlock(const std::string& user, const std::string& password) {
    std::string block{isc_spb_version, isc_spb_current_version};
    block += static_cast<char>(isc_spb_user_name);
    block += static_cast<char>(user.size());
    block += user;
    block += static_cast<char>(isc_spb_password);
    block += static_cast<char>(password.size());
    block += password;
    return block;
}

// Attaches to the service manager named `service`; raises through RaiseStatusError on failure.
void AttachService(const std::string& service, const std::string& password) {
    TFbClientBinding& binding = RealBinding();
    const std::string block = ServiceBlock("SYSDBA", password);
    isc_svc_handle handle = 0;
    const ISC_STATUS result =
        binding.Call(&TFbClientEntryPoints::isc_service_attach, StatusVector(),
                     static_cast<unsigned short>(service.size()), service.c_str(), &handle,
                     static_cast<unsigned short>(block.size()), block.data());
    if (result > 0) {
        binding.RaiseStatusError();
    }
    binding.Call(&TFbClientEntryPoints::isc_service_detach, StatusVector(), &handle);
}

std::string AttachServiceFailure(const std::string& service, const std::string& password) {
    try {
        AttachService(service, password);
    } catch (const EIBInterBaseError& failure) {
        return failure.what();
    }
    return "(attached)";
}

TEST(FbClientBindingServer, AttachesToTheServiceManagerWithTheRightPassword) {
    EXPECT_NO_THROW(AttachService(std::string(firebird_test::Server) + ":service_mgr",
                                  firebird_test::SysdbaPassword));
}

TEST(FbClientBindingServer, WrongPasswordGivesTheServersTextWithoutTheFullStop) {
    try {
        AttachService(std::string(firebird_test::Server) + ":service_mgr", "wrong");
        FAIL() << "attached with a wrong password";
    } catch (const EIBInterBaseError& failure) {
        EXPECT_STREQ(failure.what(), "Your user name and password are not defined. Ask your "
                                     "database administrator to set up a Firebird login");
        EXPECT_EQ(failure.IBErrorCode, isc_login);
        EXPECT_EQ(failure.SQLCode, -902);
    }
}

TEST(FbClientBindingServer, NoServerOnThePortGivesTheLinesJoinedByCrLf) {
    // Port 1 (tcpmux) is never served on these machines.
    EXPECT_EQ(AttachServiceFailure("localhost/1:service_mgr", firebird_test::SysdbaPassword),
              "Unable to complete network request to host \"localhost\".\r\n"
              "Failed to establish a connection");
}

TEST(FbClientBindingServer, UnknownDatabaseGivesTheServersLines) {
    TFbClientBinding& binding = RealBinding();
    const std::string path = std::string(firebird_test::InstanceFolder) + "/databases/none.fdb";
    const std::string name = firebird_test::DatabaseString(path);
    std::string block{isc_dpb_version1};
    block += static_cast<char>(isc_dpb_user_name);
    block += '\6';
    block += "SYSDBA";
    block += static_cast<char>(isc_dpb_password);
    block += static_cast<char>(std::string_view(firebird_test::SysdbaPassword).size());
    block += firebird_test::SysdbaPassword;
    isc_db_handle handle = 0;
    const ISC_STATUS result = binding.Call(&TFbClientEntryPoints::isc_attach_database,
                                           StatusVector(), static_cast<short>(0), name.c_str(),
                                           &handle, static_cast<short>(block.size()), block.data());
    ASSERT_GT(result, 0);
    try {
        binding.RaiseStatusError();
    } catch (const EIBInterBaseError& failure) {
        EXPECT_EQ(std::string(failure.what()),
                  "I/O error during \"open\" operation for file \"" + path +
                      "\"\r\nError while trying to open file\r\nNo such file or directory");
        EXPECT_EQ(failure.SQLCode, -902);
    }
}

} // namespace
