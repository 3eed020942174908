// The recording client library. It is linked against the real client library, so every entry
// point that it does not define itself is found there when a layer resolves names through this
// library's handle; the entry points below record their arguments and forward to the real ones.
#include "tests/support/RecordingClient.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>

#include <ibase.h>

namespace {

using recording_client::TCall;

struct TState {
    std::mutex Lock;
    std::vector<TCall> Calls;
    std::optional<std::string> InjectedReply;
};

TState& State() {
    static TState state;
    return state;
}

// The real entry point; a missing one ends the test run, as nothing could be forwarded.
template <typename F> F Real(const char* name) {
    static void* library = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_LOCAL);
    void* symbol = library != nullptr ? dlsym(library, name) : nullptr;
    if (symbol == nullptr) {
        std::abort();
    }
    return reinterpret_cast<F>(symbol);
}

// Records one call around `forward`.
template <typename Forward>
ISC_STATUS Record(const char* name, std::vector<std::string> args, Forward forward) {
    TCall call{name, std::move(args), 0, std::chrono::steady_clock::now(), {}};
    call.Result = forward();
    call.End = std::chrono::steady_clock::now();
    TState& state = State();
    const std::lock_guard<std::mutex> guard(state.Lock);
    state.Calls.push_back(std::move(call));
    return static_cast<ISC_STATUS>(state.Calls.back().Result);
}

std::string Bytes(const char* data, std::size_t size) {
    return data == nullptr ? std::string() : std::string(data, size);
}

// A length of 0 means a NUL-terminated text, as the client reads it.
std::string Text(const char* data, std::size_t size) {
    if (data == nullptr) {
        return {};
    }
    return size == 0 ? std::string(data) : std::string(data, size);
}

} // namespace

extern "C" {

ISC_STATUS ISC_EXPORT isc_attach_database(ISC_STATUS* status, short nameLength,
                                          const ISC_SCHAR* name, isc_db_handle* handle,
                                          short dpbLength, const ISC_SCHAR* dpb) {
    return Record("isc_attach_database",
                  {Text(name, static_cast<unsigned short>(nameLength)),
                   Bytes(dpb, static_cast<unsigned short>(dpbLength))},
                  [&] {
                      return Real<decltype(&isc_attach_database)>("isc_attach_database")(
                          status, nameLength, name, handle, dpbLength, dpb);
                  });
}

ISC_STATUS ISC_EXPORT isc_detach_database(ISC_STATUS* status, isc_db_handle* handle) {
    return Record("isc_detach_database", {}, [&] {
        return Real<decltype(&isc_detach_database)>("isc_detach_database")(status, handle);
    });
}

ISC_STATUS ISC_EXPORT isc_database_info(ISC_STATUS* status, isc_db_handle* handle,
                                        short itemsLength, const ISC_SCHAR* items,
                                        short bufferLength, ISC_SCHAR* buffer) {
    const auto size = static_cast<unsigned short>(bufferLength);
    std::vector<std::string> args{Bytes(items, static_cast<unsigned short>(itemsLength)),
                                  std::to_string(size)};
    TCall call{"isc_database_info", {}, 0, std::chrono::steady_clock::now(), {}};
    call.Result = Real<decltype(&isc_database_info)>("isc_database_info")(
        status, handle, itemsLength, items, bufferLength, buffer);
    TState& state = State();
    const std::lock_guard<std::mutex> guard(state.Lock);
    if (state.InjectedReply && buffer != nullptr) {
        std::memcpy(buffer, state.InjectedReply->data(),
                    std::min<std::size_t>(size, state.InjectedReply->size()));
        state.InjectedReply.reset();
    }
    call.End = std::chrono::steady_clock::now();
    args.push_back(Bytes(buffer, size));
    call.Args = std::move(args);
    state.Calls.push_back(std::move(call));
    return static_cast<ISC_STATUS>(state.Calls.back().Result);
}

ISC_STATUS ISC_EXPORT isc_service_attach(ISC_STATUS* status, unsigned short nameLength,
                                         const ISC_SCHAR* name, isc_svc_handle* handle,
                                         unsigned short spbLength, const ISC_SCHAR* spb) {
    return Record("isc_service_attach", {Text(name, nameLength), Bytes(spb, spbLength)}, [&] {
        return Real<decltype(&isc_service_attach)>("isc_service_attach")(status, nameLength, name,
                                                                         handle, spbLength, spb);
    });
}

ISC_STATUS ISC_EXPORT isc_service_start(ISC_STATUS* status, isc_svc_handle* handle,
                                        isc_resv_handle* reserved, unsigned short requestLength,
                                        const ISC_SCHAR* request) {
    return Record("isc_service_start", {Bytes(request, requestLength)}, [&] {
        return Real<decltype(&isc_service_start)>("isc_service_start")(status, handle, reserved,
                                                                       requestLength, request);
    });
}

ISC_STATUS ISC_EXPORT isc_service_detach(ISC_STATUS* status, isc_svc_handle* handle) {
    return Record("isc_service_detach", {}, [&] {
        return Real<decltype(&isc_service_detach)>("isc_service_detach")(status, handle);
    });
}

// The test side reads and steers the records through these.
__attribute__((visibility("default"))) std::vector<TCall>* RecordingClientCalls() {
    return &State().Calls;
}

__attribute__((visibility("default"))) std::mutex* RecordingClientLock() {
    return &State().Lock;
}

__attribute__((visibility("default"))) void RecordingClientInject(const std::string* bytes) {
    const std::lock_guard<std::mutex> guard(State().Lock);
    State().InjectedReply = *bytes;
}

} // extern "C"
