#include "tests/firebird/OwnDatabase.h"

#include "platform/DynamicLibrary.h"
#include "tests/support/Command.h"

#ifdef _WIN32
#include <process.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <ibase.h>

namespace firebird_test {

namespace {

// The real client library, loaded privately: the loader counts references, so the program's
// layers still load and free their own reference as they please. UPDATER_TEST_CLIENT_LIBRARY is
// libfbclient.so.2 on Linux and the client bridge's fbclient.dll, by its full path, on Windows.
template <typename F> F Client(const char* name) {
    static const platform::TDynamicLibrary library =
        platform::TDynamicLibrary::Load(UPDATER_TEST_CLIENT_LIBRARY);
    const platform::TProcAddress symbol = library.Find(name);
    if (symbol == nullptr) {
        throw std::runtime_error(std::string("client library lacks ") + name);
    }
    return reinterpret_cast<F>(symbol);
}

int ProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return getpid();
#endif
}

std::string StatusText(const ISC_STATUS* status) {
    std::string text;
    char buffer[1024];
    const ISC_STATUS* cursor = status;
    while (Client<decltype(&fb_interpret)>("fb_interpret")(buffer, sizeof buffer, &cursor) > 0) {
        text += text.empty() ? "" : "\n";
        text += buffer;
    }
    return text;
}

std::string Dpb(const std::string& user, const std::string& password) {
    std::string block(1, static_cast<char>(isc_dpb_version1));
    const auto add = [&](char code, const std::string& value) {
        block += code;
        block += static_cast<char>(value.size());
        block += value;
    };
    add(isc_dpb_user_name, user);
    add(isc_dpb_password, password);
    // Test paths are UTF-8, whatever the process's locale (the C locale of a test program would
    // make the client refuse a Cyrillic name).
    add(isc_dpb_utf8_filename, "");
    return block;
}

// Attaches as `user`; 0 with `failure` filled when the server refuses.
isc_db_handle Attach(const std::string& databaseString, const std::string& user,
                     const std::string& password, std::string* failure) {
    ISC_STATUS_ARRAY status{};
    isc_db_handle handle = 0;
    const std::string dpb = Dpb(user, password);
    const std::string name = HostDatabaseString(databaseString);
    if (Client<decltype(&isc_attach_database)>("isc_attach_database")(
            status, 0, name.c_str(), &handle, static_cast<short>(dpb.size()), dpb.data()) != 0) {
        *failure = StatusText(status);
        return 0;
    }
    return handle;
}

isc_db_handle AttachAsSysdba(const std::string& databaseString, std::string* failure) {
    return Attach(databaseString, "SYSDBA", SysdbaPassword, failure);
}

void Detach(isc_db_handle& handle) {
    ISC_STATUS_ARRAY status{};
    Client<decltype(&isc_detach_database)>("isc_detach_database")(status, &handle);
}

std::string TestName() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test != nullptr ? std::string(test->test_suite_name()) + "." + test->name()
                                       : std::string("database");
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    return name;
}

// The server makes the database file itself, so its folder must be one the server may write:
// run as root the tests give it to the user the server runs as (the owner of its instance
// folder), as an installation gives DB_Data to the server's user.
void LetTheServerWrite(const std::filesystem::path& folder) {
#ifdef _WIN32
    // The Linux side's rule, applied by its own tools: Wine has no notion of the owner.
    RunCommand("[ \"$(id -u)\" != 0 ] || chown --reference='" + HostPath(InstanceFolder) + "' '" +
               HostPath(folder.string()) + "'");
#else
    struct stat instance {};
    if (geteuid() == 0 && stat(InstanceFolder, &instance) == 0 && instance.st_uid != 0) {
        if (chown(folder.c_str(), instance.st_uid, instance.st_gid) != 0) {
            throw std::runtime_error("cannot give " + folder.string() + " to the server's user");
        }
    }
#endif
}

} // namespace

