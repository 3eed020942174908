// The test-only fbclient.dll of the Windows build: every forwarded entry point goes over one
// loopback TCP connection per process to the Linux helper (BridgeHelper.cpp), which makes the
// same call on the real libfbclient.so.2. Texts are converted here as the Windows client does:
// file names and the parameter block's strings from the ANSI code page to UTF-8 on the way out,
// message texts back into the ANSI code page. docs/client-bridge.md tells the whole design.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/bridge/BridgeProtocol.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <type_traits>

#define BRIDGE_EXPORT extern "C" __declspec(dllexport)

namespace bridge {
namespace {

std::string Convert(std::string_view text, UINT from, UINT to) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(from, 0, text.data(), size, nullptr, 0);
    if (wide <= 0) {
        return std::string(text);
    }
    std::wstring buffer(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(from, 0, text.data(), size, buffer.data(), wide);
    const int bytes = WideCharToMultiByte(to, 0, buffer.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return std::string(text);
    }
    std::string converted(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(to, 0, buffer.data(), wide, converted.data(), bytes, nullptr, nullptr);
    return converted;
}

std::string AnsiToUtf8(std::string_view text) {
    return Convert(text, CP_ACP, CP_UTF8);
}
std::string Utf8ToAnsi(std::string_view text) {
    return Convert(text, CP_UTF8, CP_ACP);
}

std::string Environment(const char* name) {
    char value[1024];
    const DWORD size = GetEnvironmentVariableA(name, value, sizeof value);
    return size > 0 && size < sizeof value ? std::string(value, size) : std::string();
}

// What the caller's environment asks of the connection; a change opens a new one.
struct TSettings {
#ifdef UPDATER_BRIDGE_DEFAULT_PORT
    std::uint16_t Port = UPDATER_BRIDGE_DEFAULT_PORT;
#else
    std::uint16_t Port = DefaultPort;
#endif
    DWORD TimeoutMs = 60000;
    std::string Fault;
    std::string Record;
    std::string Key() const {
        return std::to_string(Port) + '\n' + std::to_string(TimeoutMs) + '\n' + Fault + '\n' +
               Record;
    }
};

TSettings ReadSettings() {
    TSettings settings;
    if (const std::string port = Environment("UPDATER_BRIDGE_PORT"); !port.empty()) {
        settings.Port = static_cast<std::uint16_t>(std::strtoul(port.c_str(), nullptr, 10));
    }
    if (const std::string timeout = Environment("UPDATER_BRIDGE_TIMEOUT_MS"); !timeout.empty()) {
        settings.TimeoutMs = static_cast<DWORD>(std::strtoul(timeout.c_str(), nullptr, 10));
    }
    settings.Fault = Environment("UPDATER_BRIDGE_FAULT");
    settings.Record = Environment("UPDATER_BRIDGE_RECORD");
    return settings;
}

// Why a call could not be made: the client's code for the step that failed and the socket's
// error (0 when the other side closed).
struct TFailure {
    ISC_STATUS Code = 0;
    int SocketError = 0;
};

std::mutex& CallLock() {
    static std::mutex lock;
    return lock;
}

class TConnection {
public:
    ~TConnection() { Close(); }

    // Sends a request and reads its reply; on any failure the connection is closed, so the next
    // call opens a new one (with a new helper process, so the old handles are gone).
    bool Exchange(const std::string& request, std::string& reply, TFailure& failure) {
        const TSettings settings = ReadSettings();
        if (Socket_ != INVALID_SOCKET && Key_ != settings.Key()) {
            Close();
        }
        if (Socket_ == INVALID_SOCKET && !Open(settings, failure)) {
            return false;
        }
        if (!SendMessage(request, failure) || !ReceiveMessage(reply, failure)) {
            Close();
            return false;
        }
        return true;
    }

    void Close() {
        if (Socket_ != INVALID_SOCKET) {
            closesocket(Socket_);
            Socket_ = INVALID_SOCKET;
        }
    }

private:
    bool Open(const TSettings& settings, TFailure& failure) {
        static const bool started = [] {
            // The layers free and load the client again and again; the module stays, so the
            // process keeps its one connection (and Winsock) from the first call to its end.
            HMODULE self = nullptr;
            GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                   GET_MODULE_HANDLE_EX_FLAG_PIN,
                               reinterpret_cast<LPCWSTR>(&CallLock), &self);
            WSADATA data;
            return WSAStartup(MAKEWORD(2, 2), &data) == 0;
        }();
        if (!started) {
            failure = {isc_net_connect_err, WSASYSNOTREADY};
            return false;
        }
        Socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (Socket_ == INVALID_SOCKET) {
            failure = {isc_net_connect_err, WSAGetLastError()};
            return false;
        }
        // A helper that stops answering ends the call after the timeout instead of hanging it.
        const DWORD timeout = settings.TimeoutMs;
        setsockopt(Socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof timeout);
        setsockopt(Socket_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof timeout);
        const BOOL noDelay = TRUE;
        setsockopt(Socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                   sizeof noDelay);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(settings.Port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(Socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            failure = {isc_net_connect_err, WSAGetLastError()};
            Close();
            return false;
        }
        TWriter hello;
        hello.U32(static_cast<std::uint32_t>(TCallId::Hello));
        hello.U32(ProtocolVersion);
        hello.U32(static_cast<std::uint32_t>(sizeof(void*) * 8));
        hello.Bytes(settings.Fault);
        hello.Bytes(settings.Record);
        std::string reply;
        if (!SendMessage(hello.Data, failure) || !ReceiveMessage(reply, failure)) {
            failure.Code = isc_net_connect_err;
            Close();
            return false;
        }
        TReader in(reply);
        if (in.I64() != 0 || !in.Ok()) {
            failure = {isc_net_connect_err, 0};
            Close();
            return false;
        }
        Key_ = settings.Key();
        return true;
    }

    bool SendAll(const char* data, std::size_t size, TFailure& failure) {
        while (size > 0) {
            const int sent =
                send(Socket_, data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
            if (sent <= 0) {
                failure = {isc_net_write_err, WSAGetLastError()};
                return false;
            }
            data += sent;
            size -= static_cast<std::size_t>(sent);
        }
        return true;
    }

    bool ReceiveAll(char* data, std::size_t size, TFailure& failure) {
        while (size > 0) {
            const int got =
                recv(Socket_, data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
            if (got <= 0) {
                failure = {isc_net_read_err, got == 0 ? 0 : WSAGetLastError()};
                return false;
            }
            data += got;
            size -= static_cast<std::size_t>(got);
        }
        return true;
    }

    bool SendMessage(const std::string& message, TFailure& failure) {
        TWriter frame;
        frame.U32(static_cast<std::uint32_t>(message.size()));
        frame.Data += message;
        return SendAll(frame.Data.data(), frame.Data.size(), failure);
    }

    bool ReceiveMessage(std::string& message, TFailure& failure) {
        char header[4];
        if (!ReceiveAll(header, sizeof header, failure)) {
            return false;
        }
        TReader in(std::string_view(header, sizeof header));
        const std::uint32_t size = in.U32();
        if (size > MaxMessage) {
            failure = {isc_net_read_err, 0};
            return false;
        }
        message.assign(size, '\0');
        return ReceiveAll(message.data(), size, failure);
    }

    SOCKET Socket_ = INVALID_SOCKET;
    std::string Key_;
};

// Never destroyed: nothing of the bridge runs at the process's end, under the loader lock, where
// a socket call may wait on what the ending process no longer answers. The system closes the
// socket with the process.
TConnection& Connection() {
    static TConnection* connection = new TConnection;
    return *connection;
}

// The server host that the network error names: the one of the latest attach in the process.
std::string& LastHost() {
    static std::string host = "localhost";
    return host;
}

void NoteHost(const std::string& name) {
    std::string host = "localhost";
    if (name.starts_with("\\\\")) {
        host = name.substr(2, name.find('\\', 2) - 2);
    } else if (const std::size_t end = name.find_first_of("/:");
               end != std::string::npos && end > 1) {
        host = name.substr(0, end);
    }
    const std::lock_guard<std::mutex> guard(CallLock());
    LastHost() = host;
}

void WriteFailure(ISC_STATUS* status, const TFailure& failure) {
    if (status == nullptr) {
        return;
    }
    std::vector<TClump> clumps{{isc_arg_gds, isc_network_error, {}},
                               {isc_arg_string, 0, LastHost()},
                               {isc_arg_gds, failure.Code, {}}};
    if (failure.SocketError != 0) {
        clumps.push_back({isc_arg_win32, failure.SocketError, {}});
    }
    WriteVector(clumps, status, CallerVectorWords, KeepCallerText);
}

template <typename K> ISC_STATUS* StatusOf(K& kind) {
    if constexpr (std::is_same_v<K, TStatus>) {
        return kind.Caller;
    } else {
        return nullptr;
    }
}

// Makes one call through the helper. When it cannot be made, the caller's status vector says so
// as the client says a network failure, and `failed` (or that vector's code) is returned.
template <TCallId Id, typename... K> std::int64_t Forward(std::int64_t failed, K&&... kinds) {
    static_assert(std::is_same_v<std::tuple<std::remove_cvref_t<K>...>, typename TKinds<Id>::Type>,
                  "the arguments must be the kinds of the table");
    TWriter request;
    request.U32(static_cast<std::uint32_t>(Id));
    (kinds.Put(request), ...);
    const std::lock_guard<std::mutex> guard(CallLock());
    std::string reply;
    TFailure failure;
    if (Connection().Exchange(request.Data, reply, failure)) {
        TReader in(reply);
        const std::int64_t result = in.I64();
        (kinds.Take(in), ...);
        if (in.Ok() && in.AtEnd()) {
            return result;
        }
        failure = {isc_net_read_err, 0};
        Connection().Close();
    }
    ISC_STATUS* status = nullptr;
    ((status = status != nullptr ? status : StatusOf(kinds)), ...);
    if (status != nullptr) {
        WriteFailure(status, failure);
        return status[1];
    }
    return failed;
}

std::uint16_t U16(short length) {
    return static_cast<std::uint16_t>(length);
}

TBytesIn Bytes(const char* data, std::size_t size) {
    TBytesIn bytes;
    bytes.Present = data != nullptr;
    bytes.Sent.assign(data != nullptr ? data : "", data != nullptr ? size : 0);
    return bytes;
}

// A length of 0 stands for a NUL-terminated text, as the client reads names and statements.
TBytesIn Text(const char* data, std::size_t size) {
    return Bytes(data, data != nullptr && size == 0 ? std::strlen(data) : size);
}

void ConvertWith(TBytesIn& bytes, const std::string& converted) {
    bytes.Given = bytes.Sent;
    bytes.Converted = true;
    bytes.Sent = converted;
}

// Walks a version-1 parameter block: `visit(tag, value offset, value length)`; false when the
// block is not one or is cut short.
template <typename Visit> bool WalkDpb(const std::string& dpb, Visit visit) {
    if (dpb.empty() || dpb[0] != isc_dpb_version1) {
        return false;
    }
    std::size_t at = 1;
    while (at < dpb.size()) {
        if (at + 2 > dpb.size()) {
            return false;
        }
        const auto tag = static_cast<unsigned char>(dpb[at]);
        const auto length = static_cast<unsigned char>(dpb[at + 1]);
        if (at + 2 + length > dpb.size()) {
            return false;
        }
        visit(tag, at + 2, static_cast<std::size_t>(length));
        at += 2 + length;
    }
    return true;
}

// The server of these tests is the Linux one: a file name on a Wine drive (`Z:\\…`) goes to it
// as the Unix path that the drive maps to, as a Windows server would find the same file under
// its drive letter. `utf8` is a UTF-8 file name; anything else stays as given.
std::string ServerFileName(const std::string& utf8) {
    const bool drive = utf8.size() >= 3 && std::isalpha(static_cast<unsigned char>(utf8[0])) &&
                       utf8[1] == ':' && (utf8[2] == '\\' || utf8[2] == '/');
    if (!drive) {
        return utf8;
    }
    using TUnixName = char*(__cdecl*)(LPCWSTR);
    static const auto unixName = reinterpret_cast<TUnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName == nullptr) {
        return utf8;
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    char* name = unixName(wide.c_str());
    if (name == nullptr) {
        // A folder that is not there yet: the Z: drive is the Unix root.
        if (std::toupper(static_cast<unsigned char>(utf8[0])) != 'Z') {
            return utf8;
        }
        std::string path = utf8.substr(2);
        std::replace(path.begin(), path.end(), '\\', '/');
        return path;
    }
    std::string path = name;
    HeapFree(GetProcessHeap(), 0, name);
    return path;
}

// A database string (`host/port:file`, `host:file` or `file`) with its file name for the server.
std::string ServerDatabaseString(const std::string& utf8) {
    if (utf8.size() >= 3 && utf8[1] == ':' && (utf8[2] == '\\' || utf8[2] == '/')) {
        return ServerFileName(utf8);
    }
    const std::size_t colon = utf8.find(':');
    if (colon == std::string::npos || colon < 2) {
        return utf8;
    }
    return utf8.substr(0, colon + 1) + ServerFileName(utf8.substr(colon + 1));
}

bool HasUtf8FileName(const std::string& dpb) {
    bool found = false;
    WalkDpb(dpb, [&](unsigned char tag, std::size_t, std::size_t) {
        found = found || tag == isc_dpb_utf8_filename;
    });
    return found;
}

// The user name, password and role in UTF-8; a block that cannot be walked, or a value that
// would grow past its length byte, stays as given.
std::string ConvertDpbStrings(const std::string& dpb) {
    std::string converted(1, dpb.empty() ? '\0' : dpb[0]);
    const bool whole = WalkDpb(dpb, [&](unsigned char tag, std::size_t at, std::size_t length) {
        std::string value = dpb.substr(at, length);
        if (tag == isc_dpb_user_name || tag == isc_dpb_password || tag == isc_dpb_sql_role_name) {
            if (std::string utf8 = AnsiToUtf8(value); utf8.size() <= 255) {
                value = std::move(utf8);
            }
        }
        converted += static_cast<char>(tag);
        converted += static_cast<char>(value.size());
        converted += value;
    });
    return whole ? converted : dpb;
}

// The user name, password and role of a service attach's parameter block (version 2, every item
// a tag, a length byte and the value) in UTF-8, as the client reads its system's texts there as
// in a DPB; a block of another form, or one that cannot be walked whole, stays as given.
std::string ConvertSpbStrings(const std::string& spb) {
    if (spb.size() < 2 || spb[0] != isc_spb_version || spb[1] != isc_spb_current_version) {
        return spb;
    }
    std::string converted = spb.substr(0, 2);
    for (std::size_t at = 2; at < spb.size();) {
        if (at + 2 > spb.size()) {
            return spb;
        }
        const auto tag = static_cast<unsigned char>(spb[at]);
        const auto length = static_cast<unsigned char>(spb[at + 1]);
        if (at + 2 + length > spb.size()) {
            return spb;
        }
        std::string value = spb.substr(at + 2, length);
        if (tag == isc_spb_user_name || tag == isc_spb_password || tag == isc_spb_sql_role_name) {
            if (std::string utf8 = AnsiToUtf8(value); utf8.size() <= 255) {
                value = std::move(utf8);
            }
        }
        converted += static_cast<char>(tag);
        converted += static_cast<char>(value.size());
        converted += value;
        at += 2 + length;
    }
    return converted;
}

// The database's name (isc_spb_dbname) of a service start request in UTF-8. The request is
// walked as far as its items are known (the properties action's, the options); the rest is sent
// as given.
std::string ConvertServiceRequest(const std::string& request) {
    if (request.empty()) {
        return request;
    }
    std::string converted(1, request[0]);
    std::size_t at = 1;
    while (at < request.size()) {
        const auto tag = static_cast<unsigned char>(request[at]);
        std::size_t fixed = 0;
        switch (tag) {
        case isc_spb_dbname: {
            if (at + 3 > request.size()) {
                return converted + request.substr(at);
            }
            const std::size_t length =
                static_cast<unsigned char>(request[at + 1]) |
                static_cast<std::size_t>(static_cast<unsigned char>(request[at + 2])) << 8;
            if (at + 3 + length > request.size()) {
                return converted + request.substr(at);
            }
            const std::string name = ServerFileName(AnsiToUtf8(request.substr(at + 3, length)));
            if (name.size() > 0xFFFF) {
                return request;
            }
            converted += static_cast<char>(tag);
            converted += static_cast<char>(name.size() & 0xFF);
            converted += static_cast<char>(name.size() >> 8);
            converted += name;
            at += 3 + length;
            continue;
        }
        case isc_spb_options:
        case isc_spb_prp_page_buffers:
        case isc_spb_prp_sweep_interval:
        case isc_spb_prp_shutdown_db:
        case isc_spb_prp_deny_new_attachments:
        case isc_spb_prp_deny_new_transactions:
        case isc_spb_prp_set_sql_dialect:
        case isc_spb_prp_force_shutdown:
        case isc_spb_prp_attachments_shutdown:
        case isc_spb_prp_transactions_shutdown:
            fixed = 4;
            break;
        case isc_spb_prp_reserve_space:
        case isc_spb_prp_write_mode:
        case isc_spb_prp_access_mode:
        case isc_spb_prp_shutdown_mode:
        case isc_spb_prp_online_mode:
            fixed = 1;
            break;
        default:
            return converted + request.substr(at);
        }
        if (at + 1 + fixed > request.size()) {
            return converted + request.substr(at);
        }
        converted += request.substr(at, 1 + fixed);
        at += 1 + fixed;
    }
    return converted;
}

// The texts that the bridge itself puts into status vectors, as the client words them, and
// their SQL codes; they are interpreted here, so they read the same when the helper is away.
struct TLocalText {
    ISC_STATUS Code;
    const char* Text;
    ISC_LONG SqlCode;
};
constexpr TLocalText LocalTexts[] = {
    {isc_network_error, "Unable to complete network request to host \"@1\".", -902},
    {isc_net_connect_err, "Failed to establish a connection.", -902},
    {isc_net_read_err, "Error reading data from the connection.", -902},
    {isc_net_write_err, "Error writing data to the connection.", -902},
    {isc_wish_list, "feature is not supported", -901},
    {isc_random, "@1", -901},
};

const TLocalText* LocalText(const ISC_STATUS* clump) {
    if (clump[0] != isc_arg_gds) {
        return nullptr;
    }
    for (const TLocalText& text : LocalTexts) {
        if (text.Code == clump[1]) {
            return &text;
        }
    }
    return nullptr;
}

// The message at the cursor when the bridge words it itself (its own codes, a Win32 error, the
// end), and where the cursor moves past it. False when the helper must word it.
bool InterpretLocally(const ISC_STATUS** cursor, std::string& text, const ISC_STATUS*& next) {
    const ISC_STATUS* at = *cursor;
    if (at == nullptr || at[0] == isc_arg_end) {
        text.clear();
        next = at;
        return true;
    }
    if (at[0] == isc_arg_win32) {
        char buffer[512] = {};
        const DWORD size =
            FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(at[1]), 0, buffer, sizeof buffer, nullptr);
        text = size > 0 ? std::string(buffer, size)
                        : "unknown Win32 error " + std::to_string(static_cast<long>(at[1]));
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
            text.pop_back();
        }
        next = at + 2;
        return true;
    }
    const TLocalText* local = LocalText(at);
    if (local == nullptr) {
        return false;
    }
    std::vector<std::string> args;
    at += 2;
    for (; at[0] == isc_arg_string || at[0] == isc_arg_cstring || at[0] == isc_arg_number;
         at += ClumpWords(at[0])) {
        if (at[0] == isc_arg_number) {
            args.push_back(std::to_string(static_cast<long long>(at[1])));
        } else if (at[0] == isc_arg_cstring) {
            args.emplace_back(reinterpret_cast<const char*>(at[2]),
                              static_cast<std::size_t>(at[1]));
        } else {
            args.emplace_back(reinterpret_cast<const char*>(at[1]));
        }
    }
    text.clear();
    for (const char* p = local->Text; *p != '\0'; ++p) {
        if (p[0] == '@' && p[1] >= '1' && p[1] <= '9') {
            const std::size_t index = static_cast<std::size_t>(p[1] - '1');
            text += index < args.size() ? args[index] : std::string();
            ++p;
        } else {
            text += *p;
        }
    }
    next = at;
    return true;
}

// The local text into the caller's buffer (`limit` 0: the client's own 1,024 bytes).
ISC_LONG PutLocalText(char* buffer, std::uint32_t limit, const std::string& text) {
    const std::size_t room = (limit == 0 ? 1024 : limit) - 1;
    const std::size_t size = std::min(text.size(), room);
    if (buffer != nullptr) {
        std::memcpy(buffer, text.data(), size);
        buffer[size] = '\0';
    }
    return static_cast<ISC_LONG>(size);
}

ISC_LONG Interpret(char* buffer, std::uint32_t limit, const ISC_STATUS** cursor) {
    if (cursor == nullptr) {
        return 0;
    }
    std::string text;
    if (const ISC_STATUS* next = nullptr; InterpretLocally(cursor, text, next)) {
        // As the client: a text that does not fit the caller's size is not given at all.
        if (limit != 0 && text.size() >= limit) {
            return 0;
        }
        *cursor = next;
        return PutLocalText(buffer, limit, text);
    }
    TVectorIn vector;
    vector.Cursor = cursor;
    if (limit == 0) {
        return static_cast<ISC_LONG>(
            Forward<TCallId::isc_interprete>(0, TTextOut(buffer, limit), vector));
    }
    return static_cast<ISC_LONG>(
        Forward<TCallId::fb_interpret>(0, TTextOut(buffer, limit), vector));
}

void NotForwarded(const char* name) {
    std::fprintf(stderr, "client bridge: %s is not forwarded\n", name);
}

ISC_STATUS Refuse(ISC_STATUS* status, const char* name) {
    if (status != nullptr) {
        WriteVector(
            {{isc_arg_gds, isc_wish_list, {}},
             {isc_arg_gds, isc_random, {}},
             {isc_arg_string, 0, std::string(name) + " is not forwarded by the client bridge"}},
            status, CallerVectorWords, KeepCallerText);
        return status[1];
    }
    return isc_wish_list;
}

} // namespace

const char* KeepCallerText(const std::string& utf8) {
    // Texts in status vectors stay valid after the call, as the client keeps them in a circular
    // buffer of each thread; 64 texts is more than seven full vectors.
    // A plain pointer: no destructor of the DLL runs at a thread's or the process's end.
    thread_local std::array<std::string, 64>* ring = nullptr;
    thread_local std::size_t next = 0;
    if (ring == nullptr) {
        ring = new std::array<std::string, 64>;
    }
    std::string& slot = (*ring)[next++ % ring->size()];
    slot = Utf8ToAnsi(utf8);
    return slot.c_str();
}

void TakeStatus(ISC_STATUS* caller, const std::vector<TClump>& clumps) {
    if (caller != nullptr) {
        WriteVector(clumps, caller, CallerVectorWords, KeepCallerText);
    }
}

void TTextOut::Take(TReader& in) const {
    const std::string text = Utf8ToAnsi(in.Bytes());
    if (in.Ok()) {
        PutLocalText(Caller, Limit, text);
    }
}

// An attach's (or a create's) database string and parameter block as the Windows client sends
// them on: in UTF-8 unless the block says they are, with the file name for the server.
void ConvertAttach(TBytesIn& path, TBytesIn& block) {
    if (!HasUtf8FileName(block.Sent)) {
        ConvertWith(path, ServerDatabaseString(AnsiToUtf8(path.Sent)));
        ConvertWith(block, ConvertDpbStrings(block.Sent));
    } else if (const std::string server = ServerDatabaseString(path.Sent); server != path.Sent) {
        ConvertWith(path, server);
    }
    NoteHost(path.Caller());
}

} // namespace bridge

using namespace bridge;

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_attach_database(ISC_STATUS* status, short nameLength,
                                                        const ISC_SCHAR* name,
                                                        isc_db_handle* handle, short dpbLength,
                                                        const ISC_SCHAR* dpb) {
    TBytesIn path = Text(name, U16(nameLength));
    TBytesIn block = Bytes(dpb, U16(dpbLength));
    ConvertAttach(path, block);
    return Forward<TCallId::isc_attach_database>(0, TStatus(status), path, THandle(handle), block);
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_create_database(ISC_STATUS* status, short nameLength,
                                                        const ISC_SCHAR* name,
                                                        isc_db_handle* handle, short dpbLength,
                                                        const ISC_SCHAR* dpb, short type) {
    TBytesIn path = Text(name, U16(nameLength));
    TBytesIn block = Bytes(dpb, U16(dpbLength));
    ConvertAttach(path, block);
    return Forward<TCallId::isc_create_database>(0, TStatus(status), path, THandle(handle), block,
                                                 TInt(type));
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_detach_database(ISC_STATUS* status, isc_db_handle* handle) {
    return Forward<TCallId::isc_detach_database>(0, TStatus(status), THandle(handle));
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_drop_database(ISC_STATUS* status, isc_db_handle* handle) {
    return Forward<TCallId::isc_drop_database>(0, TStatus(status), THandle(handle));
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_database_info(ISC_STATUS* status, isc_db_handle* handle,
                                                      short itemsLength, const ISC_SCHAR* items,
                                                      short bufferLength, ISC_SCHAR* buffer) {
    return Forward<TCallId::isc_database_info>(0, TStatus(status), THandle(handle),
                                               Bytes(items, U16(itemsLength)),
                                               TBufferOut(buffer, U16(bufferLength)));
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT
isc_service_attach(ISC_STATUS* status, unsigned short nameLength, const ISC_SCHAR* name,
                   isc_svc_handle* handle, unsigned short spbLength, const ISC_SCHAR* spb) {
    TBytesIn service = Text(name, nameLength);
    NoteHost(service.Sent);
    TBytesIn block = Bytes(spb, spbLength);
    ConvertWith(block, ConvertSpbStrings(block.Sent));
    return Forward<TCallId::isc_service_attach>(0, TStatus(status), service, THandle(handle),
                                                block);
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_service_detach(ISC_STATUS* status, isc_svc_handle* handle) {
    return Forward<TCallId::isc_service_detach>(0, TStatus(status), THandle(handle));
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_service_start(ISC_STATUS* status, isc_svc_handle* handle,
                                                      isc_resv_handle* /* reserved, null */,
                                                      unsigned short requestLength,
                                                      const ISC_SCHAR* request) {
    TBytesIn bytes = Bytes(request, requestLength);
    ConvertWith(bytes, ConvertServiceRequest(bytes.Sent));
    return Forward<TCallId::isc_service_start>(0, TStatus(status), THandle(handle),
                                               THandle(nullptr), bytes);
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT
isc_service_query(ISC_STATUS* status, isc_svc_handle* handle, isc_resv_handle* /* reserved, null */,
                  unsigned short sendLength, const ISC_SCHAR* send, unsigned short requestLength,
                  const ISC_SCHAR* request, unsigned short bufferLength, ISC_SCHAR* buffer) {
    return Forward<TCallId::isc_service_query>(
        0, TStatus(status), THandle(handle), THandle(nullptr), Bytes(send, sendLength),
        Bytes(request, requestLength), TBufferOut(buffer, bufferLength));
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_start_multiple(ISC_STATUS* status,
                                                       isc_tr_handle* transaction, short count,
                                                       void* blocks) {
    return Forward<TCallId::isc_start_multiple>(
        0, TStatus(status), THandle(transaction),
        TTeb(static_cast<const TTeb::TBlock*>(blocks), count));
}

#define BRIDGE_TRANSACTION_CALL(name)                                                              \
    BRIDGE_EXPORT ISC_STATUS ISC_EXPORT name(ISC_STATUS* status, isc_tr_handle* transaction) {     \
        return Forward<TCallId::name>(0, TStatus(status), THandle(transaction));                   \
    }
BRIDGE_TRANSACTION_CALL(isc_commit_transaction)
BRIDGE_TRANSACTION_CALL(isc_commit_retaining)
BRIDGE_TRANSACTION_CALL(isc_rollback_transaction)
BRIDGE_TRANSACTION_CALL(isc_rollback_retaining)
#undef BRIDGE_TRANSACTION_CALL

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_dsql_allocate_statement(ISC_STATUS* status,
                                                                isc_db_handle* database,
                                                                isc_stmt_handle* statement) {
    return Forward<TCallId::isc_dsql_allocate_statement>(0, TStatus(status), THandle(database),
                                                         THandle(statement));
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_dsql_alloc_statement2(ISC_STATUS* status,
                                                              isc_db_handle* database,
                                                              isc_stmt_handle* statement) {
    return Forward<TCallId::isc_dsql_alloc_statement2>(0, TStatus(status), THandle(database),
                                                       THandle(statement));
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_dsql_prepare(ISC_STATUS* status, isc_tr_handle* transaction,
                                                     isc_stmt_handle* statement,
                                                     unsigned short length, const ISC_SCHAR* sql,
                                                     unsigned short dialect, XSQLDA* sqlda) {
    return Forward<TCallId::isc_dsql_prepare>(0, TStatus(status), THandle(transaction),
                                              THandle(statement), Text(sql, length), TInt(dialect),
                                              TSqldaDescribe(sqlda));
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_dsql_describe(ISC_STATUS* status,
                                                      isc_stmt_handle* statement,
                                                      unsigned short dialect, XSQLDA* sqlda) {
    return Forward<TCallId::isc_dsql_describe>(0, TStatus(status), THandle(statement),
                                               TInt(dialect), TSqldaDescribe(sqlda));
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_dsql_describe_bind(ISC_STATUS* status,
                                                           isc_stmt_handle* statement,
                                                           unsigned short dialect, XSQLDA* sqlda) {
    return Forward<TCallId::isc_dsql_describe_bind>(0, TStatus(status), THandle(statement),
                                                    TInt(dialect), TSqldaDescribe(sqlda));
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_dsql_execute(ISC_STATUS* status, isc_tr_handle* transaction,
                                                     isc_stmt_handle* statement,
                                                     unsigned short dialect, const XSQLDA* in) {
    return Forward<TCallId::isc_dsql_execute>(0, TStatus(status), THandle(transaction),
                                              THandle(statement), TInt(dialect),
                                              TSqldaIn(const_cast<XSQLDA*>(in)));
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_dsql_execute2(ISC_STATUS* status,
                                                      isc_tr_handle* transaction,
                                                      isc_stmt_handle* statement,
                                                      unsigned short dialect, const XSQLDA* in,
                                                      const XSQLDA* out) {
    return Forward<TCallId::isc_dsql_execute2>(
        0, TStatus(status), THandle(transaction), THandle(statement), TInt(dialect),
        TSqldaIn(const_cast<XSQLDA*>(in)), TSqldaOut(const_cast<XSQLDA*>(out)));
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_dsql_fetch(ISC_STATUS* status, isc_stmt_handle* statement,
                                                   unsigned short dialect, const XSQLDA* out) {
    return Forward<TCallId::isc_dsql_fetch>(0, TStatus(status), THandle(statement), TInt(dialect),
                                            TSqldaOut(const_cast<XSQLDA*>(out)));
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_dsql_free_statement(ISC_STATUS* status,
                                                            isc_stmt_handle* statement,
                                                            unsigned short option) {
    return Forward<TCallId::isc_dsql_free_statement>(0, TStatus(status), THandle(statement),
                                                     TInt(option));
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_dsql_sql_info(ISC_STATUS* status,
                                                      isc_stmt_handle* statement, short itemsLength,
                                                      const ISC_SCHAR* items, short bufferLength,
                                                      ISC_SCHAR* buffer) {
    return Forward<TCallId::isc_dsql_sql_info>(0, TStatus(status), THandle(statement),
                                               Bytes(items, U16(itemsLength)),
                                               TBufferOut(buffer, U16(bufferLength)));
}

BRIDGE_EXPORT ISC_STATUS ISC_EXPORT isc_dsql_execute_immediate(
    ISC_STATUS* status, isc_db_handle* database, isc_tr_handle* transaction, unsigned short length,
    const ISC_SCHAR* sql, unsigned short dialect, const XSQLDA* in) {
    return Forward<TCallId::isc_dsql_execute_immediate>(
        0, TStatus(status), THandle(database), THandle(transaction), Text(sql, length),
        TInt(dialect), TSqldaIn(const_cast<XSQLDA*>(in)));
}

BRIDGE_EXPORT ISC_LONG ISC_EXPORT isc_sqlcode(const ISC_STATUS* status) {
    if (status == nullptr) {
        return 0;
    }
    for (const ISC_STATUS* at = status; at < status + MaxVectorWords && *at != isc_arg_end;
         at += ClumpWords(*at)) {
        if (*at == isc_arg_gds && at[1] != 0) {
            if (const TLocalText* local = LocalText(at)) {
                return local->SqlCode;
            }
            break;
        }
    }
    TVectorIn vector;
    vector.Caller = status;
    return static_cast<ISC_LONG>(Forward<TCallId::isc_sqlcode>(-902, vector));
}

BRIDGE_EXPORT ISC_LONG ISC_EXPORT isc_interprete(ISC_SCHAR* buffer, ISC_STATUS** cursor) {
    return Interpret(buffer, 0, const_cast<const ISC_STATUS**>(cursor));
}

BRIDGE_EXPORT ISC_LONG ISC_EXPORT fb_interpret(ISC_SCHAR* buffer, unsigned int size,
                                               const ISC_STATUS** cursor) {
    return size == 0 ? 0 : Interpret(buffer, size, cursor);
}

BRIDGE_EXPORT void ISC_EXPORT isc_sql_interprete(short sqlcode, ISC_SCHAR* buffer, short length) {
    if (buffer == nullptr || length <= 0) {
        return;
    }
    buffer[0] = '\0';
    Forward<TCallId::isc_sql_interprete>(0, TInt(sqlcode),
                                         TTextOut(buffer, static_cast<std::uint32_t>(length)));
}

// Computed here, as the client computes them: little-endian, the last byte signed.
BRIDGE_EXPORT ISC_LONG ISC_EXPORT isc_vax_integer(const ISC_SCHAR* data, short length) {
    if (data == nullptr || length <= 0 || length > 4) {
        return 0;
    }
    return static_cast<ISC_LONG>(
        isc_portable_integer(reinterpret_cast<const ISC_UCHAR*>(data), length));
}

BRIDGE_EXPORT ISC_INT64 ISC_EXPORT isc_portable_integer(const ISC_UCHAR* data, short length) {
    if (data == nullptr || length <= 0 || length > 8) {
        return 0;
    }
    std::uint64_t value = 0;
    for (short i = 0; i < length; ++i) {
        value |= static_cast<std::uint64_t>(data[i]) << (8 * i);
    }
    const int unused = 64 - 8 * length;
    return static_cast<ISC_INT64>(value << unused) >> unused;
}

// The bridge hands the caller no memory of its own to free (nothing that allocates is forwarded).
BRIDGE_EXPORT ISC_LONG ISC_EXPORT isc_free(ISC_SCHAR*) {
    return 0;
}

// Entry points that the layers require at load time but never call through the bridge: each
// fails with a status vector naming itself.
#define BRIDGE_REFUSED(X)                                                                          \
    X(isc_array_gen_sdl,                                                                           \
      (ISC_STATUS * status, const ISC_ARRAY_DESC*, ISC_SHORT*, ISC_UCHAR*, ISC_SHORT*))            \
    X(isc_array_get_slice, (ISC_STATUS * status, isc_db_handle*, isc_tr_handle*, ISC_QUAD*,        \
                            const ISC_ARRAY_DESC*, void*, ISC_LONG*))                              \
    X(isc_array_lookup_bounds, (ISC_STATUS * status, isc_db_handle*, isc_tr_handle*,               \
                                const ISC_SCHAR*, const ISC_SCHAR*, ISC_ARRAY_DESC*))              \
    X(isc_array_lookup_desc, (ISC_STATUS * status, isc_db_handle*, isc_tr_handle*,                 \
                              const ISC_SCHAR*, const ISC_SCHAR*, ISC_ARRAY_DESC*))                \
    X(isc_array_put_slice, (ISC_STATUS * status, isc_db_handle*, isc_tr_handle*, ISC_QUAD*,        \
                            const ISC_ARRAY_DESC*, void*, ISC_LONG*))                              \
    X(isc_array_set_desc, (ISC_STATUS * status, const ISC_SCHAR*, const ISC_SCHAR*, const short*,  \
                           const short*, const short*, ISC_ARRAY_DESC*))                           \
    X(isc_blob_gen_bpb, (ISC_STATUS * status, const ISC_BLOB_DESC*, const ISC_BLOB_DESC*,          \
                         unsigned short, ISC_UCHAR*, unsigned short*))                             \
    X(isc_blob_info,                                                                               \
      (ISC_STATUS * status, isc_blob_handle*, short, const ISC_SCHAR*, short, ISC_SCHAR*))         \
    X(isc_blob_lookup_desc, (ISC_STATUS * status, isc_db_handle*, isc_tr_handle*,                  \
                             const ISC_UCHAR*, const ISC_UCHAR*, ISC_BLOB_DESC*, ISC_UCHAR*))      \
    X(isc_blob_set_desc, (ISC_STATUS * status, const ISC_UCHAR*, const ISC_UCHAR*, short, short,   \
                          short, ISC_BLOB_DESC*))                                                  \
    X(isc_cancel_blob, (ISC_STATUS * status, isc_blob_handle*))                                    \
    X(isc_cancel_events, (ISC_STATUS * status, isc_db_handle*, ISC_LONG*))                         \
    X(isc_close_blob, (ISC_STATUS * status, isc_blob_handle*))                                     \
    X(isc_compile_request,                                                                         \
      (ISC_STATUS * status, isc_db_handle*, isc_req_handle*, short, const ISC_SCHAR*))             \
    X(isc_compile_request2,                                                                        \
      (ISC_STATUS * status, isc_db_handle*, isc_req_handle*, short, const ISC_SCHAR*))             \
    X(isc_create_blob,                                                                             \
      (ISC_STATUS * status, isc_db_handle*, isc_tr_handle*, isc_blob_handle*, ISC_QUAD*))          \
    X(isc_create_blob2, (ISC_STATUS * status, isc_db_handle*, isc_tr_handle*, isc_blob_handle*,    \
                         ISC_QUAD*, short, const ISC_SCHAR*))                                      \
    X(isc_dsql_exec_immed2, (ISC_STATUS * status, isc_db_handle*, isc_tr_handle*, unsigned short,  \
                             const ISC_SCHAR*, unsigned short, const XSQLDA*, const XSQLDA*))      \
    X(isc_dsql_set_cursor_name,                                                                    \
      (ISC_STATUS * status, isc_stmt_handle*, const ISC_SCHAR*, unsigned short))                   \
    X(isc_get_segment,                                                                             \
      (ISC_STATUS * status, isc_blob_handle*, unsigned short*, unsigned short, ISC_SCHAR*))        \
    X(isc_get_slice, (ISC_STATUS * status, isc_db_handle*, isc_tr_handle*, ISC_QUAD*, short,       \
                      const ISC_SCHAR*, short, const ISC_LONG*, ISC_LONG, void*, ISC_LONG*))       \
    X(isc_open_blob,                                                                               \
      (ISC_STATUS * status, isc_db_handle*, isc_tr_handle*, isc_blob_handle*, ISC_QUAD*))          \
    X(isc_open_blob2, (ISC_STATUS * status, isc_db_handle*, isc_tr_handle*, isc_blob_handle*,      \
                       ISC_QUAD*, ISC_USHORT, const ISC_UCHAR*))                                   \
    X(isc_prepare_transaction, (ISC_STATUS * status, isc_tr_handle*))                              \
    X(isc_prepare_transaction2,                                                                    \
      (ISC_STATUS * status, isc_tr_handle*, ISC_USHORT, const ISC_UCHAR*))                         \
    X(isc_put_segment, (ISC_STATUS * status, isc_blob_handle*, unsigned short, const ISC_SCHAR*))  \
    X(isc_put_slice, (ISC_STATUS * status, isc_db_handle*, isc_tr_handle*, ISC_QUAD*, short,       \
                      const ISC_SCHAR*, short, const ISC_LONG*, ISC_LONG, void*))                  \
    X(isc_que_events, (ISC_STATUS * status, isc_db_handle*, ISC_LONG*, short, const ISC_UCHAR*,    \
                       ISC_EVENT_CALLBACK, void*))                                                 \
    X(isc_receive, (ISC_STATUS * status, isc_req_handle*, short, short, void*, short))             \
    X(isc_release_request, (ISC_STATUS * status, isc_req_handle*))                                 \
    X(isc_send, (ISC_STATUS * status, isc_req_handle*, short, short, const void*, short))          \
    X(isc_start_and_send,                                                                          \
      (ISC_STATUS * status, isc_req_handle*, isc_tr_handle*, short, short, const void*, short))    \
    X(isc_start_request, (ISC_STATUS * status, isc_req_handle*, isc_tr_handle*, short))            \
    X(isc_transact_request, (ISC_STATUS * status, isc_db_handle*, isc_tr_handle*, unsigned short,  \
                             ISC_SCHAR*, unsigned short, ISC_SCHAR*, unsigned short, ISC_SCHAR*))  \
    X(isc_transaction_info,                                                                        \
      (ISC_STATUS * status, isc_tr_handle*, short, const ISC_SCHAR*, short, ISC_SCHAR*))           \
    X(isc_unwind_request, (ISC_STATUS * status, isc_tr_handle*, short))                            \
    X(isc_add_user, (ISC_STATUS * status, const USER_SEC_DATA*))                                   \
    X(isc_delete_user, (ISC_STATUS * status, const USER_SEC_DATA*))                                \
    X(isc_modify_user, (ISC_STATUS * status, const USER_SEC_DATA*))

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#define BRIDGE_REFUSE(name, parameters)                                                            \
    BRIDGE_EXPORT ISC_STATUS ISC_EXPORT name parameters {                                          \
        return Refuse(status, #name);                                                              \
    }
BRIDGE_REFUSED(BRIDGE_REFUSE)
#undef BRIDGE_REFUSE
#pragma GCC diagnostic pop

// The entry points without a status vector have no way to fail: they say so on the standard
// error stream and leave their outputs untouched.
#define BRIDGE_SILENT(name, parameters)                                                            \
    BRIDGE_EXPORT void ISC_EXPORT name parameters {                                                \
        NotForwarded(#name);                                                                       \
    }
BRIDGE_SILENT(isc_blob_default_desc, (ISC_BLOB_DESC*, const ISC_UCHAR*, const ISC_UCHAR*))
BRIDGE_SILENT(isc_decode_date, (const ISC_QUAD*, void*))
BRIDGE_SILENT(isc_decode_sql_date, (const ISC_DATE*, void*))
BRIDGE_SILENT(isc_decode_sql_time, (const ISC_TIME*, void*))
BRIDGE_SILENT(isc_decode_timestamp, (const ISC_TIMESTAMP*, void*))
BRIDGE_SILENT(isc_encode_date, (const void*, ISC_QUAD*))
BRIDGE_SILENT(isc_encode_sql_date, (const void*, ISC_DATE*))
BRIDGE_SILENT(isc_encode_sql_time, (const void*, ISC_TIME*))
BRIDGE_SILENT(isc_encode_timestamp, (const void*, ISC_TIMESTAMP*))
BRIDGE_SILENT(isc_event_counts, (ISC_ULONG*, short, ISC_UCHAR*, const ISC_UCHAR*))
#undef BRIDGE_SILENT

BRIDGE_EXPORT ISC_LONG ISC_EXPORT_VARARG isc_event_block(ISC_UCHAR**, ISC_UCHAR**, ISC_USHORT,
                                                         ...) {
    NotForwarded("isc_event_block");
    return 0;
}

BRIDGE_EXPORT int ISC_EXPORT BLOB_get(FB_BLOB_STREAM) {
    NotForwarded("BLOB_get");
    return EOF;
}

BRIDGE_EXPORT int ISC_EXPORT BLOB_put(ISC_SCHAR, FB_BLOB_STREAM) {
    NotForwarded("BLOB_put");
    return 0;
}
