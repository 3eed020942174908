#include "connectivity/service/TIBCustomService.h"

#include "connectivity/service/FbClientBinding.h"

#include <limits>
#include <utility>

namespace {

// The program's own refusals of values that the blocks cannot carry. They are not numbered
// texts of the binding, so their SQL code is 0.
constexpr const char* SpbValueTooLong = "SPB parameter value longer than 255 bytes";
constexpr const char* SpbTooLong = "SPB longer than 65535 bytes";
constexpr const char* StartRequestTooLong = "start Parameters longer than 65535 bytes";

constexpr std::size_t MaxBlockLength = std::numeric_limits<unsigned short>::max();

struct TSpbName {
    std::string_view Name;
    unsigned char Code;
    bool Accepted;
};

// The names that the parameter block knows; only the credentials are sent at attach time.
constexpr TSpbName SpbNames[] = {
    {"user_name", isc_spb_user_name, true},
    {"sys_user_name", isc_spb_sys_user_name, false},
    {"sys_user_name_enc", isc_spb_sys_user_name_enc, false},
    {"password", isc_spb_password, true},
    {"password_enc", isc_spb_password_enc, false},
    {"command_line", isc_spb_command_line, false},
    {"db_name", isc_spb_dbname, false},
    {"verbose", isc_spb_verbose, false},
    {"options", isc_spb_options, false},
    {"connect_timeout", isc_spb_connect_timeout, false},
    {"dummy_packet_interval", isc_spb_dummy_packet_interval, false},
    {"sql_role_name", isc_spb_sql_role_name, false},
};

bool Blank(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) > ' ') {
            return false;
        }
    }
    return true;
}

std::string Lower(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

[[noreturn]] void RaiseOwnClientError(const char* text) {
    throw EIBClientError(text, 0, 0);
}

} // namespace

TIBCustomService::TIBCustomService() {
    FbClientBinding().EnsureLoaded();
}

TIBCustomService::~TIBCustomService() {
    if (Handle_ == 0) {
        return;
    }
    // Reached on a failure path, or by a caller that did not detach: the failure already under
    // way, if any, is the one the caller sees.
    try {
        FbClientBinding().Call(&TFbClientEntryPoints::isc_service_detach, StatusVector(), &Handle_);
    } catch (...) {
    }
    Handle_ = 0;
}

void TIBCustomService::RaiseIfActive() const {
    if (Active()) {
        RaiseClientError(91);
    }
}

void TIBCustomService::SetServerName(const std::string& value) {
    if (value == ServerName_) {
        return;
    }
    RaiseIfActive();
    ServerName_ = value;
}

void TIBCustomService::SetProtocol(TProtocol value) {
    if (value == Protocol_) {
        return;
    }
    RaiseIfActive();
    Protocol_ = value;
    if (value == TProtocol::Local) {
        ServerName_.clear();
    }
}

void TIBCustomService::ChangeParams() {
    RaiseIfActive();
    ParamsChanged_ = true;
}

void TIBCustomService::SetParams(std::vector<std::string> lines) {
    ChangeParams();
    Params_ = std::move(lines);
}

void TIBCustomService::AppendParam(const std::string& line) {
    ChangeParams();
    Params_.push_back(line);
}

void TIBCustomService::SetActive(bool value) {
    if (value == Active()) {
        return;
    }
    if (value) {
        AttachService();
    } else {
        DetachService();
    }
}

std::string TIBCustomService::ServiceName() const {
    switch (Protocol_) {
    case TProtocol::TCP:
        return ServerName_ + ":service_mgr";
    case TProtocol::SPX:
        return ServerName_ + "@service_mgr";
    case TProtocol::NamedPipe:
        return "\\\\" + ServerName_ + "\\service_mgr";
    case TProtocol::Local:
        break;
    }
    return "service_mgr";
}

std::string TIBCustomService::BuildSpb() const {
    std::string block{isc_spb_version, isc_spb_current_version};
    for (const std::string& line : Params_) {
        const std::size_t equals = line.find('=');
        const std::string_view raw = equals == std::string::npos
                                         ? std::string_view()
                                         : std::string_view(line).substr(0, equals);
        if (Blank(raw)) {
            continue;
        }
        // The name is lower-cased but not trimmed: " user_name" is an unknown name.
        std::string name = Lower(raw);
        const std::string_view value = std::string_view(line).substr(equals + 1);
        if (name.starts_with("isc_spb_")) {
            name.erase(0, 8);
        }
        const TSpbName* known = nullptr;
        for (const TSpbName& entry : SpbNames) {
            if (entry.Name == name) {
                known = &entry;
                break;
            }
        }
        if (known == nullptr) {
            RaiseClientError(89);
        }
        if (!known->Accepted) {
            RaiseClientError(88);
        }
        const std::string sent = ToClientText(
            std::string(value), known->Code == isc_spb_password ? "пароль" : "имя пользователя");
        // The length travels in one byte.
        if (sent.size() > 255) {
            RaiseOwnClientError(SpbValueTooLong);
        }
        if (block.size() + 2 + sent.size() > MaxBlockLength) {
            RaiseOwnClientError(SpbTooLong);
        }
        block += static_cast<char>(known->Code);
        block += static_cast<char>(sent.size());
        block += sent;
    }
    return block;
}