TOwnDatabase::TOwnDatabase() {
    static std::atomic<int> counter{0};
    const std::filesystem::path folder = std::filesystem::path(UPDATER_TEST_SCRATCH) / "databases";
    std::filesystem::create_directories(folder);
    LetTheServerWrite(folder);
    // The test's name is cut: isql's CONNECT takes a database string of at most 253 bytes, and
    // the sample's isql tests connect to these databases from a build tree that may lie deep.
    Path_ = (folder / (TestName().substr(0, 24) + "-" + std::to_string(ProcessId()) + "-" +
                       std::to_string(counter++) + ".fdb"))
                .string();
    std::filesystem::remove(Path_);
    Create();
}

TOwnDatabase::TOwnDatabase(std::string path) : Path_(std::move(path)) {
    LetTheServerWrite(std::filesystem::path(Path_).parent_path());
    Create();
}

void TOwnDatabase::Create() {
    // Forced writes off: the tests need a real database, not a durable one, and the creation is
    // several times faster without them.
    std::string dpb = Dpb("SYSDBA", SysdbaPassword);
    dpb += static_cast<char>(isc_dpb_set_db_charset);
    dpb += static_cast<char>(7);
    dpb += "WIN1251";
    dpb += {static_cast<char>(isc_dpb_sql_dialect), 4, 3, 0, 0, 0};
    dpb += {static_cast<char>(isc_dpb_force_write), 1, 0};
    ISC_STATUS_ARRAY status{};
    isc_db_handle handle = 0;
    const std::string name = HostDatabaseString(DatabaseString());
    if (Client<decltype(&isc_create_database)>("isc_create_database")(
            status, 0, name.c_str(), &handle, static_cast<short>(dpb.size()), dpb.data(), 0) != 0) {
        throw std::runtime_error("cannot create " + name + ": " + StatusText(status));
    }
    Detach(handle);
}

TOwnDatabase::~TOwnDatabase() {
    std::string failure;
    isc_db_handle handle = AttachAsSysdba(DatabaseString(), &failure);
    if (handle != 0) {
        ISC_STATUS_ARRAY status{};
        if (Client<decltype(&isc_drop_database)>("isc_drop_database")(status, &handle) != 0) {
            Detach(handle);
        }
    }
    std::error_code ignored;
    std::filesystem::remove(Path_, ignored);
}

namespace {

// Runs a tool of the server's and returns what it printed; a failing run fails the test's set-up.
std::string RunTool(const std::string& command) {
    const TCommandResult run = RunCommand(command);
    if (run.ExitCode != 0) {
        throw std::runtime_error(command + " failed: " + run.Output);
    }
    return run.Output;
}

std::string ToolCredentials() {
    return std::string(" -user SYSDBA -password '") + SysdbaPassword + "' '";
}

} // namespace

std::string Query(const std::string& databaseString, const std::string& sql) {
    // The statements go through a file: a shell's quoting would have to survive every quote in
    // them.
    static std::atomic<int> counter{0};
    const std::filesystem::path input =
        std::filesystem::path(UPDATER_TEST_SCRATCH) /
        ("query-" + std::to_string(ProcessId()) + "-" + std::to_string(counter++) + ".sql");
    std::filesystem::create_directories(input.parent_path());
    {
        std::FILE* file = std::fopen(input.string().c_str(), "wb");
        if (file == nullptr) {
            throw std::runtime_error("cannot write " + input.string());
        }
        const std::string text = "set heading off;\nset bail on;\n" + sql + "\n";
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
    std::string output;
    try {
        output = RunTool("isql-fb -q -ch UTF8 -i '" + HostPath(input.string()) + "'" +
                         ToolCredentials() + HostDatabaseString(databaseString) + "'");
    } catch (...) {
        std::filesystem::remove(input);
        throw;
    }
    std::filesystem::remove(input);
    std::string lines;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) {
            end = output.size();
        }
        std::string_view line(output.data() + start, end - start);
        while (!line.empty() && static_cast<unsigned char>(line.front()) <= ' ') {
            line.remove_prefix(1);
        }
        while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') {
            line.remove_suffix(1);
        }
        if (!line.empty()) {
            lines.append(line).append("\n");
        }
        start = end + 1;
    }
    return lines;
}

