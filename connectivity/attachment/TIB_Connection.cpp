#include "connectivity/attachment/TIB_Connection.h"

#include "connectivity/attachment/ClientLibrary.h"
#include "connectivity/attachment/EIB_Error.h"
#include "connectivity/attachment/TIB_Session.h"
#include "connectivity/attachment/Trimmed.h"
#include "platform/CodePage.h"
#include "platform/FolderLookup.h"

#include <charconv>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <optional>

namespace {

constexpr const char* RefusedWhileAttached =
    "Невозможно сделать изменения, пока установлено соединение";

// Parameter names of the indexes 0..10; index 2 (the password) is chosen by protocol.
constexpr std::string_view IndexedNames[] = {"",
                                             "USER NAME",
                                             "",
                                             "SERVER",
                                             "ROLE NAME",
                                             "PATH",
                                             "LICENSE",
                                             "SYSDBA",
                                             "ENCRYPT KEY",
                                             "CHARACTER SET",
                                             "MESSAGE FILE"};

bool IsIdentifier(std::string_view text) {
    const auto letter = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    };
    if (text.empty() || !letter(text.front())) {
        return false;
    }
    for (const char c : text) {
        if (!letter(c) && !(c >= '0' && c <= '9')) {
            return false;
        }
    }
    return true;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

} // namespace

TIB_Connection::TIB_Connection() {
    Session().AddConnection(this);
}

TIB_Connection::~TIB_Connection() {
    if (Connected()) {
        DetachFromDatabase();
        State_ = csDisconnected;
    }
    for (TIB_Transaction* transaction : Transactions_) {
        transaction->Connection_ = nullptr;
    }
    for (TIB_Statement* statement : Statements_) {
        statement->Connection_ = nullptr;
    }
    if (Session().FocusedConnection() == this) {
        Session().SetFocusedConnection(nullptr);
    }
    Session().RemoveConnection(this);
}

void TIB_Connection::SetAnnounceFocus(bool value) {
    AnnounceFocus_ = value;
    if (value) {
        Session().SetFocusedConnection(this);
    }
}

int TIB_Connection::PageSize() const {
    const std::string text = Params_.Get("PAGE SIZE");
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : 1024;
}

void TIB_Connection::SetPageSize(int value) {
    RaiseIfConnected();
    const int rounded = value >= 1024 ? value / 1024 * 1024 : 1024;
    Params_.Set("PAGE SIZE", rounded == 1024 ? std::string() : std::to_string(rounded));
}

int TIB_Connection::SQLDialect() const {
    const std::string text = Params_.Get("SQL DIALECT");
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : 1;
}

void TIB_Connection::SetSQLDialect(int value) {
    RaiseIfConnected();
    Params_.Set("SQL DIALECT", value > 1 ? std::to_string(value) : std::string());
}

void TIB_Connection::RaiseIfConnected() const {
    if (Connected()) {
        throw EIB_ConnectionError(RefusedWhileAttached);
    }
}

std::string TIB_Connection::GetIndexedParam(int index) {
    if (index == 2) {
        if (Protocol() == cpLocal) {
            std::string local = Params_.Get("LOCAL PASSWORD");
            if (!local.empty()) {
                return local;
            }
        }
        return Params_.Get("PASSWORD");
    }
    if (index == 4) {
        std::string role = Params_.Get("ROLE NAME");
        for (const std::string_view older : {"ROLE", "SQL ROLE NAME"}) {
            if (!role.empty()) {
                break;
            }
            role = Params_.Get(older);
            if (!role.empty()) {
                Params_.Set("ROLE NAME", role);
                Params_.Set(older, "");
            }
        }
        return role;
    }
    if (index < 1 || index > 10) {
        return {};
    }
    return Params_.Get(IndexedNames[index]);
}

void TIB_Connection::SetIndexedParam(int index, const std::string& value) {
    RaiseIfConnected();
    if (index == 2) {
        const bool local = Protocol() == cpLocal && !Params_.Get("LOCAL PASSWORD").empty();
        Params_.Set(local ? "LOCAL PASSWORD" : "PASSWORD", value);
        return;
    }
    if (index < 1 || index > 10) {
        return;
    }
    Params_.Set(IndexedNames[index], value);
    if (index == 4) {
        Params_.Set("ROLE", "");
        Params_.Set("SQL ROLE NAME", "");
    }
}

std::string TIB_Connection::Password() {
    return PasswordHeld_ ? Password_ : GetIndexedParam(2);
}

void TIB_Connection::SetPassword(const std::string& value) {
    RaiseIfConnected();
    Params_.Set("PASSWORD", "");
    Password_ = value;
    PasswordHeld_ = true;
}

TIB_Protocol TIB_Connection::Protocol() const {
    const std::string value = Upper(Params_.Get("PROTOCOL"));
    if (value == "NETBEUI") {
        return cpNetBEUI;
    }
    if (value == "TCP/IP") {
        return cpTCP_IP;
    }
    if (value == "NOVELL") {
        return cpNovell;
    }
    return cpLocal;
}

