// The attached-users query against the private server, each test on a database of its own with
// real attachments standing for other users, and replies damaged at the client boundary.
#include "dbadmin/AttachedUsers.h"

#include "connectivity/attachment/ClientLibrary.h"
#include "connectivity/attachment/EIB_Error.h"
#include "connectivity/service/FbClientBinding.h"
#include "tests/firebird/OwnDatabase.h"
#include "tests/support/FailureText.h"
#include "tests/support/RecordingClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using TLines = std::vector<std::string>;
const std::string Password = firebird_test::SysdbaPassword;

// The calls that the query makes, in order, "+" when accepted and "-" when refused.
TLines QueryCalls() {
    TLines calls;
    for (const recording_client::TCall& call : recording_client::Calls()) {
        if (call.Name == "isc_attach_database" || call.Name == "isc_database_info" ||
            call.Name == "isc_detach_database") {
            calls.push_back(call.Name + (call.Result == 0 ? "+" : "-"));
        }
    }
    return calls;
}

// The first `count` characters of a UTF-8 text.
std::string FirstCharacters(const std::string& text, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t characters = 0; end < text.size() && characters <= count; ++end) {
        if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80 && ++characters > count) {
            break;
        }
    }
    return text.substr(0, end);
}

TLines Sorted(TLines lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Clumps of isc_info_user_names (53, two length bytes, the name's length, the name) repeated
// until `size` bytes, the rest (shorter than a clump) filled with `tail`.
std::string Clumps(const std::string& name, std::size_t count, const std::string& tail) {
    std::string reply;
    for (std::size_t i = 0; i < count; ++i) {
        reply +=
            std::string{53, static_cast<char>(name.size() + 1), 0, static_cast<char>(name.size())} +
            name;
    }
    return reply + tail;
}

class AttachedUsersServer : public ::testing::Test {
protected:
    void SetUp() override {
        // The information request must go through the recording library too; the binding keeps
        // the first library it loads for the whole process.
        FbClientBinding().LibraryName = recording_client::Path;
        recording_client::Clear();
    }
    void TearDown() override { ResetClientLibrary("gds32.dll"); }

    TLines Read(const firebird_test::TOwnDatabase& database, const std::string& user,
                TLines list = {"entry of an earlier call"}) {
        ReadAttachedUsers(recording_client::Path, database.DatabaseString(), user, Password, "",
                          list);
        EXPECT_EQ(recording_client::Calls("isc_database_info").size(), 1u)
            << "the service layer's binding was loaded from another file before this test";
        return list;
    }
};

TEST_F(AttachedUsersServer, OnlyTheUpdaterAttachedGivesAnEmptyList) {
    firebird_test::TOwnDatabase database;
    EXPECT_EQ(Read(database, "SYSDBA"), TLines{});
    EXPECT_EQ(QueryCalls(),
              (TLines{"isc_attach_database+", "isc_database_info+", "isc_detach_database+"}));
    const auto request = recording_client::Calls("isc_database_info").at(0);
    EXPECT_EQ(request.Args[0], "\x35");
    EXPECT_EQ(request.Args[1], "20480");
    EXPECT_EQ(request.Args[2].substr(0, 11), std::string("\x35\x07\x00\x06SYSDBA\x01", 11));
    EXPECT_EQ(firebird_test::AttachmentCount(database.DatabaseString()), 0);
    EXPECT_FALSE(ClientLibraryLoaded());
}

TEST_F(AttachedUsersServer, OtherAttachmentsAreNamedAndTheOwnUsersSecondStays) {
    firebird_test::TOwnDatabase database;
    firebird_test::TAttachment sysdba(database.DatabaseString(), "SYSDBA", Password);
    firebird_test::TAttachment other(database.DatabaseString(), firebird_test::OtherUser,
                                     firebird_test::OtherPassword);
    EXPECT_EQ(Sorted(Read(database, "SYSDBA")), Sorted(TLines{"SYSDBA", firebird_test::OtherUser}));
    EXPECT_TRUE(sysdba.Alive());
    EXPECT_TRUE(other.Alive());
    EXPECT_EQ(firebird_test::AttachmentCount(database.DatabaseString()), 2);
}

TEST_F(AttachedUsersServer, OwnUserInAnotherLetterCaseIsRemovedOnce) {
    firebird_test::TOwnDatabase database;
    firebird_test::TAttachment sysdba(database.DatabaseString(), "SYSDBA", Password);
    EXPECT_EQ(Read(database, "sysdba"), TLines{"SYSDBA"});
}

TEST_F(AttachedUsersServer, DamagedRepliesEndAtTheReplyBuffer) {
    struct TRow {
        const char* Name;
        std::string Reply;
        TLines::size_type Count;
    };
    // 20,480 bytes each: clumps of 5 or 6 bytes, then what is left of the buffer.
    const TRow rows[] = {
        {"full buffer of clumps without end mark", Clumps("X", 4096, ""), 4096},
        {"name length running past the end", Clumps("X", 4095, std::string("\x35\x0a\x00\x09Y", 5)),
         4095},
        {"clump header cut by the end", Clumps("XY", 3413, std::string("\x35\x00", 2)), 3413},
    };
    firebird_test::TOwnDatabase database;
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        ASSERT_EQ(row.Reply.size(), 20480u);
        recording_client::Clear();
        recording_client::InjectDatabaseInfoReply(row.Reply);
        const TLines names = Read(database, "SYSDBA");
        EXPECT_EQ(recording_client::Calls("isc_database_info").at(0).Args[2], row.Reply);
        EXPECT_EQ(names.size(), row.Count);
        EXPECT_EQ(std::count(names.begin(), names.end(), names.front()),
                  static_cast<std::ptrdiff_t>(names.size()));
        EXPECT_EQ(firebird_test::AttachmentCount(database.DatabaseString()), 0);
    }
}

TEST_F(AttachedUsersServer, RefusedAttachEndsInTheComposedTextWithNothingAttached) {
    firebird_test::TOwnDatabase database;
    const std::string frame = "\r\n\r\nСООБЩЕНИЕ ОШИБКИ ISC:\r\n";
    // An own database's path with more added makes a text longer than 255 characters.
    const std::string longMissing = database.Path() + ".missing.fdb";
    const std::string longText = "КОД ОШИБКИ ISC:335544344" + frame +
                                 "I/O error during \"open\" operation for file \"" + longMissing +
                                 "\"\r\nError while trying to open file\r\nNo such file or "
                                 "directory\r\n";
    struct TRow {
        const char* Name;
        std::string DatabaseString;
        std::string Text;
    };
    const TRow rows[] = {
        {"server that does not answer", "127.0.0.1/1:" + database.Path(),
         "КОД ОШИБКИ ISC:335544721" + frame +
             "Unable to complete network request to host \"127.0.0.1\".\r\nFailed to "
             "establish a connection.\r\n"},
        {"database the server does not know", firebird_test::DatabaseString("/nonexistent/x.fdb"),
         "КОД ОШИБКИ ISC:335544344" + frame +
             "I/O error during \"open\" operation for file \"/nonexistent/x.fdb\"\r\nError "
             "while trying to open file\r\nNo such file or directory\r\n"},
        // The client then takes the whole string for a local file's name.
        {"empty server part", ":/nonexistent/x.fdb",
         "КОД ОШИБКИ ISC:335544344" + frame +
             "I/O error during \"open\" operation for file \":/nonexistent/x.fdb\"\r\nError "
             "while trying to open file\r\nNo such file or directory\r\n"},
        {"text cut to its first 255 characters", firebird_test::DatabaseString(longMissing),
         FirstCharacters(longText, 255)},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        recording_client::Clear();
        TLines list{"kept"};
        EXPECT_EQ(FailureText<EIB_ISCError>([&] {
                      ReadAttachedUsers(recording_client::Path, row.DatabaseString, "SYSDBA",
                                        Password, "", list);
                  }),
                  row.Text);
        EXPECT_EQ(list, TLines{"kept"});
        EXPECT_EQ(QueryCalls(), TLines{"isc_attach_database-"});
        EXPECT_EQ(ClientLibraryLoadCount(), -1);
    }
    EXPECT_EQ(firebird_test::AttachmentCount(database.DatabaseString()), 0);
}

} // namespace