void InstallFunctionLibrary(const std::string& library) {
    std::filesystem::create_directories(UdfFolder);
    const std::filesystem::path target = std::filesystem::path(UdfFolder) / "QUV_UDF.dll";
    const std::filesystem::path temporary = target.string() + "." + std::to_string(ProcessId());
    std::filesystem::copy_file(library, temporary,
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::rename(temporary, target);
}

void TOwnDatabase::ShutDown() const {
    RunTool("gfix -shut multi -force 0" + ToolCredentials() + HostDatabaseString(DatabaseString()) +
            "'");
}

void TOwnDatabase::SetForcedWrites(bool forced) const {
    RunTool(std::string("gfix -write ") + (forced ? "sync" : "async") + ToolCredentials() +
            HostDatabaseString(DatabaseString()) + "'");
}

void TOwnDatabase::SetReadOnly(bool readOnly) const {
    RunTool(std::string("gfix -mode ") + (readOnly ? "read_only" : "read_write") +
            ToolCredentials() + HostDatabaseString(DatabaseString()) + "'");
}

void ShutDownFully(const std::string& databaseString) {
    RunTool("gfix -shut full -force 0" + ToolCredentials() + HostDatabaseString(databaseString) +
            "'");
}

std::string TOwnDatabase::Attributes() const {
    // The statistics of the server's service manager, not the local fbstat: that one reads the file
    // itself and knows only the on-disk structure of its own version.
    const std::string header = RunTool(
        std::string("fbsvcmgr ") + Server + ":service_mgr -user SYSDBA -password '" +
        SysdbaPassword + "' action_db_stats sts_hdr_pages dbname '" + HostPath(Path_) + "'");
    const std::string key = "Attributes";
    const std::size_t at = header.find(key);
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t begin = header.find_first_not_of(" \t", at + key.size());
    std::size_t end = header.find('\n', at);
    end = header.find_last_not_of(" \t\r", end == std::string::npos ? end : end - 1);
    return end == std::string::npos || end < begin ? std::string()
                                                   : header.substr(begin, end + 1 - begin);
}

TAttachment::TAttachment(const std::string& databaseString, const std::string& user,
                         const std::string& password) {
    std::string failure;
    Handle_ = Attach(databaseString, user, password, &failure);
    if (Handle_ == 0) {
        throw std::runtime_error("attach as " + user + " refused: " + failure);
    }
}

TAttachment::~TAttachment() {
    if (Handle_ != 0) {
        isc_db_handle handle = Handle_;
        Detach(handle);
    }
}

bool TAttachment::Alive() {
    if (Handle_ == 0) {
        return false;
    }
    ISC_STATUS_ARRAY status{};
    isc_db_handle handle = Handle_;
    const char items[] = {isc_info_attachment_id, isc_info_end};
    char reply[64]{};
    if (Client<decltype(&isc_database_info)>("isc_database_info")(
            status, &handle, sizeof items, items, sizeof reply, reply) != 0) {
        // The server ended it: the handle is dead, and a detach would only fail.
        Detach(handle);
        Handle_ = 0;
        return false;
    }
    return true;
}

int AttachmentCount(const std::string& databaseString) {
    std::string failure;
    isc_db_handle handle = AttachAsSysdba(databaseString, &failure);
    if (handle == 0) {
        throw std::runtime_error("cannot count attachments: " + failure);
    }
    const char items[] = {isc_info_user_names, isc_info_end};
    std::vector<char> reply(32768);
    ISC_STATUS_ARRAY status{};
    const ISC_STATUS result = Client<decltype(&isc_database_info)>("isc_database_info")(
        status, &handle, sizeof items, items, static_cast<short>(reply.size() - 1), reply.data());
    Detach(handle);
    if (result != 0) {
        throw std::runtime_error("cannot count attachments: " + StatusText(status));
    }
    int count = 0;
    for (std::size_t i = 0; i + 3 < reply.size() && reply[i] == isc_info_user_names;) {
        const auto length = static_cast<unsigned char>(reply[i + 1]) |
                            static_cast<unsigned char>(reply[i + 2]) << 8;
        ++count;
        i += 3 + static_cast<std::size_t>(length);
    }
    return count - 1;
}

std::string ServerVersion(const std::string& databaseString) {
    std::string failure;
    isc_db_handle handle = AttachAsSysdba(databaseString, &failure);
    if (handle == 0) {
        throw std::runtime_error("cannot ask the server's version: " + failure);
    }
    const char items[] = {isc_info_firebird_version, isc_info_end};
    char reply[512]{};
    ISC_STATUS_ARRAY status{};
    const ISC_STATUS result = Client<decltype(&isc_database_info)>("isc_database_info")(
        status, &handle, sizeof items, items, sizeof reply, reply);
    Detach(handle);
    if (result != 0) {
        throw std::runtime_error("cannot ask the server's version: " + StatusText(status));
    }
    // The item, its length, the number of texts, then each text after its length: the engine's
    // own comes first, then those of the network layers.
    if (reply[0] != isc_info_firebird_version || static_cast<unsigned char>(reply[3]) == 0) {
        throw std::runtime_error("the server sent no version");
    }
    return std::string(reply + 5, static_cast<unsigned char>(reply[4]));
}

int MajorVersion(const std::string& serverVersion) {
    // "LI-V4.0.5.3140 Firebird 4.0": the platform, a letter for the kind of build, the numbers.
    const std::size_t dash = serverVersion.find('-');
    if (dash == std::string::npos || dash + 2 >= serverVersion.size()) {
        return 0;
    }
    int major = 0;
    for (std::size_t i = dash + 2;
         i < serverVersion.size() && serverVersion[i] >= '0' && serverVersion[i] <= '9'; ++i) {
        major = major * 10 + (serverVersion[i] - '0');
    }
    return major;
}

int ExpectedMajorVersion() {
    const char* wanted = std::getenv("UPDATER_TEST_FIREBIRD");
    return wanted != nullptr && *wanted != '\0' ? std::atoi(wanted) : 3;
}

std::string AttachFailure(const std::string& databaseString, const std::string& user,
                          const std::string& password) {
    std::string failure;
    isc_db_handle handle = Attach(databaseString, user, password, &failure);
    if (handle != 0) {
        Detach(handle);
    }
    return failure;
}

std::string HostDatabaseString(const std::string& databaseString) {
    // "localhost/3051:" and the path: the first colon ends the server's part.
    const std::size_t colon = databaseString.find(':');
    return colon == std::string::npos
               ? databaseString
               : databaseString.substr(0, colon + 1) + HostPath(databaseString.substr(colon + 1));
}

void LetTheServerChange(const std::string& folder) {
#ifdef _WIN32
    // An ACL whose default entries every file and folder made inside inherits, as a Windows
    // installation's folder grants the server's account.
    const TCommandResult grant = RunCommand(
        "u=$(stat -c %u '" + HostPath(InstanceFolder) + "'); [ \"$(id -u)\" != 0 ] || " +
        "[ \"$u\" = 0 ] || setfacl -R -m \"u:$u:rwX,d:u:$u:rwX\" '" + HostPath(folder) + "'");
    if (grant.ExitCode != 0) {
        throw std::runtime_error("cannot grant the server's user " + folder + ": " + grant.Output);
    }
#else
    static_cast<void>(folder);
#endif
}

} // namespace firebird_test