void TIB_Connection::SetProtocol(TIB_Protocol protocol) {
    if (protocol == Protocol()) {
        return;
    }
    RaiseIfConnected();
    switch (protocol) {
    case cpNetBEUI:
        Params_.Set("PROTOCOL", "NETBEUI");
        break;
    case cpTCP_IP:
        Params_.Set("PROTOCOL", "TCP/IP");
        break;
    case cpNovell:
        Params_.Set("PROTOCOL", "NOVELL");
        break;
    default:
        Params_.Set("PROTOCOL", "");
        break;
    }
}

std::string TIB_Connection::DatabaseName() const {
    return ConnectionName_.empty() ? ComposeDatabaseName() : ConnectionName_;
}

void TIB_Connection::SetDatabaseName(const std::string& value) {
    if (value.find_first_of(".\\:@") != std::string::npos) {
        ParseDatabaseName(value);
        ConnectionName_.clear();
        return;
    }
    if (value == ConnectionName_) {
        return;
    }
    if (!IsIdentifier(value)) {
        throw EIB_ConnectionError("Неправильный DatabaseName");
    }
    const auto taken = [&](const std::string& candidate) {
        for (const TIB_Connection* other : Session().Connections()) {
            if (other != this && platform::SameNameIgnoringCase(other->DatabaseName(), candidate)) {
                return true;
            }
        }
        return false;
    };
    std::string candidate = value;
    for (int n = 1; taken(candidate); ++n) {
        candidate = value + "_" + std::to_string(n);
    }
    ConnectionName_ = candidate;
}

void TIB_Connection::ParseDatabaseName(const std::string& value) {
    const std::string_view s = value;
    if (s.size() > 2 && s[1] == ':' && s.substr(2).find(':') == std::string_view::npos) {
        SetPath(value);
        SetProtocol(cpLocal);
    } else if (s.find("\\\\") != std::string_view::npos) {
        const std::string_view rest = s.substr(2);
        const std::size_t slash = rest.find('\\');
        if (slash == std::string_view::npos) {
            SetServer("");
            SetPath(std::string(rest));
        } else {
            SetServer(std::string(rest.substr(0, slash)));
            SetPath(std::string(rest.substr(slash + 1)));
        }
        SetProtocol(cpNetBEUI);
    } else if (const std::size_t at = s.find('@'); at != std::string_view::npos) {
        SetServer(std::string(s.substr(0, at)));
        SetPath(std::string(s.substr(at + 1)));
        SetProtocol(cpNovell);
    } else if (const std::size_t colon = s.find(':'); colon != std::string_view::npos) {
        SetServer(std::string(s.substr(0, colon)));
        SetPath(std::string(s.substr(colon + 1)));
        SetProtocol(cpTCP_IP);
    } else {
        SetPath(value);
        SetProtocol(cpLocal);
    }
}

std::string TIB_Connection::ComposeDatabaseName() const {
    const std::string server = Params_.Get("SERVER");
    const std::string path = Params_.Get("PATH");
    switch (Protocol()) {
    case cpNetBEUI:
        return "\\\\" + server + "\\" + path;
    case cpTCP_IP:
        return server + ":" + path;
    case cpNovell:
        return server + "@" + path;
    default:
        return path;
    }
}

void TIB_Connection::CheckAttachPath() {
    const std::string path = Path();
    bool quoted = false;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '"') {
            quoted = !quoted;
        } else if (path[i] == ':' && !quoted) {
            if (i + 1 < path.size() && path[i + 1] != '/' && path[i + 1] != '\\') {
                throw EIB_ConnectionError("Неверный путь для соединения");
            }
            return;
        }
    }
}

void TIB_Connection::SetConnected(bool value) {
    if (value == Connected()) {
        return;
    }
    if (value) {
        Connect();
    } else {
        Disconnect();
    }
}

void TIB_Connection::Connect() {
    State_ = csConnecting;
    try {
        if (BeforeConnect) {
            BeforeConnect(*this);
        }
    } catch (...) {
        State_ = Connected() ? csConnected : csDisconnected;
        throw;
    }
    // There is no login dialog to ask again, so LoginPrompt changes nothing here: one attempt.
    try {
        AttachToDatabase();
    } catch (...) {
        State_ = csDisconnected;
        throw;
    }
    if (!Connected()) {
        State_ = csDisconnected;
        return;
    }
    State_ = csConnected;
    if (OnConnectedChanged) {
        OnConnectedChanged(*this);
    }
    if (AfterConnect) {
        AfterConnect(*this);
    }
}

void TIB_Connection::Disconnect() {
    State_ = csDisconnecting;
    try {
        if (BeforeDisconnect) {
            BeforeDisconnect(*this);
        }
    } catch (...) {
        State_ = csConnected;
        throw;
    }
    // A linked transaction would be ended here and the statements closed; this layer never
    // starts a transaction nor prepares a statement, so none is active or open.
    DetachFromDatabase();
    State_ = csDisconnected;
    if (OnConnectedChanged) {
        OnConnectedChanged(*this);
    }
    if (AfterDisconnect) {
        AfterDisconnect(*this);
    }
}

