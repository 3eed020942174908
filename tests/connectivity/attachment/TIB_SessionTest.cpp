// The failure text of the attachment layer, composed from status vectors that the real client
// library interprets: the kinds of refusal that an attach cannot be made to produce on demand
// (no permission, a raised exception, repeated lines, texts beyond the length limit).
#include "connectivity/attachment/TIB_Session.h"

#include "connectivity/attachment/ClientLibrary.h"
#include "connectivity/attachment/EIB_Error.h"
#include "connectivity/attachment/TIB_Connection.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

const std::string kHead = "\r\n\r\nСООБЩЕНИЕ ОШИБКИ ISC:\r\n";
const std::string kNoRights = "~Вы не имеете прав на выполнение данной операции!~\r\r";

// Text arguments of a status vector: the client reads them through the pointers.
const std::string kSame = "the same line twice";
const std::string kRole = "KORMANT_CLERK";

// Characters of the composed text around the message of one isc_random line.
constexpr std::size_t kRandomFrame = 24 + 4 + 21 + 2 + 2;
const std::string kExactlyTheLimit(255 - kRandomFrame, 'x');
const std::string kBeyondTheLimit(300, 'x');

struct TStatusCase {
    const char* Name;
    // The module-wide library name: "fbclient.dll" or the client's own path.
    bool ByWindowsName;
    std::vector<ISC_STATUS> Status;
    std::string Expected;
    std::int32_t SqlCode;
};

void PrintTo(const TStatusCase& c, std::ostream* os) {
    *os << c.Name;
}

std::vector<ISC_STATUS> Vector(std::initializer_list<ISC_STATUS> items) {
    std::vector<ISC_STATUS> status(items);
    status.resize(ISC_STATUS_LENGTH, 0);
    return status;
}

// The text must outlive the test: a literal or one of the strings above.
ISC_STATUS Text(const char* text) {
    return reinterpret_cast<ISC_STATUS>(text);
}
ISC_STATUS Text(const std::string& text) {
    return Text(text.c_str());
}

class ReportStatusError : public ::testing::TestWithParam<TStatusCase> {
protected:
    void TearDown() override { ResetClientLibrary("gds32.dll"); }
};

TEST_P(ReportStatusError, ComposesTheTextFromTheInterpretedLines) {
    const TStatusCase& c = GetParam();
    ResetClientLibrary(c.ByWindowsName ? "fbclient.dll" : UPDATER_REAL_FBCLIENT);
    TIB_Connection connection;
    ASSERT_TRUE(ClientLibraryLoaded());
    TIB_Session& session = connection.Session();
    std::copy(c.Status.begin(), c.Status.end(), session.StatusVector());
    session.ERRCODE = static_cast<std::int32_t>(c.Status[1]);
    try {
        session.ReportStatusError(&connection);
        FAIL() << "nothing raised";
    } catch (const EIB_ISCError& failure) {
        EXPECT_EQ(failure.what(), c.Expected);
        EXPECT_EQ(failure.SQLCODE, c.SqlCode);
        EXPECT_EQ(failure.Component, &connection);
    }
}

const std::string kNoPriv = "КОД ОШИБКИ ISC:335544352" + kHead +
                            "no permission for SELECT access to TABLE KORMANT_CLERK\r\n";
const std::string kRandom = "КОД ОШИБКИ ISC:335544382" + kHead;

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportStatusError,
    ::testing::Values(
        TStatusCase{
            "NoPermissionGetsThePrefixUnderTheWindowsName", true,
            Vector({isc_arg_gds, isc_no_priv, isc_arg_string, Text("SELECT"), isc_arg_string,
                    Text("TABLE"), isc_arg_string, Text(kRole), isc_arg_end}),
            kNoRights + kNoPriv, -551},
        TStatusCase{
            "NoPermissionUnderAnotherNameHasNoPrefix", false,
            Vector({isc_arg_gds, isc_no_priv, isc_arg_string, Text("SELECT"), isc_arg_string,
                    Text("TABLE"), isc_arg_string, Text(kRole), isc_arg_end}),
            kNoPriv, -551},
        TStatusCase{"RepeatedLineAppearsOnce", true,
                    Vector({isc_arg_gds, isc_random, isc_arg_string, Text(kSame), isc_arg_gds,
                            isc_random, isc_arg_string, Text(kSame), isc_arg_end}),
                    kRandom + kSame + "\r\n", -901},
        TStatusCase{
            "ExactlyTheLimitStaysWhole", true,
            Vector({isc_arg_gds, isc_random, isc_arg_string, Text(kExactlyTheLimit), isc_arg_end}),
            kRandom + kExactlyTheLimit + "\r\n", -901},
        TStatusCase{
            "LongerTextIsCutToTheLimit", true,
            Vector({isc_arg_gds, isc_random, isc_arg_string, Text(kBeyondTheLimit), isc_arg_end}),
            kRandom + kBeyondTheLimit.substr(0, kExactlyTheLimit.size() + 2), -901},
        TStatusCase{"ExceptionUnderAnotherNameGivesItsSecondMessageAlone", false,
                    Vector({isc_arg_gds, isc_except, isc_arg_number, 7, isc_arg_gds, isc_random,
                            isc_arg_string, Text(kSame), isc_arg_end}),
                    kSame, -836}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
