// Linked into each test program that runs against the FirebirdServer fixture: before its first
// test it asks the private server for its version and writes it to the log, and it fails the whole
// program when that is not the version the run is meant for (UPDATER_TEST_FIREBIRD), so that a
// pass for one version never passes on a server of another left on the port.
#include "tests/firebird/OwnDatabase.h"

#include <clocale>
#include <cstdio>
#include <exception>

#include <gtest/gtest.h>

namespace {

class TServerVersionLog : public ::testing::Environment {
public:
    void SetUp() override {
#ifndef _WIN32
        // The window runs in a UTF-8 locale (Qt 6 sets one), and the client library reads the
        // locale's character set once, at its first call: set before that first call here, so
        // that tests of Cyrillic paths see what the program sees. (A Windows program sends the
        // ANSI code page, whatever the locale.)
        ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
#endif
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
