#include "tests/support/RecordingClient.h"

#include <dlfcn.h>

#include <mutex>

namespace recording_client {

const char* const Path = UPDATER_RECORDING_CLIENT;

namespace {

// The recording library as the code under test loaded it; nothing when it is not loaded.
void* Symbol(const char* name) {
    void* library = dlopen(Path, RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr) {
        return nullptr;
    }
    void* symbol = dlsym(library, name);
    dlclose(library);
    return symbol;
}

template <typename F> F Function(const char* name) {
    return reinterpret_cast<F>(Symbol(name));
}

} // namespace

std::vector<TCall> Calls() {
    const auto calls = Function<std::vector<TCall>* (*)()>("RecordingClientCalls");
    const auto lock = Function<std::mutex* (*)()>("RecordingClientLock");
    if (calls == nullptr || lock == nullptr) {
        return {};
    }
    const std::lock_guard<std::mutex> guard(*lock());
    return *calls();
}

std::vector<TCall> Calls(std::string_view name) {
    std::vector<TCall> selected;
    for (TCall& call : Calls()) {
        if (call.Name == name) {
            selected.push_back(std::move(call));
        }
    }
    return selected;
}

void Clear() {
    const auto calls = Function<std::vector<TCall>* (*)()>("RecordingClientCalls");
    const auto lock = Function<std::mutex* (*)()>("RecordingClientLock");
    if (calls != nullptr && lock != nullptr) {
        const std::lock_guard<std::mutex> guard(*lock());
        calls()->clear();
    }
}

void InjectDatabaseInfoReply(const std::string& bytes) {
    // Loaded here when the code under test has not loaded it yet, so that the injection waits
    // for its first call; the library then stays loaded for the process.
    if (dlopen(Path, RTLD_NOW | RTLD_LOCAL) == nullptr) {
        return;
    }
    if (const auto inject = Function<void (*)(const std::string*)>("RecordingClientInject")) {
        inject(&bytes);
    }
}

} // namespace recording_client
