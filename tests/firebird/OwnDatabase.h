// Databases of their own for tests that change a database's state (shutdown, online, the
// attachments they count), so that tests running in parallel never see each other's changes,
// and independent attachments that stand for other users of a database.
// All of it reaches the server through a private load of the real client library, never through
// the program's own layers, so that their library state stays as each test sets it.
#pragma once

#include <string>

#include "tests/firebird/TestServer.h"

namespace firebird_test {

// A fresh database (SQL dialect 3, default character set WIN1251) on the private server, made by
// the server itself for the running test and dropped when the object goes. A database left shut
// down is still dropped; one that the server will not drop is removed as a file.
class TOwnDatabase {
public:
    // A database under the build tree's scratch folder, named after the running test.
    TOwnDatabase();
    // A database at `path` (its folder must exist), such as an installation's DB_Data/Kormant.fdb.
    explicit TOwnDatabase(std::string path);
    ~TOwnDatabase();
    TOwnDatabase(const TOwnDatabase&) = delete;
    TOwnDatabase& operator=(const TOwnDatabase&) = delete;

    const std::string& Path() const { return Path_; }
    // "localhost/3051:" followed by Path().
    std::string DatabaseString() const { return firebird_test::DatabaseString(Path_); }

    // Shuts the database down as a forced shutdown of the service manager leaves it
    // ("multi-user maintenance"), with the server's own tool, independently of the program.
    void ShutDown() const;
    // Forced writes on (as an installation's database has them) or off, with the server's own
    // tool, independently of the program.
    void SetForcedWrites(bool forced) const;
    // Read-only or read-write, with the server's own tool.
    void SetReadOnly(bool readOnly) const;
    // The attributes that the server's statistics report in the header page, for example
    // "force write, multi-user maintenance"; "" for an online database without forced writes.
    // Asked of the server's service manager, which reads its own on-disk structure (12 for
    // Firebird 3, 13 for Firebird 4).
    std::string Attributes() const;

private:
    void Create();

    std::string Path_;
};

// One real attachment, held until the object goes (detached then, when the server still serves
// it). Fails the constructing test with the server's text when the attach is refused.
class TAttachment {
public:
    TAttachment(const std::string& databaseString, const std::string& user,
                const std::string& password);
    ~TAttachment();
    TAttachment(const TAttachment&) = delete;
    TAttachment& operator=(const TAttachment&) = delete;

    // True while the server answers a request on this attachment.
    bool Alive();

private:
    unsigned int Handle_ = 0;
};

// Shuts the database down fully, with the server's own tool: a full shutdown admits nobody,
// SYSDBA included.
void ShutDownFully(const std::string& databaseString);

// The attachments that the server lists for the database, the probe's own excluded (as SYSDBA,
// the list holds every attachment).
int AttachmentCount(const std::string& databaseString);

// What `isql-fb` prints for `sql` (statements with their terminators) run as SYSDBA on its own
// attachment, with headings off and texts in UTF-8; blanks around each line removed, empty lines
// dropped, one line per row. A refused statement fails the calling test's set-up.
std::string Query(const std::string& databaseString, const std::string& sql);

// Puts the server-side function library `library` into the private server's udf folder under
// the name the update gives it (QUV_UDF.dll). Written under another name and renamed, since other
// tests may be asking the server for it at the same moment.
void InstallFunctionLibrary(const std::string& library);

// The error text of an attach as `user`, or "" when the attach succeeds (it is detached again).
std::string AttachFailure(const std::string& databaseString, const std::string& user,
                          const std::string& password);

// The version that the server's engine reports for the database, e.g. "LI-V4.0.5.3140 Firebird 4.0"
// (isc_info_firebird_version). Fails the calling test's set-up when the attach is refused.
std::string ServerVersion(const std::string& databaseString = DatabaseString(TestDatabasePath));
// The major version in such a text: 3 for "LI-V3.0.11.33637 Firebird 3.0"; 0 when there is none.
int MajorVersion(const std::string& serverVersion);
// The major version of the server that this run of the tests is meant for: UPDATER_TEST_FIREBIRD
// (3 or 4), 3 when it is not set. tests/firebird/firebird-server.sh starts that server.
int ExpectedMajorVersion();

// `databaseString` with its path as the server's own tools name the file: under Wine a Windows
// path on the drive Z: becomes the Linux path (tests/support/Command.h's HostPath).
std::string HostDatabaseString(const std::string& databaseString);

// Lets the server's user change whatever is made inside `folder` later, by anyone. On Linux the
// program under test copies files with their owners, so this does nothing there. The Windows
// build under Wine makes every file as the user the tests run as, while the server runs as its
// own user (docs/firebird-test-server.md): this grants that user the folder, as a Windows
// installation grants the server's account, so that a database file that the update restores is
// the server's to open.
void LetTheServerChange(const std::string& folder);

} // namespace firebird_test
