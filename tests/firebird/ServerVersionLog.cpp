// Linked into each test program that runs against the FirebirdServer fixture: before its first
// test it asks the private server for its version and writes it to the log, and it fails the whole
// program when that is not the version the run is meant for (UPDATER_TEST_FIREBIRD), so that a
// pass for one version never passes on a server of another left on the port.
#include "tests/firebird/OwnDatabase.h"

#include <cstdio>
#include <exception>

#include <gtest/gtest.h>

namespace {

class TServerVersionLog : public ::testing::Environment {
public:
    void SetUp() override {
        std::string version;
        try {
            version = firebird_test::ServerVersion();
        } catch (const std::exception& failure) {
            FAIL() << failure.what();
        }
        std::printf("Firebird server on %s: %s\n", firebird_test::Server, version.c_str());
        std::fflush(stdout);
        ASSERT_EQ(firebird_test::MajorVersion(version), firebird_test::ExpectedMajorVersion())
            << "the server on " << firebird_test::Server << " is " << version;
    }
};

[[maybe_unused]] ::testing::Environment* const kServerVersionLog =
    ::testing::AddGlobalTestEnvironment(new TServerVersionLog);

} // namespace