void TIBCustomService::AttachService() {
    RaiseIfActive();
    if (ServerName_.empty() && Protocol_ != TProtocol::Local) {
        RaiseClientError(92);
    }
    // The change flag drops only once a block was built, so a refused block is refused again at
    // the next attach rather than an older block sent.
    if (ParamsChanged_) {
        Spb_ = BuildSpb();
        ParamsChanged_ = false;
    }
    const std::string name = ToClientText(ServiceName(), "имя сервера");
    TFbClientBinding& binding = FbClientBinding();
    const ISC_STATUS result =
        binding.Call(&TFbClientEntryPoints::isc_service_attach, StatusVector(),
                     static_cast<unsigned short>(name.size()), name.c_str(), &Handle_,
                     static_cast<unsigned short>(Spb_.size()), Spb_.data());
    if (result > 0) {
        Handle_ = 0;
        binding.RaiseStatusError();
    }
}

void TIBCustomService::DetachService() {
    if (!Active()) {
        RaiseClientError(90);
    }
    TFbClientBinding& binding = FbClientBinding();
    const ISC_STATUS result =
        binding.Call(&TFbClientEntryPoints::isc_service_detach, StatusVector(), &Handle_);
    Handle_ = 0;
    if (result > 0) {
        binding.RaiseStatusError();
    }
}

void TIBControlService::BeginStartRequest(unsigned char action) {
    StartRequest_.assign(1, static_cast<char>(action));
}

void TIBControlService::RaiseIfRequestOutgrows(std::size_t added) {
    if (StartRequest_.size() + added > MaxBlockLength) {
        StartRequest_.clear();
        RaiseOwnClientError(StartRequestTooLong);
    }
}

void TIBControlService::AddStartItem(unsigned char code, std::string_view utf8) {
    if (utf8.empty()) {
        return;
    }
    const std::string text = ToClientText(
        std::string(utf8), code == isc_spb_dbname ? "путь к базе данных" : "параметр запроса");
    RaiseIfRequestOutgrows(3 + text.size());
    StartRequest_ += static_cast<char>(code);
    StartRequest_ += static_cast<char>(text.size() & 0xFF);
    StartRequest_ += static_cast<char>((text.size() >> 8) & 0xFF);
    StartRequest_ += text;
}

void TIBControlService::AddStartItem(unsigned char code, std::int32_t number) {
    RaiseIfRequestOutgrows(5);
    const auto bits = static_cast<std::uint32_t>(number);
    StartRequest_ += static_cast<char>(code);
    for (int shift = 0; shift < 32; shift += 8) {
        StartRequest_ += static_cast<char>((bits >> shift) & 0xFF);
    }
}

void TIBControlService::AddStartByte(unsigned char code, unsigned char value) {
    RaiseIfRequestOutgrows(2);
    StartRequest_ += static_cast<char>(code);
    StartRequest_ += static_cast<char>(value);
}

void TIBControlService::SendStartRequest() {
    // Taken out first, so that nothing stays pending whichever way this ends.
    const std::string request = std::exchange(StartRequest_, std::string());
    if (request.empty()) {
        RaiseClientError(94);
    }
    // Nothing is sent over a handle that does not exist.
    if (!Active()) {
        RaiseClientError(90);
    }
    TFbClientBinding& binding = FbClientBinding();
    const ISC_STATUS result =
        binding.Call(&TFbClientEntryPoints::isc_service_start, StatusVector(), &ServiceHandle(),
                     static_cast<isc_resv_handle*>(nullptr),
                     static_cast<unsigned short>(request.size()), request.data());
    if (result > 0) {
        // Cleared like after every refused call, so no detach follows; the client library keeps
        // that service connection open until the process ends (docs/connectivity.md).
        ServiceHandle() = 0;
        binding.RaiseStatusError();
    }
}

void TIBConfigService::Shutdown(TShutdownMode mode, std::int32_t timeout) {
    BeginStartRequest(isc_action_svc_properties);
    AddStartItem(isc_spb_dbname, DatabaseName_);
    unsigned char code = isc_spb_prp_deny_new_attachments;
    if (mode == ShutdownForced) {
        code = isc_spb_prp_shutdown_db;
    } else if (mode == ShutdownDenyNewTransactions) {
        code = isc_spb_prp_deny_new_transactions;
    }
    AddStartItem(code, timeout);
    SendStartRequest();
}

void TIBConfigService::BringOnline() {
    BeginStartRequest(isc_action_svc_properties);
    AddStartItem(isc_spb_dbname, DatabaseName_);
    AddStartItem(isc_spb_options, std::int32_t{isc_spb_prp_db_online});
    SendStartRequest();
}

void TIBConfigService::SetForcedWrites(bool forced) {
    BeginStartRequest(isc_action_svc_properties);
    AddStartItem(isc_spb_dbname, DatabaseName_);
    AddStartByte(isc_spb_prp_write_mode, forced ? isc_spb_prp_wm_sync : isc_spb_prp_wm_async);
    SendStartRequest();
}