void TIB_Connection::AddDPBItem(std::string& block, unsigned char code,
                                std::string_view value) const {
    if (value.size() > 255) {
        throw EIB_ConnectionError("Неправильный DPB: содержит более 255 символов");
    }
    if (value.empty()) {
        return;
    }
    block += static_cast<char>(code);
    block += static_cast<char>(value.size());
    block += value;
}

void TIB_Connection::AttachToDatabase() {
    std::string attachPath = Params_.Get("FORCED_DATABASE");
    if (attachPath.empty()) {
        attachPath = ComposeDatabaseName();
    }
    if (Trimmed(attachPath).empty()) {
        attachPath = Params_.Get("SERVER NAME");
        if (!attachPath.empty()) {
            ParseDatabaseName(attachPath);
            Params_.Set("SERVER NAME", "");
        }
    }
    const std::string user = Trimmed(Username());
    const std::string password = Password();
    const std::string role = SQLRole();
    const char* environmentDatabase = std::getenv("ISC_DATABASE");
    if (attachPath.empty() && (environmentDatabase == nullptr || *environmentDatabase == '\0')) {
        throw EIB_ConnectionError("DatabaseName не может быть пустым");
    }
    CheckAttachPath();

    // Every text goes to the client in the encoding it reads them in (the system's ANSI code
    // page on Windows), converted here, in one place; a character the code page cannot hold
    // fails before anything is sent. The lengths below are those of the bytes sent.
    const auto toClient = [](const std::string& value, std::string_view field) {
        platform::TUnheldCharacter unheld;
        std::optional<std::string> converted = platform::Utf8ToClientText(value, &unheld);
        if (!converted) {
            throw EIB_ConnectionError(platform::UnheldCharacterText(unheld, field));
        }
        return std::move(*converted);
    };
    attachPath = toClient(attachPath, "путь к базе данных");

    // The block grows as needed: each value is limited to 255 bytes, so ten items stay far below
    // the 16-bit length that the client call takes.
    std::string block(1, static_cast<char>(isc_dpb_version1));
    AddDPBItem(block, isc_dpb_user_name, toClient(user, "имя пользователя"));
    AddDPBItem(block, isc_dpb_password, toClient(password, "пароль"));
    AddDPBItem(block, isc_dpb_sql_role_name, toClient(role, "роль"));
    const auto flag = [&](unsigned char code, const char* name, const char* whenOne,
                          const char* whenZero) {
        const std::string value = Params_.Get(name);
        if (value == whenOne) {
            AddDPBItem(block, code, std::string(1, '\1'));
        } else if (value == whenZero) {
            AddDPBItem(block, code, std::string(1, '\0'));
        }
    };
    flag(isc_dpb_dbkey_scope, "DB_KEY SCOPE", "CONNECTION", "TRANSACTION");
    flag(isc_dpb_force_write, "FORCED WRITES", "TRUE", "FALSE");
    flag(isc_dpb_no_reserve, "RESERVE PAGE SPACE", "FALSE", "TRUE");
    AddDPBItem(block, isc_dpb_lc_ctype, toClient(CharSet(), "набор символов"));
    AddDPBItem(block, isc_dpb_sys_user_name, toClient(SysDBA(), "имя SYSDBA"));
    AddDPBItem(block, isc_dpb_license, toClient(License(), "лицензию"));
    AddDPBItem(block, isc_dpb_lc_messages, toClient(MessageFile(), "файл сообщений"));
    if (OnCustomizeDPB) {
        OnCustomizeDPB(*this, block);
        if (block.size() > SHRT_MAX) {
            throw EIB_ConnectionError("Неправильный DPB: длина более 32767 байт");
        }
    }

    TIB_Session& session = Session();
    if (ClientEntryPoints().isc_attach_database == nullptr) {
        LoadClientLibrary();
    }
    if (ClientEntryPoints().isc_attach_database == nullptr) {
        session.ERRCODE = -1;
    } else {
        std::unique_lock<std::mutex> guard;
        if (std::mutex* lock = ClientCallLock()) {
            guard = std::unique_lock<std::mutex>(*lock);
        }
        session.ERRCODE = static_cast<std::int32_t>(
            ClientCall(&TIB_ClientEntryPoints::isc_attach_database, session.StatusVector(),
                       short{0}, attachPath.c_str(), &AttachmentHandle_,
                       static_cast<short>(block.size()), block.data()));
    }
    if (session.ERRCODE != 0) {
        AttachmentHandle_ = 0;
        session.ReportStatusError(this);
    }
}

void TIB_Connection::DetachFromDatabase() {
    TIB_Session& session = Session();
    // A library freed under an attached connection (a reset while attached) has no detach to
    // call; the handle is dropped all the same.
    if (ClientEntryPoints().isc_detach_database != nullptr) {
        ClientCall(&TIB_ClientEntryPoints::isc_detach_database, session.StatusVector(),
                   &AttachmentHandle_);
    }
    session.ERRCODE = 0;
    AttachmentHandle_ = 0;
}

TIB_Database::TIB_Database() : DefaultTransaction_(std::make_unique<TIB_Transaction>()) {}

TIB_Database::~TIB_Database() {
    SetConnected(false);
}
