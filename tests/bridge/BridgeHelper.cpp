// The Linux side of the client bridge: listens on 127.0.0.1, forks a child for each connection
// (one per Windows process), and the child loads the real libfbclient.so.2 and makes every
// forwarded call on it, so each Windows process has its own client state and everything it left
// attached goes when its connection closes. Test-only; docs/client-bridge.md.
//
//   client-bridge-helper [--port N] [--record FILE] [--fault MODE]
//
// The port defaults to UPDATER_BRIDGE_PORT, then to bridge::DefaultPort; the record file and the
// fault mode to UPDATER_BRIDGE_RECORD and UPDATER_BRIDGE_FAULT. A caller may name its own of
// either for its connection. Fault modes (test-only) act on the calls of one entry point, or of
// every one with * for NAME:
//   break:NAME     the reply is cut in the middle and the connection closed
//   stall:NAME     no reply at all (the caller's timeout ends the call)
//   strings:NAME   the status vector comes back with 40 text clumps
//   oversize:NAME  reply buffers and texts come back 64 bytes longer than asked for
#include "tests/bridge/BridgeProtocol.h"
#include "tests/bridge/BridgeRecord.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace bridge {
namespace {

struct TOptions {
    std::uint16_t Port = DefaultPort;
    std::string Record;
    std::string Fault;
};

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool WriteAll(int socket, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = send(socket, data, size, MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool ReadAll(int socket, char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t got = recv(socket, data, size, 0);
        if (got <= 0) {
            return false;
        }
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool ReadMessage(int socket, std::string& message) {
    char header[4];
    if (!ReadAll(socket, header, sizeof header)) {
        return false;
    }
    TReader in(std::string_view(header, sizeof header));
    const std::uint32_t size = in.U32();
    if (size > MaxMessage) {
        return false;
    }
    message.assign(size, '\0');
    return ReadAll(socket, message.data(), size);
}

std::string Frame(const std::string& message) {
    TWriter frame;
    frame.U32(static_cast<std::uint32_t>(message.size()));
    return frame.Data + message;
}

using bridge_record::Escaped;

// A Windows path of the caller (Z:\...) names the same file as its Linux path.
std::string LinuxPath(std::string path) {
    if (path.size() >= 2 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':') {
        path.erase(0, 2);
        for (char& c : path) {
            c = c == '\\' ? '/' : c;
        }
    }
    return path;
}

class TSession {
public:
    TSession(int socket, TOptions options) : Socket_(socket), Options_(std::move(options)) {}

    // Serves requests until the caller closes the connection (or a fault mode closes it).
    void Run() {
        std::string request;
        while (ReadMessage(Socket_, request)) {
            TReader in(request);
            const std::uint32_t id = in.U32();
            const char* name = CallName(id);
            if (!in.Ok() || name == nullptr) {
                return;
            }
            if (Faulty("stall", name)) {
                // Holds the request unanswered until the caller gives up and closes.
                char byte;
                while (recv(Socket_, &byte, 1, 0) > 0) {
                }
                return;
            }
            TWriter out;
            if (!Dispatch(static_cast<TCallId>(id), in, out) || !in.Ok() || !in.AtEnd()) {
                return;
            }
            const std::string reply = Frame(out.Data);
            if (Faulty("break", name)) {
                WriteAll(Socket_, reply.data(), reply.size() / 2);
                return;
            }
            if (!WriteAll(Socket_, reply.data(), reply.size())) {
                return;
            }
        }
    }

private:
    // The fault mode names a mode and an entry point, or * for every one (the opening of the
    // connection is never faulty).
    bool Faulty(const std::string& mode, const std::string& name) const {
        return Fault_ == mode + ":" + name || (Fault_ == mode + ":*" && name != "hello");
    }

    template <typename F> F Real(const char* name) {
        if (Library_ == nullptr) {
            Library_ = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_LOCAL);
            if (Library_ == nullptr) {
                std::fprintf(stderr, "client bridge helper: %s\n", dlerror());
                std::exit(1);
            }
        }
        void* symbol = dlsym(Library_, name);
        if (symbol == nullptr) {
            std::fprintf(stderr, "client bridge helper: no %s in libfbclient.so.2\n", name);
            std::exit(1);
        }
        return reinterpret_cast<F>(symbol);
    }

    bool Hello(TReader& in, TWriter& out) {
        const std::uint32_t version = in.U32();
        in.U32(); // the caller's pointer size: nothing depends on it
        const std::string fault = in.Bytes();
        const std::string record = in.Bytes();
        if (!in.Ok() || version != ProtocolVersion) {
            return false;
        }
        Fault_ = fault.empty() ? Options_.Fault : fault;
        RecordPath_ = LinuxPath(record.empty() ? Options_.Record : record);
        out.I64(0);
        return true;
    }

    // Reads the kinds of `Id`, makes the call, applies the fault mode, writes the reply and,
    // for the calls that carry parameter blocks, requests and paths, the record.
    template <TCallId Id, typename Call, typename Record>
    bool Serve(TReader& in, TWriter& out, Call call, Record record) {
        typename TKinds<Id>::Type kinds;
        const bool read = std::apply([&](auto&... kind) { return (kind.Get(in) && ...); }, kinds);
        if (!read || !in.AtEnd()) {
            return false;
        }
        std::int64_t result = std::apply(call, kinds);
        const std::string name = TKinds<Id>::Name;
        std::apply([&](auto&... kind) { (ApplyFault(name, kind, result), ...); }, kinds);
        out.I64(result);
        std::apply([&](auto&... kind) { (kind.PutBack(out), ...); }, kinds);
        std::apply([&](auto&... kind) { WriteRecord(name, result, record(kind...)); }, kinds);
        return true;
    }

    template <typename K> void ApplyFault(const std::string& name, K& kind, std::int64_t& result) {
        if constexpr (std::is_same_v<K, TStatus>) {
            if (Faulty("strings", name)) {
                kind.Injected.push_back({isc_arg_gds, isc_random, {}});
                for (int i = 1; i <= 40; ++i) {
                    kind.Injected.push_back(
                        {isc_arg_string, 0,
                         "bridge fault text " + std::to_string(i) + " \xC3\xA9"});
                    kind.Injected.push_back({isc_arg_gds, isc_random, {}});
                }
                kind.Injected.push_back({isc_arg_string, 0, "last"});
                result = isc_random;
            }
        } else if constexpr (std::is_same_v<K, TBufferOut> || std::is_same_v<K, TTextOut>) {
            if (Faulty("oversize", name)) {
                kind.Oversize = 64;
            }
        }
    }

    // One line per recorded call, appended with one write so that the lines of several
    // connections never mix: helper pid, entry point, result, then the fields, tab-separated.
    void WriteRecord(const std::string& name, std::int64_t result,
                     const std::optional<std::vector<std::string>>& fields) {
        if (RecordPath_.empty() || !fields) {
            return;
        }
        std::string line = std::to_string(getpid()) + '\t' + name + '\t' + std::to_string(result);
        for (const std::string& field : *fields) {
            line += '\t' + Escaped(field);
        }
        line += '\n';
        const int file = open(RecordPath_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (file >= 0) {
            if (write(file, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
                std::fprintf(stderr, "client bridge helper: record %s cut short\n",
                             RecordPath_.c_str());
            }
            close(file);
        }
    }

    bool Dispatch(TCallId id, TReader& in, TWriter& out);

    int Socket_;
    TOptions Options_;
    std::string Fault_;
    std::string RecordPath_;
    void* Library_ = nullptr;
};

// The service calls' reserved argument: always null (the caller's side sends none).
isc_resv_handle* ReservedNone(const THandle&) {
    return nullptr;
}

// Calls that are not recorded.
const auto None = [](auto&...) { return std::optional<std::vector<std::string>>(); };

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
bool TSession::Dispatch(TCallId id, TReader& in, TWriter& out) {
#define REAL(name) Real<decltype(&::name)>(#name)
    switch (id) {
    case TCallId::Hello:
        return Hello(in, out);
    case TCallId::isc_attach_database:
        return Serve<TCallId::isc_attach_database>(
            in, out,
            [&](TStatus& s, TBytesIn& path, THandle& h, TBytesIn& dpb) {
                return REAL(isc_attach_database)(s.Vector, static_cast<short>(path.Sent.size()),
                                                 path.Data(), h.Ptr(),
                                                 static_cast<short>(dpb.Sent.size()), dpb.Data());
            },
            [](TStatus&, TBytesIn& path, THandle&, TBytesIn& dpb) {
                return std::vector<std::string>{path.Sent, dpb.Sent, path.Caller(), dpb.Caller()};
            });
    case TCallId::isc_create_database:
        return Serve<TCallId::isc_create_database>(
            in, out,
            [&](TStatus& s, TBytesIn& path, THandle& h, TBytesIn& dpb, TInt& type) {
                return REAL(isc_create_database)(s.Vector, static_cast<short>(path.Sent.size()),
                                                 path.Data(), h.Ptr(),
                                                 static_cast<short>(dpb.Sent.size()), dpb.Data(),
                                                 static_cast<short>(type.Value));
            },
            [](TStatus&, TBytesIn& path, THandle&, TBytesIn& dpb, TInt&) {
                return std::vector<std::string>{path.Sent, dpb.Sent, path.Caller(), dpb.Caller()};
            });
    case TCallId::isc_detach_database:
        return Serve<TCallId::isc_detach_database>(
            in, out,
            [&](TStatus& s, THandle& h) { return REAL(isc_detach_database)(s.Vector, h.Ptr()); },
            [](auto&...) { return std::vector<std::string>{}; });
    case TCallId::isc_drop_database:
        return Serve<TCallId::isc_drop_database>(
            in, out,
            [&](TStatus& s, THandle& h) { return REAL(isc_drop_database)(s.Vector, h.Ptr()); },
            None);
    case TCallId::isc_database_info:
        return Serve<TCallId::isc_database_info>(
            in, out,
            [&](TStatus& s, THandle& h, TBytesIn& items, TBufferOut& buffer) {
                return REAL(isc_database_info)(
                    s.Vector, h.Ptr(), static_cast<short>(items.Sent.size()), items.Data(),
                    static_cast<short>(buffer.Buffer.size()), buffer.Data());
            },
            [](TStatus&, THandle&, TBytesIn& items, TBufferOut& buffer) {
                return std::vector<std::string>{items.Sent, std::to_string(buffer.Buffer.size()),
                                                buffer.Buffer};
            });
    case TCallId::isc_service_attach:
        return Serve<TCallId::isc_service_attach>(
            in, out,
            [&](TStatus& s, TBytesIn& name, THandle& h, TBytesIn& spb) {
                return REAL(isc_service_attach)(
                    s.Vector, static_cast<unsigned short>(name.Sent.size()), name.Data(), h.Ptr(),
                    static_cast<unsigned short>(spb.Sent.size()), spb.Data());
            },
            [](TStatus&, TBytesIn& name, THandle&, TBytesIn& spb) {
                return std::vector<std::string>{name.Sent, spb.Sent};
            });
    case TCallId::isc_service_detach:
        return Serve<TCallId::isc_service_detach>(
            in, out,
            [&](TStatus& s, THandle& h) { return REAL(isc_service_detach)(s.Vector, h.Ptr()); },
            [](auto&...) { return std::vector<std::string>{}; });
    case TCallId::isc_service_start:
        return Serve<TCallId::isc_service_start>(
            in, out,
            [&](TStatus& s, THandle& h, THandle& reserved, TBytesIn& request) {
                return REAL(isc_service_start)(s.Vector, h.Ptr(), ReservedNone(reserved),
                                               static_cast<unsigned short>(request.Sent.size()),
                                               request.Data());
            },
            [](TStatus&, THandle&, THandle&, TBytesIn& request) {
                return std::vector<std::string>{request.Sent, request.Caller()};
            });
    case TCallId::isc_service_query:
        return Serve<TCallId::isc_service_query>(
            in, out,
            [&](TStatus& s, THandle& h, THandle& reserved, TBytesIn& send, TBytesIn& request,
                TBufferOut& buffer) {
                return REAL(isc_service_query)(
                    s.Vector, h.Ptr(), ReservedNone(reserved),
                    static_cast<unsigned short>(send.Sent.size()), send.Data(),
                    static_cast<unsigned short>(request.Sent.size()), request.Data(),
                    static_cast<unsigned short>(buffer.Buffer.size()), buffer.Data());
            },
            [](TStatus&, THandle&, THandle&, TBytesIn& send, TBytesIn& request,
               TBufferOut& buffer) {
                return std::vector<std::string>{
                    send.Sent, request.Sent, std::to_string(buffer.Buffer.size()), buffer.Buffer};
            });
    case TCallId::isc_start_multiple:
        return Serve<TCallId::isc_start_multiple>(
            in, out,
            [&](TStatus& s, THandle& h, TTeb& teb) {
                return REAL(isc_start_multiple)(s.Vector, h.Ptr(), teb.CountShort(), teb.Data());
            },
            None);
#define BRIDGE_SERVE_TRANSACTION(name)                                                             \
    case TCallId::name:                                                                            \
        return Serve<TCallId::name>(                                                               \
            in, out, [&](TStatus& s, THandle& h) { return REAL(name)(s.Vector, h.Ptr()); }, None);
        BRIDGE_SERVE_TRANSACTION(isc_commit_transaction)
        BRIDGE_SERVE_TRANSACTION(isc_commit_retaining)
        BRIDGE_SERVE_TRANSACTION(isc_rollback_transaction)
        BRIDGE_SERVE_TRANSACTION(isc_rollback_retaining)
#undef BRIDGE_SERVE_TRANSACTION
    case TCallId::isc_dsql_allocate_statement:
        return Serve<TCallId::isc_dsql_allocate_statement>(
            in, out,
            [&](TStatus& s, THandle& db, THandle& statement) {
                return REAL(isc_dsql_allocate_statement)(s.Vector, db.Ptr(), statement.Ptr());
            },
            None);
    case TCallId::isc_dsql_alloc_statement2:
        return Serve<TCallId::isc_dsql_alloc_statement2>(
            in, out,
            [&](TStatus& s, THandle& db, THandle& statement) {
                return REAL(isc_dsql_alloc_statement2)(s.Vector, db.Ptr(), statement.Ptr());
            },
            None);
    case TCallId::isc_dsql_prepare:
        return Serve<TCallId::isc_dsql_prepare>(
            in, out,
            [&](TStatus& s, THandle& tr, THandle& statement, TBytesIn& sql, TInt& dialect,
                TSqldaDescribe& da) {
                return REAL(isc_dsql_prepare)(
                    s.Vector, tr.Ptr(), statement.Ptr(),
                    static_cast<unsigned short>(sql.Sent.size()), sql.Data(),
                    static_cast<unsigned short>(dialect.Value), da.Data());
            },
            None);
    case TCallId::isc_dsql_describe:
        return Serve<TCallId::isc_dsql_describe>(
            in, out,
            [&](TStatus& s, THandle& statement, TInt& dialect, TSqldaDescribe& da) {
                return REAL(isc_dsql_describe)(s.Vector, statement.Ptr(),
                                               static_cast<unsigned short>(dialect.Value),
                                               da.Data());
            },
            None);
    case TCallId::isc_dsql_describe_bind:
        return Serve<TCallId::isc_dsql_describe_bind>(
            in, out,
            [&](TStatus& s, THandle& statement, TInt& dialect, TSqldaDescribe& da) {
                return REAL(isc_dsql_describe_bind)(s.Vector, statement.Ptr(),
                                                    static_cast<unsigned short>(dialect.Value),
                                                    da.Data());
            },
            None);
    case TCallId::isc_dsql_execute:
        return Serve<TCallId::isc_dsql_execute>(
            in, out,
            [&](TStatus& s, THandle& tr, THandle& statement, TInt& dialect, TSqldaIn& da) {
                return REAL(isc_dsql_execute)(s.Vector, tr.Ptr(), statement.Ptr(),
                                              static_cast<unsigned short>(dialect.Value),
                                              da.Data());
            },
            None);
    case TCallId::isc_dsql_execute2:
        return Serve<TCallId::isc_dsql_execute2>(
            in, out,
            [&](TStatus& s, THandle& tr, THandle& statement, TInt& dialect, TSqldaIn& input,
                TSqldaOut& output) {
                return REAL(isc_dsql_execute2)(s.Vector, tr.Ptr(), statement.Ptr(),
                                               static_cast<unsigned short>(dialect.Value),
                                               input.Data(), output.Data());
            },
            None);
    case TCallId::isc_dsql_fetch:
        return Serve<TCallId::isc_dsql_fetch>(
            in, out,
            [&](TStatus& s, THandle& statement, TInt& dialect, TSqldaOut& da) {
                return REAL(isc_dsql_fetch)(s.Vector, statement.Ptr(),
                                            static_cast<unsigned short>(dialect.Value), da.Data());
            },
            None);
    case TCallId::isc_dsql_free_statement:
        return Serve<TCallId::isc_dsql_free_statement>(
            in, out,
            [&](TStatus& s, THandle& statement, TInt& option) {
                return REAL(isc_dsql_free_statement)(s.Vector, statement.Ptr(),
                                                     static_cast<unsigned short>(option.Value));
            },
            None);
    case TCallId::isc_dsql_sql_info:
        return Serve<TCallId::isc_dsql_sql_info>(
            in, out,
            [&](TStatus& s, THandle& statement, TBytesIn& items, TBufferOut& buffer) {
                return REAL(isc_dsql_sql_info)(
                    s.Vector, statement.Ptr(), static_cast<short>(items.Sent.size()), items.Data(),
                    static_cast<short>(buffer.Buffer.size()), buffer.Data());
            },
            None);
    case TCallId::isc_dsql_execute_immediate:
        return Serve<TCallId::isc_dsql_execute_immediate>(
            in, out,
            [&](TStatus& s, THandle& db, THandle& tr, TBytesIn& sql, TInt& dialect, TSqldaIn& da) {
                return REAL(isc_dsql_execute_immediate)(
                    s.Vector, db.Ptr(), tr.Ptr(), static_cast<unsigned short>(sql.Sent.size()),
                    sql.Data(), static_cast<unsigned short>(dialect.Value), da.Data());
            },
            None);
    case TCallId::isc_sqlcode:
        return Serve<TCallId::isc_sqlcode>(
            in, out, [&](TVectorIn& vector) { return REAL(isc_sqlcode)(vector.Vector.data()); },
            None);
    case TCallId::isc_interprete:
        return Serve<TCallId::isc_interprete>(
            in, out,
            [&](TTextOut& text, TVectorIn& vector) {
                auto* position = const_cast<ISC_STATUS*>(vector.Position);
                const ISC_LONG length = REAL(isc_interprete)(text.Data(), &position);
                vector.Position = position;
                return length;
            },
            None);
    case TCallId::fb_interpret:
        return Serve<TCallId::fb_interpret>(
            in, out,
            [&](TTextOut& text, TVectorIn& vector) {
                return REAL(fb_interpret)(text.Data(), static_cast<unsigned>(text.Buffer.size()),
                                          &vector.Position);
            },
            None);
    case TCallId::isc_sql_interprete:
        return Serve<TCallId::isc_sql_interprete>(
            in, out,
            [&](TInt& code, TTextOut& text) {
                REAL(isc_sql_interprete)
                (static_cast<short>(code.Value), text.Data(),
                 static_cast<short>(text.Buffer.size()));
                return 0;
            },
            None);
    }
#undef REAL
    return false;
}
#pragma GCC diagnostic pop

TOptions ParseOptions(int argc, char** argv) {
    TOptions options;
    if (const std::string port = Env("UPDATER_BRIDGE_PORT"); !port.empty()) {
        options.Port = static_cast<std::uint16_t>(std::stoul(port));
    }
    options.Record = Env("UPDATER_BRIDGE_RECORD");
    options.Fault = Env("UPDATER_BRIDGE_FAULT");
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--port") {
            options.Port = static_cast<std::uint16_t>(std::stoul(argv[i + 1]));
        } else if (option == "--record") {
            options.Record = argv[i + 1];
        } else if (option == "--fault") {
            options.Fault = argv[i + 1];
        } else {
            std::fprintf(stderr, "client bridge helper: unknown option %s\n", option.c_str());
            std::exit(2);
        }
    }
    return options;
}

} // namespace
} // namespace bridge

int main(int argc, char** argv) {
    using namespace bridge;
    const TOptions options = ParseOptions(argc, argv);
    // The real client reads the system's code page from the locale at its first call: the
    // texts that reach it are UTF-8.
    if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) {
        std::setlocale(LC_ALL, "");
    }
    // Children are reaped by the system; each ends with its connection.
    signal(SIGCHLD, SIG_IGN);
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options.Port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 64) != 0) {
        std::perror("client bridge helper: listen");
        return 1;
    }
    std::printf("client bridge helper listening on 127.0.0.1:%u\n", options.Port);
    std::fflush(stdout);
    const pid_t parent = getpid();
    for (;;) {
        const int connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            continue;
        }
        const pid_t child = fork();
        if (child == 0) {
            // The child ends with the helper, whatever its caller does.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) {
                _exit(0);
            }
            close(listener);
            const int noDelay = 1;
            setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
            TSession(connection, options).Run();
            close(connection);
            _exit(0);
        }
        close(connection);
    }
}
